#!/bin/bash
# PID 1 of the test guest. Mounts what a Linux system needs, mounts the
# host's project folder (shared over 9p) at the same path it has on the
# host, runs the command the host gave from there, and powers the guest off.
mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /dev/shm
mount -t tmpfs tmpfs /tmp
mount -t tmpfs tmpfs /run
modprobe 9pnet_virtio 2>/dev/null
modprobe 9p 2>/dev/null
hostname torvo-guest
# Every program here runs on a CPU emulated in software: figures measured
# here say so.
export HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export TORVO_CPU=emulated

arg() { tr ' ' '\n' </proc/cmdline | sed -n "s/^$1=//p" | base64 -d; }
project=$(arg torvo.dir)
mkdir -p "$project"
mount -t 9p -o trans=virtio,version=9p2000.L,msize=512000,cache=loose project "$project"
# The Wine prefix was made on this disk when the image was built
# (build-image.sh), so no boot makes it again.
export TORVO_WINE_PREFIX=/var/cache/torvo-wine
# How long the guest took to come up, so slow runs can be told apart.
read -r booted _ </proc/uptime
echo "guest: up in ${booted%.*} s" >/dev/ttyS1
cd "$project" && bash -c "$(arg torvo.cmd)" </dev/null >/dev/ttyS1 2>&1
echo "torvo-guest-exit=$?" >/dev/ttyS1
sync
echo o >/proc/sysrq-trigger
sleep 30
