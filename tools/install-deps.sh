#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine (as root).
# Does nothing that is already done.
#   install-deps.sh          everything: the cross compiler and build tools,
#                            then what the chosen runner needs
#                            (tools/runner.sh): this machine's own 32-bit
#                            Wine, or the test guest
#   install-deps.sh native   only the host compiler, cmake and GoogleTest, for
#                            the native build of the portable code and the tool
#   install-deps.sh fuzz     the same and clang with its fuzzer runtime
#   install-deps.sh bench    the native set, iprange, the address tool the
#                            tool's benchmark compares with, and the country
#                            range list it runs on (from the tor-geoipdb
#                            package, unpacked without installing it: it
#                            would bring a daemon along)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
scope=${1:-all}

# One installer at a time: `make -j` starts several targets that each call
# this, and two package managers (or two guest image builds) at once fail.
exec 9>"${TMPDIR:-/tmp}/torvo-install-deps.lock"
flock 9

native_packages=(g++ cmake make googletest)
case "$scope" in
  native) packages=("${native_packages[@]}"); TORVO_RUNNER=none ;;
  bench) packages=("${native_packages[@]}" iprange); TORVO_RUNNER=none ;;
  fuzz) packages=("${native_packages[@]}" clang libclang-rt-14-dev); TORVO_RUNNER=none ;;
  all)
    source "$here/runner.sh"
    choose_runner
    packages=(python3 g++-mingw-w64-i686-posix binutils-mingw-w64-i686 "${native_packages[@]}"
              clang libclang-rt-14-dev zip unzip)
    if [ "$TORVO_RUNNER" = native ]; then
      packages+=(wine wine32:i386 fonts-wine fonts-dejavu-core fonts-liberation xvfb xauth locales)
    else
      packages+=(qemu-system-x86 qemu-utils debootstrap e2fsprogs ca-certificates)
    fi
    ;;
  *) echo "install-deps.sh: unknown scope \"$scope\" (native, fuzz, bench or nothing)" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' \
    || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$TORVO_RUNNER" = native ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
  fi
  # A mirror in the middle of a sync answers with an index file of the wrong
  # size, sometimes for hours. The update is tried again; if one index still
  # fails, the others are fresh and the install below says whether what is
  # needed can be had.
  for attempt in 1 2 3; do
    apt-get update -q >/dev/null && break
    if [ "$attempt" = 3 ]; then
      echo "apt-get update: an index could not be fetched; installing from the others" >&2
    else
      echo "apt-get update failed; trying again in 15 s" >&2
      sleep 15
    fi
  done
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ "$scope" = bench ]; then
  countries=/usr/local/share/torvo-bench/geoip
  if [ ! -s "$countries" ]; then
    mkdir -p "$(dirname "$countries")"
    if [ -s /usr/share/tor/geoip ]; then
      cp /usr/share/tor/geoip "$countries"
    else
      unpack=$(mktemp -d)
      if (cd "$unpack" && apt-get download -q tor-geoipdb >/dev/null 2>&1 &&
          dpkg-deb -x tor-geoipdb_*.deb tree && cp tree/usr/share/tor/geoip "$countries"); then
        :
      else
        echo "install-deps.sh: the country range list could not be had; the benchmark runs without it" >&2
      fi
      rm -rf "$unpack"
    fi
  fi
fi

if [ "$TORVO_RUNNER" = none ]; then
  :
elif [ "$TORVO_RUNNER" = native ]; then
  # The Russian locale gives Wine the Windows-1251 ANSI code page.
  if ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8'; then
    grep -qx 'ru_RU.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'ru_RU.UTF-8 UTF-8' >>/etc/locale.gen
    locale-gen >/dev/null
  fi
else
  bash "$here/vm/build-image.sh"
fi
