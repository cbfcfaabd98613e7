#!/usr/bin/env bash
# Small volumes for the rule-file tests, which a Windows program under Wine
# cannot make for itself. Mounted as root before the tests, unmounted after:
#   full/      a 64 KB volume, for a test to fill: a full disk
#   readonly/  a volume mounted read-only, holding MODULES/torvo.tdb with no
#              rules: a folder the user may not write to (run as root, Wine
#              ignores a folder's read-only flag, so that takes a volume)
# Usage: test_volumes.sh mount|unmount DIR
set -euo pipefail
action=$1
dir=$2

unmount_all() {
  for volume in full readonly; do
    if mountpoint -q "$dir/$volume"; then umount "$dir/$volume"; fi
  done
}

case $action in
  mount)
    unmount_all
    mkdir -p "$dir/full" "$dir/readonly"
    mount -t tmpfs -o size=64k,mode=0777 tmpfs "$dir/full"
    mount -t tmpfs -o size=64k,mode=0777 tmpfs "$dir/readonly"
    mkdir "$dir/readonly/MODULES"
    : >"$dir/readonly/MODULES/torvo.tdb"
    mount -o remount,ro "$dir/readonly"
    ;;
  unmount)
    unmount_all
    ;;
  *)
    echo "usage: $0 mount|unmount DIR" >&2
    exit 2
    ;;
esac
