#!/usr/bin/env bash
# Checks that every folder imports only what lies below it:
#   module/ -> editor/ -> lists/ -> matching/ -> rules/ -> contract/  (the module)
#   tool/ -> lists/, matching/, rules/                       (the operators' tool)
#   host/ -> the host's records in module/, rules/, contract/ (the stand-in host)
#   bench/, tests/ -> anything of the module, the tool and the host
# resources/ is the module's own generated and numbered texts: any layer of
# the module may read it, and it reads nothing.
# Prints every include that runs another way; exits 1 when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# FOLDER: what its files may include, as folders ("rules") or single files
# ("module/host_records.h"); a folder may always include itself.
allowed_imports=(
  "contract:"
  "resources:"
  "rules: contract"
  "matching: rules contract"
  "lists: matching rules contract"
  "editor: lists matching rules contract resources"
  "module: editor lists matching rules contract resources"
  "tool: lists matching rules contract resources"
  "host: module/host_records.h rules contract resources"
  "bench: host module lists matching rules contract resources"
  "tests: host module editor lists matching rules contract resources tool"
)
folders=(contract resources rules matching lists editor module tool host bench tests)

status=0
for entry in "${allowed_imports[@]}"; do
  folder=${entry%%:*}
  read -r -a allowed <<<"${entry#*:}"
  # Every quoted include that names one of the project's folders.
  while IFS= read -r hit; do
    [ -n "$hit" ] || continue
    target=$(sed -E 's/^[^"]*"([^"]+)".*$/\1/' <<<"${hit#*:*:}")
    top=${target%%/*}
    [ "$top" = "$folder" ] && continue
    is_project_folder=0
    for known in "${folders[@]}"; do [ "$top" = "$known" ] && is_project_folder=1; done
    [ "$is_project_folder" = 1 ] || continue
    ok=0
    for allowance in "${allowed[@]}"; do
      if [ "$target" = "$allowance" ] || [ "$top" = "$allowance" ]; then ok=1; fi
    done
    if [ "$ok" = 0 ]; then
      echo "$hit" >&2
      echo "  ^ $folder/ may include only: ${allowed[*]:-nothing of the project}" >&2
      status=1
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[A-Za-z_]+/' "$folder" \
             --include='*.h' --include='*.cpp' --include='*.rc' || true)
done
[ "$status" = 0 ] && echo "include direction: every folder imports only what lies below it"
exit "$status"
