#!/usr/bin/env bash
# Runs a shell command inside the test guest, in this project folder, and
# exits with the command's status. Usage: run-in-guest.sh 'command'
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
vm_dir=${TORVO_VM_DIR:-/var/cache/torvo-vm}
bash "$here/build-image.sh"
source "$here/boot-guest.sh"
# The guest starts from its disk with the Wine prefix already made, and
# forgets whatever it writes there.
status=0
boot_guest "$vm_dir/wine.qcow2" snapshot "$1" || status=$?
exit "$status"
