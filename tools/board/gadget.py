"""One virtual board: a configfs HID gadget on a dummy_hcd controller.

The board's side of the wire is the gadget function's character device
(one write = one input report, one read = one output report); the host's
side is whatever the guest kernel's usbhid/hidraw make of it."""

import errno
import fcntl
import glob
import json
import os
import select
import shutil
import signal
import subprocess
import threading
import time

CONFIGFS = "/sys/kernel/config"
GADGETS = CONFIGFS + "/usb_gadget"
UDC_CLASS = "/sys/class/udc"
STATE = os.environ.get("WENDREL_BOARD_STATE", "/run/wendrel-board")
DEFAULT_CONTROLLERS = 4
FUNCTION = "functions/hid.board"
CONFIG = "configs/c.1"


class BoardError(Exception):
    pass


# Firmware running as a thread of this process (in the board service),
# by board name: what stops it.
_firmware_threads = {}
_firmware_threads_lock = threading.Lock()


def register_firmware_thread(name, stop):
    with _firmware_threads_lock:
        _firmware_threads[name] = stop


def _write(path, value):
    with open(path, "w") as f:
        f.write(value)


def _read(path, default=""):
    try:
        with open(path) as f:
            return f.read().strip()
    except OSError:
        return default


def _wait(cond, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        result = cond()
        if result:
            return result
        if time.monotonic() >= deadline:
            raise BoardError("timed out after %.1f s waiting for %s" % (timeout, what))
        time.sleep(0.02)


class Lock:
    """Serialises board commands that pick controllers or edit configfs."""

    def __enter__(self):
        os.makedirs(STATE, exist_ok=True)
        self.f = open(os.path.join(STATE, ".lock"), "w")
        fcntl.flock(self.f, fcntl.LOCK_EX)
        return self

    def __exit__(self, *exc):
        self.f.close()


def setup(controllers=DEFAULT_CONTROLLERS):
    """Loads the gadget and host drivers once. The number of controllers
    (one board each) is fixed by the first load."""
    if not os.path.isdir(os.path.join(CONFIGFS, "usb_gadget")):
        _modprobe("libcomposite")
        if not os.path.isdir(GADGETS):
            subprocess.run(["mount", "-t", "configfs", "none", CONFIGFS], check=True)
    if not os.path.isdir("/sys/module/dummy_hcd"):
        _modprobe("dummy_hcd", "num=%d" % controllers)
    for m in ("usb_f_hid", "usbhid", "hid_generic"):
        if not os.path.isdir("/sys/module/" + m):  # modprobe is slow under emulation
            _modprobe(m)
    if not os.path.isdir(GADGETS):
        raise BoardError("configfs gadget support missing")


def _modprobe(*args):
    r = subprocess.run(["modprobe"] + list(args), stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, text=True)
    if r.returncode:
        raise BoardError("modprobe %s failed: %s" % (" ".join(args), r.stdout.strip()))


def _udc_index(udc):
    try:
        return int(udc.rsplit(".", 1)[1])
    except (IndexError, ValueError):
        return 1 << 30


def all_udcs():
    return sorted(os.listdir(UDC_CLASS), key=_udc_index) if os.path.isdir(UDC_CLASS) else []


def names():
    return sorted(os.listdir(GADGETS)) if os.path.isdir(GADGETS) else []


def output_report_id(cfg):
    """The ID in front of the board's output reports (boards made before
    they could differ from the input reports' have none of their own)."""
    return cfg.get("output_report_id", cfg["report_id"])


class Board:
    def __init__(self, name):
        if not name or "/" in name or name.startswith("."):
            raise BoardError("bad board name %r" % name)
        self.name = name
        self.gadget = os.path.join(GADGETS, name)
        self.state = os.path.join(STATE, name)

    # --- configuration -------------------------------------------------

    def exists(self):
        return os.path.isdir(self.gadget)

    def config(self):
        try:
            with open(os.path.join(self.state, "config.json")) as f:
                return json.load(f)
        except OSError:
            raise BoardError("no board named %s" % self.name)

    def create(self, vid, pid, release, serial, descriptor, in_len, out_len,
               report_id, product="Virtual board", manufacturer="Wendrel rig",
               output_report_id=None):
        """Creates the gadget, unplugged. An existing board of this name is
        removed first. Output reports carry output_report_id where given,
        else report_id, as input reports do."""
        if output_report_id is None:
            output_report_id = report_id
        if self.exists():
            self.remove()
        shutil.rmtree(self.state, ignore_errors=True)
        os.makedirs(self.state)
        g = self.gadget
        os.mkdir(g)
        _write(g + "/idVendor", "0x%04x" % vid)
        _write(g + "/idProduct", "0x%04x" % pid)
        _write(g + "/bcdDevice", "0x%04x" % release)
        _write(g + "/bcdUSB", "0x0200")
        os.makedirs(g + "/strings/0x409")
        _write(g + "/strings/0x409/manufacturer", manufacturer)
        _write(g + "/strings/0x409/product", product)
        _write(g + "/strings/0x409/serialnumber", serial)
        f = os.path.join(g, FUNCTION)
        os.mkdir(f)
        _write(f + "/protocol", "0")
        _write(f + "/subclass", "0")
        # One length serves both endpoints; reports carry their ID in front.
        _write(f + "/report_length",
               str(max(in_len + (1 if report_id else 0),
                       out_len + (1 if output_report_id else 0), 1)))
        with open(f + "/report_desc", "wb") as d:
            d.write(descriptor)
        c = os.path.join(g, CONFIG)
        os.makedirs(c + "/strings/0x409")
        _write(c + "/strings/0x409/configuration", "board")
        _write(c + "/MaxPower", "100")
        os.symlink(f, os.path.join(c, os.path.basename(FUNCTION)))
        with open(os.path.join(self.state, "config.json"), "w") as s:
            json.dump({"vid": vid, "pid": pid, "release": release, "serial": serial,
                       "in": in_len, "out": out_len, "report_id": report_id,
                       "output_report_id": output_report_id}, s)
        self._make_node()

    def _make_node(self):
        major, minor = _read(os.path.join(self.gadget, FUNCTION, "dev")).split(":")
        node = self.node()
        if os.path.exists(node):
            os.unlink(node)
        os.mknod(node, 0o600 | 0o020000, os.makedev(int(major), int(minor)))

    def node(self):
        """The board's end of the wire (a character device)."""
        return os.path.join(self.state, "hidg")

    def set_product(self, pid):
        if self.udc():
            raise BoardError("%s: cannot change the product ID while plugged" % self.name)
        _write(self.gadget + "/idProduct", "0x%04x" % pid)
        cfg = self.config()
        cfg["pid"] = pid
        with open(os.path.join(self.state, "config.json"), "w") as s:
            json.dump(cfg, s)

    # --- the bus -------------------------------------------------------

    def udc(self):
        return _read(self.gadget + "/UDC")

    def plug(self, udc=None, wait=10.0):
        """Binds to a free controller (or the one given) and waits until
        the host has made a hidraw node of it. Returns the node."""
        if not self.exists():
            raise BoardError("no board named %s" % self.name)
        if not self.udc():
            with Lock():
                taken = {Board(n).udc() for n in names()}
                free = [u for u in all_udcs() if u not in taken]
                if udc is None:
                    if not free:
                        raise BoardError("no free controller for %s (all %d in use)"
                                         % (self.name, len(all_udcs())))
                    udc = free[0]
                elif udc not in free:
                    raise BoardError("controller %s is missing or in use" % udc)
                _write(self.gadget + "/UDC", udc)
        if not wait:
            return None
        return _wait(self.host_node, wait, "the host to see %s" % self.name)

    def unplug(self, wait=10.0):
        """Unbinds; the host sees the board vanish. Stops the firmware
        first: its device goes away with the bus."""
        self.stop_firmware()
        if self.udc():
            try:
                _write(self.gadget + "/UDC", "\n")
            except OSError as e:
                if e.errno != errno.ENODEV:
                    raise
        if wait:
            _wait(lambda: self.host_node() is None and not self._host_usb(),
                  wait, "the host to drop %s" % self.name)

    def remove(self):
        self.unplug()
        g = self.gadget
        c = os.path.join(g, CONFIG)
        for path in (os.path.join(c, os.path.basename(FUNCTION)),):
            if os.path.islink(path):
                os.unlink(path)
        for d in (c + "/strings/0x409", c, os.path.join(g, FUNCTION),
                  g + "/strings/0x409", g):
            if os.path.isdir(d):
                os.rmdir(d)
        shutil.rmtree(self.state, ignore_errors=True)

    # --- the host's view ----------------------------------------------

    def _controller(self):
        udc = self.udc()
        return "dummy_hcd.%d" % _udc_index(udc) if udc else None

    def _host_usb(self):
        hcd = self._controller()
        if not hcd:
            return []
        return glob.glob("/sys/devices/platform/%s/usb*/*-*" % hcd)

    def host_node(self):
        """The host's /dev/hidrawN for this board, once it exists."""
        hcd = self._controller()
        if not hcd:
            return None
        for entry in sorted(glob.glob("/sys/class/hidraw/hidraw*")):
            real = os.path.realpath(entry)
            if "/%s/" % hcd in real:
                node = "/dev/" + os.path.basename(entry)
                return node if os.path.exists(node) else None
        return None

    # --- firmware ------------------------------------------------------

    def firmware_pid(self):
        try:
            pid = int(_read(os.path.join(self.state, "firmware.pid"), "0"))
        except ValueError:
            return 0
        if pid <= 0:
            return 0
        try:
            os.kill(pid, 0)
        except OSError:
            return 0
        return pid

    def stop_firmware(self):
        with _firmware_threads_lock:
            stop = _firmware_threads.pop(self.name, None)
        if stop:
            stop()
        pid = self.firmware_pid()
        if pid:
            try:
                os.kill(pid, signal.SIGTERM)
            except OSError:
                pass
            _wait(lambda: not _alive(pid), 5, "the firmware of %s to stop" % self.name)
        try:
            os.unlink(os.path.join(self.state, "firmware.pid"))
        except OSError:
            pass

    def received_path(self):
        return os.path.join(self.state, "received")

    def received(self):
        """Every output report the firmware has read, oldest first."""
        try:
            with open(self.received_path()) as f:
                return [bytes.fromhex(line.strip()) for line in f if line.strip()]
        except OSError:
            return []

    def input_report(self, data, cfg=None):
        """Frames data as one input report: ID in front when the board
        uses one, zero-filled to the report length, cut when longer."""
        cfg = cfg or self.config()
        body = data[:cfg["in"]].ljust(cfg["in"], b"\0")
        return (bytes([cfg["report_id"]]) if cfg["report_id"] else b"") + body

    def send(self, reports, timeout=10.0):
        """Writes input reports; each write waits until the host took the
        previous one, so nothing is lost on the board's side. Gives up
        after timeout seconds in all."""
        if not self.udc():
            raise BoardError("%s is not plugged in" % self.name)
        cfg = self.config()
        deadline = time.monotonic() + timeout
        # Non-blocking, so that the wait is bounded without a signal (the
        # service runs commands on threads, which get none).
        fd = os.open(self.node(), os.O_WRONLY | os.O_NONBLOCK)
        try:
            poller = select.poll()
            poller.register(fd, select.POLLOUT)
            for r in reports:
                report = self.input_report(r, cfg)
                while True:
                    try:
                        os.write(fd, report)
                        break
                    except BlockingIOError:
                        pass
                    left = deadline - time.monotonic()
                    if left <= 0:
                        raise BoardError("timed out (the host is not taking reports)")
                    poller.poll(min(left, 1.0) * 1000)
        finally:
            os.close(fd)


def _alive(pid):
    try:
        os.kill(pid, 0)
    except OSError:
        return False
    try:  # a zombie child of ours counts as gone
        done, _ = os.waitpid(pid, os.WNOHANG)
        return done == 0
    except ChildProcessError:
        # Not our child: look at its state.
        return _read("/proc/%d/stat" % pid).split(") ")[-1][:1] not in ("Z", "")
