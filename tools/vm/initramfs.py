"""Builds the rig's tiny initramfs: busybox, the guest's /init and the
kernel modules needed to reach the host root over virtio 9p.

Written as a newc cpio archive by hand, so that device nodes can be put in
without root and without the cpio tool."""

import gzip
import hashlib
import os
import stat

# Load order matters: each module needs the ones before it.
MODULES = ["virtio_ring", "virtio", "virtio_pci_legacy_dev",
           "virtio_pci_modern_dev", "virtio_pci", "netfs", "fscache",
           "9pnet", "9pnet_virtio", "9p", "overlay"]

APPLETS = ["sh", "mount", "insmod", "mkdir", "cat", "chroot", "poweroff",
           "sync", "echo", "rm", "chmod"]

HERE = os.path.dirname(os.path.abspath(__file__))
INIT = os.path.join(HERE, "init.sh")
BUSYBOX_CANDIDATES = ["/bin/busybox", "/usr/bin/busybox"]


class BuildError(Exception):
    pass


def _find_module(tree, version, name):
    """Path of a module file in the unpacked kernel `tree`, or None when it
    is built into the kernel."""
    root = os.path.join(tree, "lib", "modules", version)
    wanted = {name, name.replace("_", "-")}
    try:
        with open(os.path.join(root, "modules.builtin")) as f:
            for line in f:
                base = os.path.basename(line.strip())
                if base.split(".ko")[0] in wanted:
                    return None
    except OSError:
        pass
    for dirpath, _dirs, files in os.walk(os.path.join(root, "kernel")):
        for f in files:
            if f.split(".ko")[0] in wanted and f.endswith(".ko"):
                return os.path.join(dirpath, f)
    raise BuildError("module %s not found for kernel %s (compressed modules "
                     "are not supported)" % (name, version))


def _busybox():
    for path in BUSYBOX_CANDIDATES:
        if os.path.isfile(path):
            return path
    raise BuildError("busybox not found (install busybox-static)")


class _Cpio:
    def __init__(self):
        self.parts = []
        self.ino = 1

    def add(self, name, mode, data=b"", rdev=(0, 0)):
        name_bytes = name.encode() + b"\0"
        header = "070701" + "".join("%08X" % v for v in (
            self.ino, mode, 0, 0, 1, 0, len(data), 0, 0,
            rdev[0], rdev[1], len(name_bytes), 0))
        self.ino += 1
        self.parts.append(header.encode() + name_bytes)
        self._pad()
        self.parts.append(data)
        self._pad()

    def _pad(self):
        size = sum(len(p) for p in self.parts)
        self.parts.append(b"\0" * (-size % 4))

    def finish(self):
        self.add("TRAILER!!!", 0)
        return b"".join(self.parts)


def _read(path):
    with open(path, "rb") as f:
        return f.read()


def build(version, tree):
    """The initramfs for this kernel version, as bytes (gzip'd cpio)."""
    archive = _Cpio()
    for d in ["bin", "dev", "proc", "sys", "newroot", "modules"]:
        archive.add(d, stat.S_IFDIR | 0o755)
    archive.add("dev/console", stat.S_IFCHR | 0o600, rdev=(5, 1))
    archive.add("bin/busybox", stat.S_IFREG | 0o755, _read(_busybox()))
    for applet in APPLETS:
        archive.add("bin/" + applet, stat.S_IFLNK | 0o777, b"busybox")
    archive.add("init", stat.S_IFREG | 0o755, _read(INIT))
    order = []
    for name in MODULES:
        path = _find_module(tree, version, name)
        if path:
            archive.add("modules/%s.ko" % name, stat.S_IFREG | 0o644, _read(path))
            order.append(name)
    archive.add("modules.order", stat.S_IFREG | 0o644,
                ("\n".join(order) + "\n").encode())
    return gzip.compress(archive.finish(), compresslevel=6, mtime=0)


def cached(version, tree, cache_dir):
    """Path of the initramfs for this kernel, built once per kernel version
    and per content of the guest's /init."""
    key = hashlib.sha256(_read(INIT) + " ".join(MODULES).encode()).hexdigest()[:12]
    os.makedirs(cache_dir, exist_ok=True)
    path = os.path.join(cache_dir, "initramfs-%s-%s.img" % (version, key))
    if not os.path.isfile(path):
        tmp = "%s.%d.tmp" % (path, os.getpid())
        with open(tmp, "wb") as f:
            f.write(build(version, tree))
        os.replace(tmp, path)  # atomic: parallel runs never see half a file
    return path
