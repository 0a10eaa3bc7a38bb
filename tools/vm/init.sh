#!/bin/sh
# /init of the rig's initramfs (busybox). Mounts the host's root file
# system read-only over 9p, the results share beside it, runs the job
# script as root and reports its exit status on the console. The runner
# trusts only the sentinel line, never qemu's exit code.
PATH=/bin
export PATH

fail() {
    echo "vm-init: $*"
    exec poweroff -f
}

mount -t proc proc /proc
mount -t sysfs sys /sys
mount -t devtmpfs dev /dev

token=
job=
for arg in $(cat /proc/cmdline); do
    case $arg in
        rig.token=*) token=${arg#rig.token=} ;;
        rig.job=*) job=${arg#rig.job=} ;;
    esac
done

for m in $(cat /modules.order); do
    insmod "/modules/$m.ko" || fail "cannot load $m"
done

mkdir -p /newroot
# cache=loose: the host root does not change under a short run, and without
# the cache every program start pays dozens of 9p round trips.
mount -t 9p -o trans=virtio,version=9p2000.L,ro,msize=524288,cache=loose hostroot /newroot \
    || fail "cannot mount the host root"
mount -t proc proc /newroot/proc
mount -t sysfs sys /newroot/sys
mount -t devtmpfs dev /newroot/dev
mkdir -p /newroot/dev/pts /newroot/dev/shm
mount -t devpts devpts /newroot/dev/pts
mount -t tmpfs tmpfs /newroot/dev/shm
mount -t tmpfs tmpfs /newroot/tmp
mount -t tmpfs tmpfs /newroot/run
mkdir -p /newroot/run/rig
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 results /newroot/run/rig \
    || fail "cannot mount the results share"

chroot /newroot /bin/sh "/run/rig/$job" </dev/null
status=$?
sync
echo "$token exit=$status"
poweroff -f
