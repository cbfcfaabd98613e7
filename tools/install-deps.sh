#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine (as root),
# then makes sure the test guest exists. Does nothing that is already done.
set -euo pipefail
packages=(python3 g++-mingw-w64-i686-posix binutils-mingw-w64-i686 cmake make googletest
          qemu-system-x86 debootstrap e2fsprogs ca-certificates)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' \
    || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt-get update -q >/dev/null
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi
bash "$(dirname "$0")/vm/build-image.sh"
