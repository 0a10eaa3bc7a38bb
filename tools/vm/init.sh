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
kernel=
for arg in $(cat /proc/cmdline); do
    case $arg in
        rig.token=*) token=${arg#rig.token=} ;;
        rig.job=*) job=${arg#rig.job=} ;;
        rig.kernel=*) kernel=${arg#rig.kernel=} ;;
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
# The kernel's modules live in the rig's cache, not on the host: show them
# at /lib/modules (/lib is usr/lib on Debian), over the host's own /usr/lib.
if [ -n "$kernel" ]; then
    mount -t overlay overlay -o "lowerdir=/newroot$kernel/lib:/newroot/usr/lib" /newroot/usr/lib \
        || fail "cannot show the kernel's modules from $kernel"
fi
mount -t proc proc /newroot/proc
mount -t sysfs sys /newroot/sys
mount -t devtmpfs dev /newroot/dev
mkdir -p /newroot/dev/pts /newroot/dev/shm
mount -t devpts devpts /newroot/dev/pts
mount -t tmpfs tmpfs /newroot/dev/shm
# The guest's /tmp is writable and starts empty of the host's live state,
# but still shows the host's files (a clone or build tree under /tmp).
# It may take most of the guest's memory: a Wine prefix made there is over
# a gigabyte, and a guest given the memory for one has it to spare.
mkdir -p /ovl
mount -t tmpfs -o size=75% tmpfs /ovl
mkdir -p /ovl/upper /ovl/work
if mount -t overlay overlay -o lowerdir=/newroot/tmp,upperdir=/ovl/upper,workdir=/ovl/work /newroot/tmp; then
    rm -rf /newroot/tmp/.X11-unix /newroot/tmp/.ICE-unix /newroot/tmp/.X*-lock
else
    mount -t tmpfs tmpfs /newroot/tmp
fi
chmod 1777 /newroot/tmp
mount -t tmpfs tmpfs /newroot/run
mkdir -p /newroot/run/rig
mount -t 9p -o trans=virtio,version=9p2000.L,msize=262144 results /newroot/run/rig \
    || fail "cannot mount the results share"

chroot /newroot /bin/sh "/run/rig/$job" </dev/null
status=$?
sync
echo "$token exit=$status"
poweroff -f
