#!/usr/bin/env python3
"""Runs one command as root in a throwaway qemu VM.

The guest boots Debian's kernel, fetched into a cache by kernel.py, with a
tiny cached initramfs. It sees this machine's root file system read-only at
the same paths, and a writable results folder (--results) at its own host path, so programs and
files under the build tree work unchanged. The guest's output is printed as
it comes; the exit status is the command's, read from a sentinel line that
carries a per-run token (qemu's own exit code proves nothing).

    vmrun.py [--timeout S] [--results DIR] [--cache DIR] -- CMD [ARG...]

Exit status: the command's; 124 on timeout; 125 when the guest never
reported a status (boot failure, crash); 2 on bad usage.
"""

import argparse
import ctypes
import os
import resource
import select
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import initramfs  # noqa: E402
import kernel  # noqa: E402

QEMU = "qemu-system-x86_64"
GUEST_PATH = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin"
EXIT_TIMEOUT = 124
EXIT_NO_STATUS = 125
# The lines run_cases.py prints as each program starts and ends.
CASE_MARK = b"===== e2e: "


def parse_args(argv):
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("--timeout", type=float, default=600,
                   help="seconds before the VM is killed (default 600)")
    p.add_argument("--results", help="writable folder shared with the guest "
                   "at the same path (default: a temporary folder)")
    p.add_argument("--cache", help="where the initramfs is kept "
                   "(default: $XDG_CACHE_HOME/wendrel-vm)")
    p.add_argument("--mem", type=int, default=768, help="guest memory in MB")
    p.add_argument("--cpus", type=int, default=2)
    p.add_argument("--env", action="append", default=[], metavar="NAME=VALUE",
                   help="set in the guest command's environment")
    p.add_argument("--log", help="also write the guest's output to this file")
    p.add_argument("--cwd", default=os.getcwd(),
                   help="guest working directory (default: this one)")
    p.add_argument("command", nargs=argparse.REMAINDER)
    args = p.parse_args(argv)
    if args.command and args.command[0] == "--":
        args.command = args.command[1:]
    if not args.command:
        p.error("no command given")
    for e in args.env:
        if "=" not in e or not e.split("=", 1)[0].isidentifier():
            p.error("bad --env %r" % e)
    return args


def job_script(args, results):
    lines = [
        "# written by vmrun.py; runs inside the guest",
        # The share shows at the same path as on the host, so nothing needs
        # to know it is in a VM.
        # (mkdir for a folder under the guest's fresh /tmp)
        "mkdir -p {0} 2>/dev/null; mount --bind /run/rig {0} || exit 125".format(
            shlex.quote(results)),
        "export PATH=%s HOME=/tmp TERM=dumb LANG=C.UTF-8" % GUEST_PATH,
        "export RIG_RESULTS=%s" % shlex.quote(results),
        "export XDG_RUNTIME_DIR=/run",
    ]
    for e in args.env:
        name, value = e.split("=", 1)
        lines.append("export %s=%s" % (name, shlex.quote(value)))
    lines.append("cd %s 2>/dev/null || cd /" % shlex.quote(args.cwd))
    lines.append(" ".join(shlex.quote(a) for a in args.command))
    return "\n".join(lines) + "\n"


def die_with_parent():
    # qemu must not outlive us, even if we are killed with SIGKILL.
    try:
        libc = ctypes.CDLL(None, use_errno=True)
        libc.prctl(1, signal.SIGKILL, 0, 0, 0)  # PR_SET_PDEATHSIG
    except Exception:
        pass


class _Tee:
    """The guest's output, to our stdout and optionally to a log file."""

    def __init__(self, stream, path):
        self.stream = stream
        self.log = open(path, "wb") if path else None

    def write(self, data):
        self.stream.write(data)
        if self.log:
            self.log.write(data)

    def flush(self):
        self.stream.flush()
        if self.log:
            self.log.flush()

    def close(self):
        if self.log:
            self.log.close()


class Run:
    def __init__(self, args):
        self.args = args
        self.qemu = None
        self.case_cpu = 0.0
        self.temp_results = None
        self.job_path = None

    def prepare(self):
        args = self.args
        if not shutil.which(QEMU):
            raise initramfs.BuildError("%s not found (install qemu-system-x86)" % QEMU)
        try:
            version, vmlinuz, tree = kernel.ensure()
        except kernel.KernelError as e:
            raise initramfs.BuildError(str(e))
        if any(c.isspace() for c in tree):
            raise initramfs.BuildError("the kernel cache %s has a space in its path" % tree)
        cache = args.cache or os.path.join(
            os.environ.get("XDG_CACHE_HOME", os.path.expanduser("~/.cache")),
            "wendrel-vm")
        initrd = initramfs.cached(version, tree, cache)
        if args.results:
            results = os.path.abspath(args.results)
            os.makedirs(results, exist_ok=True)
        else:
            results = self.temp_results = tempfile.mkdtemp(prefix="vmrun-")
        self.token = os.urandom(8).hex()
        job = ".job-%s.sh" % self.token
        self.job_path = os.path.join(results, job)
        with open(self.job_path, "w") as f:
            f.write(job_script(args, results))
        append = ("console=ttyS0 quiet panic=-1 rig.token=%s rig.job=%s "
                  "rig.kernel=%s" % (self.token, job, tree))
        self.cmd = [
            QEMU, "-accel", "tcg", "-m", str(args.mem), "-smp", str(args.cpus),
            "-display", "none", "-no-reboot", "-nodefaults",
            "-serial", "stdio", "-monitor", "none",
            "-kernel", vmlinuz, "-initrd", initrd, "-append", append,
            "-virtfs", "local,path=/,mount_tag=hostroot,security_model=none,"
                       "readonly=on,multidevs=remap",
            "-virtfs", "local,path=%s,mount_tag=results,security_model=none,"
                       "multidevs=remap" % results.replace(",", ",,"),
        ]

    def run(self):
        start = time.monotonic()
        deadline = start + self.args.timeout
        self.qemu = subprocess.Popen(self.cmd, stdin=subprocess.DEVNULL,
                                     stdout=subprocess.PIPE,
                                     stderr=subprocess.STDOUT,
                                     preexec_fn=die_with_parent)
        sentinel = (self.token + " exit=").encode()
        status = None
        pending = b""
        fd = self.qemu.stdout.fileno()
        out = _Tee(sys.stdout.buffer, self.args.log)
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                break
            ready, _, _ = select.select([fd], [], [], min(left, 1.0))
            if not ready:
                continue
            chunk = os.read(fd, 65536)
            if not chunk:
                break  # qemu ended
            pending += chunk.replace(b"\r", b"")
            *lines, pending = pending.split(b"\n")
            for line in lines:
                if line.startswith(sentinel):
                    status = int(line[len(sentinel):] or b"125")
                    continue
                if line.startswith(CASE_MARK):
                    line += self.host_cpu_note()
                out.write(line + b"\n")
            out.flush()
            if status is not None:
                break
        if pending and status is None:
            out.write(pending + b"\n")
            out.flush()
        elapsed = time.monotonic() - start
        self.stop_qemu(grace=5 if status is not None else 0)
        if status is not None:
            message = "guest command exited %d after %.1f s (qemu: %.0f s of CPU)" % (
                status, elapsed, self.qemu_cpu())
        elif time.monotonic() >= deadline:
            status = EXIT_TIMEOUT
            message = "timed out after %.0f s; VM killed" % self.args.timeout
        else:
            status = EXIT_NO_STATUS
            message = "the guest ended without reporting a status"
        print("vmrun: " + message, file=sys.stderr)
        if out.log:
            out.log.write(("vmrun: %s\n" % message).encode())
        out.close()
        return status

    def host_cpu_note(self):
        """What the VM cost the host since the last case's line: the
        guest's own count leaves out its kernel, its daemons and the
        emulation itself."""
        try:
            with open("/proc/%d/stat" % self.qemu.pid) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            now = (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
        except (OSError, IndexError, ValueError):
            return b""
        used, self.case_cpu = now - self.case_cpu, now
        return (" [qemu: %.0f s of host CPU since the last case line]" % used).encode()

    @staticmethod
    def qemu_cpu():
        """CPU seconds of the VMs this process has waited for: the guest's
        work, whatever else the host was doing meanwhile."""
        usage = resource.getrusage(resource.RUSAGE_CHILDREN)
        return usage.ru_utime + usage.ru_stime

    def stop_qemu(self, grace):
        if self.qemu is None or self.qemu.poll() is not None:
            return
        try:
            self.qemu.wait(timeout=grace)
        except subprocess.TimeoutExpired:
            self.qemu.kill()
            self.qemu.wait()

    def cleanup(self):
        self.stop_qemu(grace=0)
        if self.job_path:
            try:
                os.unlink(self.job_path)
            except OSError:
                pass
        if self.temp_results:
            shutil.rmtree(self.temp_results, ignore_errors=True)


def main(argv):
    args = parse_args(argv)
    run = Run(args)

    def on_signal(signum, _frame):
        run.cleanup()
        os._exit(128 + signum)

    for s in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(s, on_signal)
    try:
        run.prepare()
        return run.run()
    except initramfs.BuildError as e:
        print("vmrun: %s" % e, file=sys.stderr)
        return EXIT_NO_STATUS
    finally:
        run.cleanup()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
