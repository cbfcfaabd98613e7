#!/usr/bin/env bash
# Builds the emulated Linux machine the tests run in.
#
# The sandboxes we build on run a kernel that refuses 32-bit x86 code, so
# neither a 32-bit Wine nor the WoW64 mode of a 64-bit Wine can run there.
# The module is a 32-bit DLL, so its tests run in a small Debian 12 guest
# under qemu-system-x86_64 (software emulation) whose own kernel executes
# 32-bit code; Wine, Xvfb and the Russian locale live in that guest.
#
# Output (in $TORVO_VM_DIR, default /var/cache/torvo-vm), in two layers so
# that a change to the Wine session's settings costs one boot, not a new
# system:
#   vmlinuz, initrd.img, root.img   the guest's system
#   stamp                           content hash of this script and the
#                                   guest's init, so the system is rebuilt
#                                   when its recipe changes
#   wine.qcow2, wine-stamp          the system with the Wine prefix made
#                                   and set up by tools/wine-session.sh (on
#                                   the guest's own disk, where every Wine
#                                   start reads it), remade when the system
#                                   or that script changes
set -euo pipefail

vm_dir=${TORVO_VM_DIR:-/var/cache/torvo-vm}
here=$(cd "$(dirname "$0")" && pwd)
stamp=$(cat "$here/build-image.sh" "$here/guest-init.sh" | sha256sum | cut -c1-16)
wine_stamp=$(cat "$here/build-image.sh" "$here/guest-init.sh" "$here/../wine-session.sh" \
  | sha256sum | cut -c1-16)

mkdir -p "$vm_dir"
# Two checkouts may start the guest at once: one builds, the other waits.
exec 9>"$vm_dir/lock"
flock 9

system_ready() {
  [ -f "$vm_dir/stamp" ] && [ "$(cat "$vm_dir/stamp")" = "$stamp" ] && [ -f "$vm_dir/root.img" ]
}
prefix_ready() {
  [ -f "$vm_dir/wine-stamp" ] && [ "$(cat "$vm_dir/wine-stamp")" = "$wine_stamp" ] \
    && [ -f "$vm_dir/wine.qcow2" ]
}
system_ready && prefix_ready && exit 0

make_prefix() {
  echo "Making the test guest's Wine prefix (one boot)..."
  rm -f "$vm_dir/wine.qcow2" "$vm_dir/wine-stamp"
  qemu-img create -q -f qcow2 -b "$vm_dir/root.img" -F raw "$vm_dir/wine.qcow2"
  source "$here/boot-guest.sh"
  # The session sets the prefix up and runs nothing in it.
  if ! boot_guest "$vm_dir/wine.qcow2" writable 'bash tools/wine-session.sh true' >/dev/null; then
    rm -f "$vm_dir/wine.qcow2"
    echo "The test guest could not make its Wine prefix." >&2
    exit 1
  fi
  echo "$wine_stamp" >"$vm_dir/wine-stamp"
  echo "Test guest's Wine prefix ready."
}
if system_ready; then
  make_prefix
  exit 0
fi

echo "Building the test guest in $vm_dir (a few minutes, once)..."
mkdir -p "$vm_dir"
root="$vm_dir/rootfs"
rm -rf "$root" "$vm_dir/root.img" "$vm_dir/stamp" "$vm_dir/wine-cache" \
  "$vm_dir/wine.qcow2" "$vm_dir/wine-stamp"

debootstrap --variant=minbase --arch=amd64 --include=ca-certificates \
  bookworm "$root" http://deb.debian.org/debian >"$vm_dir/debootstrap.log" 2>&1 \
  || { tail -20 "$vm_dir/debootstrap.log"; exit 1; }

cleanup_mounts() {
  umount "$root/dev/pts" "$root/dev" "$root/proc" 2>/dev/null || true
}
trap cleanup_mounts EXIT
mount -t proc proc "$root/proc"
mount --bind /dev "$root/dev"
mount --bind /dev/pts "$root/dev/pts"

cat >"$root/usr/sbin/policy-rc.d" <<'P'
#!/bin/sh
exit 101
P
chmod +x "$root/usr/sbin/policy-rc.d"

chroot "$root" /bin/bash -euo pipefail -c '
  export DEBIAN_FRONTEND=noninteractive
  dpkg --add-architecture i386
  # A mirror in the middle of a sync fails an index, sometimes for hours:
  # tried again, then the install goes on with the indexes that came.
  for attempt in 1 2 3; do
    apt-get update -q && break
    [ "$attempt" = 3 ] || sleep 15
  done
  apt-get install -y -q --no-install-recommends \
    linux-image-amd64 initramfs-tools kmod \
    wine wine32:i386 wine64 fonts-wine xvfb xauth locales \
    fonts-dejavu-core fonts-liberation cmake make procps unzip
  echo "ru_RU.UTF-8 UTF-8" >/etc/locale.gen
  locale-gen
  apt-get clean
' >"$vm_dir/packages.log" 2>&1 || { tail -30 "$vm_dir/packages.log"; exit 1; }

rm -f "$root/usr/sbin/policy-rc.d"
cleanup_mounts
trap - EXIT

install -m 755 "$here/guest-init.sh" "$root/sbin/torvo-init"
cp "$root"/boot/vmlinuz-* "$vm_dir/vmlinuz"
cp "$root"/boot/initrd.img-* "$vm_dir/initrd.img"

mkfs.ext4 -q -F -L torvo-root -d "$root" "$vm_dir/root.img" 6G
rm -rf "$root"
echo "$stamp" >"$vm_dir/stamp"
echo "Test guest ready."
make_prefix
