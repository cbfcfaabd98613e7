# Boots the test guest on a disk image and runs one shell command in it, in
# this project folder (shared at the same path); sourced by run-in-guest.sh
# and build-image.sh. Usage: boot_guest DISK snapshot|writable 'command'
# With "snapshot" nothing the guest writes reaches the disk image.
# Prints the command's output and returns its exit status.
boot_guest() {
  local disk=$1 mode=$2 command=$3
  local project
  project=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
  local vm_dir=${TORVO_VM_DIR:-/var/cache/torvo-vm}
  local snapshot=on
  [ "$mode" = writable ] && snapshot=off

  b64() { printf '%s' "$1" | base64 -w0; }
  local console_log output
  console_log=$(mktemp /tmp/torvo-guest-console.XXXXXX)
  output=$(mktemp /tmp/torvo-guest-output.XXXXXX)

  # The guest's second serial port carries the command's output; the first
  # one, the kernel console, goes to a file that is shown only on failure.
  timeout "${TORVO_GUEST_TIMEOUT:-4800}" qemu-system-x86_64 \
    -machine q35 -cpu "${TORVO_GUEST_CPU:-qemu64,+ssse3,+sse4.1,+sse4.2,+popcnt}" \
    -smp "$(nproc)" -m 4096 -accel tcg,thread=multi \
    -kernel "$vm_dir/vmlinuz" -initrd "$vm_dir/initrd.img" \
    -append "root=/dev/vda rw console=ttyS0 quiet panic=-1 init=/sbin/torvo-init torvo.dir=$(b64 "$project") torvo.cmd=$(b64 "$command")" \
    -drive "file=$disk,if=virtio,snapshot=$snapshot" \
    -virtfs "local,path=$project,mount_tag=project,security_model=passthrough,id=project" \
    -display none -monitor none -nic none -no-reboot \
    -serial "file:$console_log" -serial stdio \
    | tee "$output" | grep --line-buffered -v '^torvo-guest-exit=' || true

  local status
  status=$(sed -n 's/^torvo-guest-exit=\([0-9]*\).*/\1/p' "$output" | tr -d '\r' | tail -1)
  if [ -z "$status" ]; then
    echo "The test guest stopped without finishing; its console said:" >&2
    tail -40 "$console_log" >&2
    status=1
  fi
  rm -f "$console_log" "$output"
  return "$status"
}
