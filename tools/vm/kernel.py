#!/usr/bin/env python3
"""The rig's guest kernel: Debian's kernel package, fetched with
`apt-get download` and unpacked into a cache, never installed on the host
(installing it would put a kernel into /boot and rebuild the host's
initramfs).

    kernel.py [DIR]    fetch the kernel into DIR unless it is there already,
                       and print its version

The cache holds one folder per kernel version:

    DIR/<version>/boot/vmlinuz-<version>
    DIR/<version>/lib/modules/<version>/...   (with modules.dep)

The guest mounts DIR/<version>/lib over its /lib, so modprobe and the
kernel's own module requests find the modules as if installed.
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile

META_PACKAGE = "linux-image-amd64"


class KernelError(Exception):
    pass


def default_dir():
    return os.environ.get("WENDREL_VM_KERNEL_DIR") or os.path.join(
        os.environ.get("XDG_CACHE_HOME", os.path.expanduser("~/.cache")),
        "wendrel-vm", "kernel")


def _version_key(version):
    parts = []
    for piece in version.replace("-", ".").split("."):
        parts.append((0, int(piece), "") if piece.isdigit() else (1, 0, piece))
    return parts


def cached(root):
    """(version, vmlinuz, tree) of the newest complete kernel in root, or
    None."""
    found = []
    for version in os.listdir(root) if os.path.isdir(root) else []:
        tree = os.path.join(root, version)
        vmlinuz = os.path.join(tree, "boot", "vmlinuz-" + version)
        deps = os.path.join(tree, "lib", "modules", version, "modules.dep")
        if os.path.isfile(vmlinuz) and os.path.isfile(deps):
            found.append((version, vmlinuz, tree))
    if not found:
        return None
    return max(found, key=lambda k: _version_key(k[0]))


def _run(cmd, cwd=None):
    try:
        r = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, text=True)
    except OSError as e:
        raise KernelError("%s: %s" % (cmd[0], e))
    if r.returncode != 0:
        raise KernelError("%s failed:\n%s" % (" ".join(cmd), r.stdout.strip()))
    return r.stdout


def _image_package():
    """The versioned image package the meta package points at."""
    out = _run(["apt-cache", "depends", "--important", META_PACKAGE])
    m = re.search(r"Depends:\s*(linux-image-[0-9][^\s]*)", out)
    if not m:
        raise KernelError("cannot tell which kernel %s depends on (run "
                          "apt-get update?):\n%s" % (META_PACKAGE, out.strip()))
    return m.group(1)


def fetch(root):
    """Downloads and unpacks the kernel package; returns as cached()."""
    package = _image_package()
    os.makedirs(root, exist_ok=True)
    work = tempfile.mkdtemp(prefix=".fetch-", dir=root)
    try:
        # apt-get download writes into the current folder and needs no root.
        _run(["apt-get", "download", "-q", package], cwd=work)
        debs = [f for f in os.listdir(work) if f.endswith(".deb")]
        if len(debs) != 1:
            raise KernelError("apt-get download left %r" % debs)
        tree = os.path.join(work, "tree")
        _run(["dpkg-deb", "-x", os.path.join(work, debs[0]), tree])
        versions = os.listdir(os.path.join(tree, "lib", "modules"))
        if len(versions) != 1:
            raise KernelError("%s holds modules for %r" % (debs[0], versions))
        version = versions[0]
        depmod = shutil.which("depmod") or "/sbin/depmod"
        _run([depmod, "-b", tree, version])
        final = os.path.join(root, version)
        if os.path.isdir(final):
            shutil.rmtree(final)
        os.rename(tree, final)  # complete or absent, for a parallel reader
    finally:
        shutil.rmtree(work, ignore_errors=True)
    k = cached(root)
    if not k:
        raise KernelError("the unpacked kernel in %s is incomplete" % root)
    return k


def ensure(root=None):
    """The cached kernel, fetched first when there is none."""
    root = root or default_dir()
    return cached(root) or fetch(root)


def main(argv):
    root = argv[1] if len(argv) > 1 else default_dir()
    try:
        version, _vmlinuz, tree = ensure(root)
    except KernelError as e:
        print("kernel.py: %s" % e, file=sys.stderr)
        return 1
    print("%s in %s" % (version, tree))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
