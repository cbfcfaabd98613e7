#!/usr/bin/env bash
# Checks how tools/runner.sh chooses between this machine's Wine and the
# emulated guest: the override both ways, a refused or failing probe, and
# the real probe against another real 32-bit program where one is installed.
set -u
source "$(dirname "$0")/../tools/runner.sh"
passed=0
failed=0
check() {  # check DESCRIPTION EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAILED: $1: expected '$2', got '$3'"
  fi
}
choice() {  # prints the runner chosen with the given environment
  (unset TORVO_RUNNER TORVO_PROBE_PROGRAM; [ $# -gt 0 ] && export "$@"; choose_runner >/dev/null 2>&1 \
     && echo "$TORVO_RUNNER" || echo "error $?")
}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

check "override native" native "$(choice TORVO_RUNNER=native TORVO_PROBE_PROGRAM=/bin/false)"
check "override guest" guest "$(choice TORVO_RUNNER=guest)"
check "unknown override is refused" "error 2" "$(choice TORVO_RUNNER=wine)"

# A program the kernel will not start: x86 ELF header of the wrong kind.
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x99\x00' >"$scratch/foreign"
chmod +x "$scratch/foreign"
check "unstartable probe means guest" guest "$(choice TORVO_PROBE_PROGRAM="$scratch/foreign")"
printf '#!/bin/sh\nexit 0\n' >"$scratch/wrong-answer"
chmod +x "$scratch/wrong-answer"
check "a probe that answers wrongly means guest" guest \
  "$(choice TORVO_PROBE_PROGRAM="$scratch/wrong-answer")"
printf '#!/bin/sh\nexit 42\n' >"$scratch/answers"
chmod +x "$scratch/answers"
check "a probe that answers 42 means native" native "$(choice TORVO_PROBE_PROGRAM="$scratch/answers")"

# The built-in probe is a 32-bit (class 1) little-endian i386 (machine 3) ELF.
header=$(printf '%s' "$TORVO_PROBE_ELF_HEX" | cut -c1-40)
check "probe is an i386 ELF" 7f454c46010101000000000000000000 "$(printf '%s' "$header" | cut -c1-32)"
check "probe machine is i386" 0300 "$(printf '%s' "$TORVO_PROBE_ELF_HEX" | cut -c37-40)"

# Where the 32-bit Wine loader is installed, it is a second real 32-bit
# program: the probe must agree with whether it starts.
if [ -x /usr/lib/wine/wine ]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then expected=native; else expected=guest; fi
  check "probe agrees with the 32-bit Wine loader" "$expected" "$(choice)"
fi

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
