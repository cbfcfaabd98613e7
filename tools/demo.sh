#!/usr/bin/env bash
# Shows the module at work with the stand-in chat host: a demo folder with
# torvo.jem and the sample rule list in MODULES, the host run on its sample
# room, the resulting table, and a picture of the rule editor.
#   demo.sh BUILD            in the test guest (make demo): headless, saves
#                            BUILD/demo/editor.png
#   demo.sh BUILD --editor   on a machine whose Wine runs 32-bit programs and
#                            that has a display (make demo EDITOR=1): opens
#                            the editor for real use
set -euo pipefail
build=${1:-build}
mode=${2:-}
demo=$build/demo

if [ "$mode" = --editor ] && [ -z "${DISPLAY:-}" ]; then
  cat >&2 <<'TEXT'
make demo EDITOR=1 opens the rule editor on this machine's own display through
Wine, so it needs a display (DISPLAY is not set here) and a Wine that can run
32-bit Windows programs. The build machines' kernel runs no 32-bit code; there,
use `make demo`, which runs the host in the test guest and saves a picture of
the editor instead.
TEXT
  exit 2
fi

rm -rf "$demo"
mkdir -p "$demo/MODULES"
cp "$build/bin/torvo.jem" "$demo/MODULES/"
cp "$build/bin/torvo_host.exe" "$demo/"
cd "$demo"
wine torvo_host.exe --write-sample-rules 'MODULES\torvo.tdb'

if [ "$mode" = --editor ]; then
  wine torvo_host.exe --recheck 1 --editor
else
  # A virtual desktop makes Wine draw the editor's caption and frame itself,
  # as no window manager runs here.
  # Its exit status does not come back through explorer: check the output.
  wine explorer /desktop=torvo-demo,800x600 torvo_host.exe --recheck 1 --screenshot editor.png \
    2>&1 | tee host-output.txt
  grep -q '^Unloaded the module' host-output.txt && grep -q '^Saved a picture' host-output.txt \
    || { echo "the host did not finish its run" >&2; exit 1; }
  echo
  echo "Picture of the editor with the sample rules: $(pwd)/editor.png"
fi
