#!/usr/bin/env bash
# Runs a shell command, from the project folder, where the module's Windows
# programs can run: in a Wine session on this machine, or in the test guest
# when this machine's kernel runs no 32-bit code (tools/runner.sh decides and
# says why). Exits with the command's status.
#   run.sh 'command'                 on a virtual display
#   run.sh --own-display 'command'   on this machine's display ($DISPLAY),
#                                    for opening the editor for real use
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here/.."
own_display=0
if [ "${1:-}" = --own-display ]; then
  own_display=1
  shift
fi
command=$1

source "$here/runner.sh"
choose_runner
case $TORVO_RUNNER in
  native) cpu="CPU not emulated" ;;
  guest) cpu="CPU emulated in software" ;;
esac
# Inside the guest everything is emulated, whatever the runner there says.
[ "${TORVO_CPU:-}" = emulated ] && cpu="CPU emulated in software"
echo "runner: $TORVO_RUNNER ($TORVO_RUNNER_REASON; $cpu)"

if [ "$own_display" = 1 ] && { [ "$TORVO_RUNNER" = guest ] || [ -z "${DISPLAY:-}" ]; }; then
  cat >&2 <<'TEXT'
This opens the rule editor on this machine's own display, so it needs a
display (DISPLAY set) and a Wine that runs 32-bit Windows programs here. This
machine lacks one of them: use `make demo`, which saves a picture of the
editor instead.
TEXT
  exit 2
fi

if [ "$TORVO_RUNNER" = native ]; then
  TORVO_OWN_DISPLAY=$own_display bash "$here/wine-session.sh" "$command"
else
  bash "$here/vm/run-in-guest.sh" \
    "export TORVO_RUNNER=guest TORVO_DESKTOP_KEEPER=$(printf '%q' "${TORVO_DESKTOP_KEEPER:-}"); bash tools/wine-session.sh $(printf '%q' "$command")"
fi
