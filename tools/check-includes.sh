#!/usr/bin/env bash
# Checks that the module's layers import one way, down:
#   module/ -> editor/ -> matching/ -> rules/ -> contract/
# No file below module/ includes "module/...", none in matching/ or rules/
# includes "editor/...", none in rules/ includes "matching/...", and the
# host contract (contract/) includes none of them.
# Prints every include that runs the wrong way; exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

status=0
# check FOLDER LAYER...: FOLDER's files must not include any of the LAYERs.
check() {
  local folder=$1
  shift
  for layer in "$@"; do
    if grep -rnE "^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"<]$layer/" "$folder" \
         --include='*.h' --include='*.cpp'; then
      echo "  ^ $folder/ includes $layer/: imports run module/ -> editor/ -> matching/ -> rules/ -> contract/" >&2
      status=1
    fi
  done
}

check editor module
check matching module editor
check rules module editor matching
check contract module editor matching rules
[ "$status" = 0 ] && echo "include direction: module/ -> editor/ -> matching/ -> rules/ -> contract/, no include runs back up"
exit "$status"
