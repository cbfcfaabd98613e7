#!/usr/bin/env bash
# Runs a shell command inside the test guest, in this project folder, and
# exits with the command's status. Usage: run-in-guest.sh 'command'
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
project=$(cd "$here/../.." && pwd)
vm_dir=${TORVO_VM_DIR:-/var/cache/torvo-vm}
bash "$here/build-image.sh"

mkdir -p "$vm_dir/wine-cache"

b64() { printf '%s' "$1" | base64 -w0; }
console_log=$(mktemp /tmp/torvo-guest-console.XXXXXX)
output=$(mktemp /tmp/torvo-guest-output.XXXXXX)
trap 'rm -f "$console_log" "$output"' EXIT

# The guest's second serial port carries the command's output; the first
# one, the kernel console, goes to a file that is shown only on failure.
timeout "${TORVO_GUEST_TIMEOUT:-4800}" qemu-system-x86_64 \
  -machine q35 -cpu ${TORVO_GUEST_CPU:-qemu64,+ssse3,+sse4.1,+sse4.2,+popcnt} -smp "$(nproc)" -m 4096 -accel tcg,thread=multi \
  -kernel "$vm_dir/vmlinuz" -initrd "$vm_dir/initrd.img" \
  -append "root=/dev/vda rw console=ttyS0 quiet panic=-1 init=/sbin/torvo-init torvo.dir=$(b64 "$project") torvo.cmd=$(b64 "$1")" \
  -drive "file=$vm_dir/root.img,if=virtio,format=raw,snapshot=on" \
  -virtfs "local,path=$project,mount_tag=project,security_model=passthrough,id=project" \
  -virtfs "local,path=$vm_dir/wine-cache,mount_tag=winecache,security_model=passthrough,id=winecache" \
  -display none -monitor none -nic none -no-reboot \
  -serial "file:$console_log" -serial stdio \
  | tee "$output" | grep --line-buffered -v '^torvo-guest-exit=' || true

status=$(sed -n 's/^torvo-guest-exit=\([0-9]*\).*/\1/p' "$output" | tr -d '\r' | tail -1)
if [ -z "$status" ]; then
  echo "The test guest stopped without finishing; its console said:" >&2
  tail -40 "$console_log" >&2
  exit 1
fi
exit "$status"
