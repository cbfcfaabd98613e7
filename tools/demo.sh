#!/usr/bin/env bash
# Shows the module at work with the stand-in chat host: a demo folder with
# torvo.jem and the sample rule list in MODULES, the host run on its sample
# room, the resulting table, and a picture of the rule editor.
#   demo.sh BUILD            on a virtual display (make demo): saves
#                            BUILD/demo/editor.png
#   demo.sh BUILD --editor   on the machine's own display (make demo
#                            EDITOR=1): opens the editor for real use
# Run through tools/run.sh, which provides the Wine session.
set -euo pipefail
build=${1:-build}
mode=${2:-}
demo=$build/demo

rm -rf "$demo"
mkdir -p "$demo/MODULES"
cp "$build/bin/torvo.jem" "$demo/MODULES/"
cp "$build/bin/torvo_host.exe" "$demo/"
cd "$demo"
wine torvo_host.exe --write-sample-rules 'MODULES\torvo.tdb'

if [ "$mode" = --editor ]; then
  wine torvo_host.exe --recheck 1 --editor
else
  # A virtual desktop of its own size makes Wine draw the editor's caption
  # and frame itself, as no window manager runs here.
  # Its exit status does not come back through explorer: check the output.
  wine explorer /desktop=torvo-demo,800x600 torvo_host.exe --recheck 1 --screenshot editor.png \
    2>&1 | tee host-output.txt
  grep -q '^Unloaded the module' host-output.txt && grep -q '^Saved a picture' host-output.txt \
    || { echo "the host did not finish its run" >&2; exit 1; }
  echo
  echo "Picture of the editor with the sample rules: $(pwd)/editor.png"
fi
