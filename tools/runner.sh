#!/usr/bin/env bash
# Chooses where the module's Windows programs run, once per command:
#   native  this machine's own 32-bit Wine, where the kernel runs 32-bit x86
#           code;
#   guest   the emulated Debian machine of tools/vm/, where it does not.
# TORVO_RUNNER=native or TORVO_RUNNER=guest overrides the choice.
# Sourced by tools/run.sh and tools/install-deps.sh; sets TORVO_RUNNER and
# TORVO_RUNNER_REASON.

# The smallest real 32-bit program: a static i386 ELF that calls exit(42)
# through int 0x80. A kernel without 32-bit support refuses to start it
# ("Exec format error").
TORVO_PROBE_ELF_HEX=7f454c460101010000000000000000000200030001000000548004083400000000000000000000003400200001000000000000000100000000000000008004080080040860000000600000000500000000100000b801000000bb2a000000cd80

# Runs the probe program; succeeds when it ran and answered 42.
# TORVO_PROBE_PROGRAM names another program to run instead (for tests).
probe_runs_32bit() {
  local program=${TORVO_PROBE_PROGRAM:-}
  local made=""
  if [ -z "$program" ]; then
    made=$(mktemp "${TMPDIR:-/tmp}/torvo-probe32.XXXXXX")
    local hex=$TORVO_PROBE_ELF_HEX escaped="" i
    for ((i = 0; i < ${#hex}; i += 2)); do escaped+="\\x${hex:i:2}"; done
    printf "$escaped" >"$made"
    chmod +x "$made"
    program=$made
  fi
  local status=0
  "$program" >/dev/null 2>&1 || status=$?
  [ -n "$made" ] && rm -f "$made"
  [ "$status" -eq 42 ]
}

choose_runner() {
  case "${TORVO_RUNNER:-}" in
    native|guest)
      TORVO_RUNNER_REASON="set by TORVO_RUNNER"
      ;;
    "")
      if probe_runs_32bit; then
        TORVO_RUNNER=native
        TORVO_RUNNER_REASON="this machine runs 32-bit x86 programs"
      else
        TORVO_RUNNER=guest
        TORVO_RUNNER_REASON="this machine's kernel refuses 32-bit x86 programs"
      fi
      ;;
    *)
      echo "TORVO_RUNNER must be native or guest, not '$TORVO_RUNNER'" >&2
      return 2
      ;;
  esac
  export TORVO_RUNNER TORVO_RUNNER_REASON
}
