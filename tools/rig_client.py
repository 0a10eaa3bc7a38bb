"""What the programs that run in the rig's guest share: the virtual board's
client, a line read with a deadline, the X server they start and the
environment Wine runs in. Used by the end-to-end cases (tests/e2e/), the
Windows benchmark rows (bench/wine_rig.py) and the rig's self-check.

Import it by its folder: sys.path.insert(0, <repo>/tools)."""

import importlib.util
import os
import select
import subprocess
import time

HERE = os.path.dirname(os.path.abspath(__file__))
BOARD_TOOL = os.path.join(HERE, "board", "board.py")
WINE32 = os.path.join(HERE, "wine32.sh")


class Timeout(Exception):
    pass


# --- the virtual board ---------------------------------------------------

_tools = {}


def board_tool(path=None):
    """The rig's board.py as a module: its call() runs a command through the
    board service, or in this process without one (a fresh interpreter
    costs a second or more under emulation). Loaded once per path."""
    path = os.path.abspath(path or os.environ.get("RIG_BOARD") or BOARD_TOOL)
    if path not in _tools:
        spec = importlib.util.spec_from_file_location("rig_board_tool", path)
        module = importlib.util.module_from_spec(spec)
        spec.loader.exec_module(module)
        _tools[path] = module
    return _tools[path]


def board_call(*args, tool=None, check=True):
    """One board command (the command line's words); its output. Raises
    RuntimeError when it fails and `check` is set."""
    status, out, err = board_tool(tool).call(list(args))
    if check and status:
        raise RuntimeError("board.py %s: %s" % (" ".join(args), err.strip()))
    return out


class Board:
    """One virtual board; its commands take the same arguments as on the
    command line, the board's name put in after the command. `timeout`
    bounds each command in the board tool."""

    def __init__(self, tool=None, name="b1", timeout=None):
        self.tool, self.name, self.timeout = tool, name, timeout
        board_tool(tool)

    def run(self, command, *args, check=True):
        bound = ["--timeout", str(self.timeout)] if self.timeout else []
        return board_call(*bound, command, self.name, *args, tool=self.tool, check=check)

    def plug(self, *options):
        return self.run("plug", *options).strip()

    def received(self):
        return [bytes.fromhex(x) for x in self.run("received").split()]

    def send(self, *texts):
        self.run("send", *texts)


# --- waiting -----------------------------------------------------------

def read_line(fd, timeout, what):
    """The first line written to the pipe `fd` (closed afterwards). Raises
    Timeout when none comes within `timeout` seconds, RuntimeError when the
    writer ends first."""
    data = b""
    deadline = time.monotonic() + timeout
    try:
        while b"\n" not in data:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                raise Timeout("timed out waiting for " + what)
            chunk = os.read(fd, 4096)
            if not chunk:
                raise RuntimeError(what + ": ended before it was ready")
            data += chunk
    finally:
        os.close(fd)
    return data.split(b"\n", 1)[0].decode().strip()


# --- X and Wine ------------------------------------------------------------

def start_xvfb(size=(1024, 768), extra=(), stdout=None, stderr=None, timeout=60):
    """An X server on a free display: (process, ":N"). Xvfb names the
    display once it takes clients (-displayfd)."""
    rfd, wfd = os.pipe()
    proc = subprocess.Popen(
        ["Xvfb", "-displayfd", str(wfd), "-screen", "0", "%dx%dx24" % size,
         "-nolisten", "tcp", *extra],
        pass_fds=(wfd,), stdout=stdout, stderr=stderr)
    os.close(wfd)
    try:
        return proc, ":" + read_line(rfd, timeout, "Xvfb to start")
    except BaseException:
        proc.kill()
        proc.wait()
        raise


def start_udev(out=None):
    """udevd, through which plug and unplug reach Wine's device layer."""
    subprocess.run("SYSTEMD_IGNORE_CHROOT=1 /lib/systemd/systemd-udevd --daemon && "
                   "udevadm trigger && udevadm settle", shell=True,
                   stdout=out, stderr=out, timeout=120)


def host_runs_wine32():
    """Whether Wine's 32-bit loader runs here (tools/wine32.sh decides for
    every script)."""
    try:
        return subprocess.run(["sh", WINE32], capture_output=True).returncode == 0
    except OSError:
        return False


def wine_loader():
    """The Wine loader to start programs with here (tools/wine32.sh)."""
    try:
        r = subprocess.run(["sh", WINE32, "--loader"], capture_output=True, text=True)
        return r.stdout.strip() or "wine"
    except OSError:
        return "wine"


def wine_env(prefix, display=None, env=None):
    """An environment for Wine: the prefix made beforehand, quiet, no Mono
    or Gecko to offer, X only (on `display` when given). Made in `env` when
    given (os.environ: for every program this process starts), else in a
    copy of this process's."""
    env = dict(os.environ) if env is None else env
    env.update(WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=")
    loader = wine_loader()
    if loader != "wine":
        env["WINELOADER"] = loader
    if display:
        env["DISPLAY"] = display
    env.pop("WAYLAND_DISPLAY", None)
    return env
