"""A headless desktop for driving the real console the way a person does:
an X server (Xvfb), a D-Bus session with the accessibility bus, keys and
clicks through xdotool (XTEST, so Qt sees real input), and the widgets'
names and texts read back over AT-SPI.

Everything started here is a child of this process and is stopped by pid.
Every wait is bounded; a helper that runs out of time raises Timeout."""

import ctypes
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import zlib

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..",
                                "tools"))
from rig_client import Timeout, read_line, start_xvfb  # noqa: E402

AT_SPI_BUS_LAUNCHER = "/usr/libexec/at-spi-bus-launcher"


class NoAnswer(Timeout):
    """An AT-SPI call that the application did not answer."""


def poll(probe, timeout, interval=0.1, what="a condition"):
    """Calls probe until it returns something true; returns that. Raises
    Timeout after `timeout` seconds. Each probe is a round of calls over the
    accessibility bus, dear under emulation: a wait that measures passes a
    finer interval."""
    deadline = time.monotonic() + timeout
    silent = None
    while True:
        try:
            value = probe()
        except NoAnswer as e:
            value, silent = None, e
        if value:
            return value
        if time.monotonic() >= deadline:
            raise Timeout("timed out after %.1f s waiting for %s%s" % (
                timeout, what, " (the window does not answer: %s)" % silent if silent else ""))
        time.sleep(interval)


def _stop(proc, grace=3.0):
    if proc is None or proc.poll() is not None:
        return
    proc.terminate()
    try:
        proc.wait(grace)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()


class Desktop:
    """Xvfb, a session bus and the accessibility bus, for as long as the
    object lives (use it as a context manager)."""

    def __init__(self, width=1024, height=768):
        self.size = (width, height)
        self.procs = []
        self.dir = None
        self.env = None

    def __enter__(self):
        self.dir = tempfile.mkdtemp(prefix="wendrel-desktop-")
        try:
            self._start()
        except BaseException:
            self.__exit__()
            raise
        return self

    def _start(self):
        env = dict(os.environ)
        runtime = os.path.join(self.dir, "runtime")
        os.mkdir(runtime, 0o700)
        env["XDG_RUNTIME_DIR"] = runtime

        # -fbdir keeps the screen in a file in XWD format, which is how
        # screenshots are taken.
        xvfb, env["DISPLAY"] = start_xvfb(self.size, ("-noreset", "-fbdir", self.dir),
                                          stdout=subprocess.DEVNULL, stderr=self._log("xvfb"))
        self.procs.append(xvfb)

        rfd, wfd = os.pipe()
        bus = subprocess.Popen(
            ["dbus-daemon", "--session", "--nofork", "--nosyslog",
             "--print-address=%d" % wfd],
            pass_fds=(wfd,), stdout=subprocess.DEVNULL, stderr=self._log("dbus"), env=env)
        os.close(wfd)
        self.procs.append(bus)
        env["DBUS_SESSION_BUS_ADDRESS"] = read_line(rfd, 60, "the session bus")

        # Started here rather than on demand, so that it is ours to stop.
        launcher = subprocess.Popen(
            [AT_SPI_BUS_LAUNCHER, "--launch-immediately"],
            stdout=subprocess.DEVNULL, stderr=self._log("at-spi"), env=env)
        self.procs.append(launcher)

        env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        env["QT_QPA_PLATFORM"] = "xcb"
        env.pop("QT_QPA_PLATFORMTHEME", None)
        self.env = env
        # This process's own AT-SPI client talks to the same buses.
        for k in ("DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_RUNTIME_DIR"):
            os.environ[k] = env[k]
        poll(lambda: self._a11y_bus_ready(), 60, 0.1, "the accessibility bus")
        if Atspi.init() not in (0, 1):  # 1: already initialised
            raise RuntimeError("AT-SPI client did not initialise")

    def _a11y_bus_ready(self):
        r = subprocess.run(
            ["dbus-send", "--session", "--print-reply", "--dest=org.a11y.Bus",
             "/org/a11y/bus", "org.a11y.Bus.GetAddress"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=self.env, timeout=30,
            text=True)
        return r.returncode == 0 and "unix:" in r.stdout

    def _log(self, name):
        return open(os.path.join(self.dir, name + ".log"), "w")

    def log_text(self, name):
        try:
            with open(os.path.join(self.dir, name + ".log"), errors="replace") as f:
                return f.read()
        except OSError:
            return ""

    def __exit__(self, *exc):
        for proc in reversed(self.procs):
            _stop(proc)
        self.procs = []
        if self.dir:
            shutil.rmtree(self.dir, ignore_errors=True)
        return False

    # --- input -----------------------------------------------------------

    def xdotool(self, *args, timeout=20):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env,
                       check=True, timeout=timeout, stdout=subprocess.DEVNULL)

    def click(self, widget):
        """A left click in the middle of a widget, with the real pointer."""
        x, y, w, h = widget.extents()
        self.xdotool("mousemove", x + w // 2, y + h // 2, "click", "1")

    def type(self, text):
        self.xdotool("type", "--delay", "30", "--", text)

    def type_unicode(self, text):
        """Types text that the keyboard map lacks (Japanese, say). xdotool
        type binds such a character to a spare key only for the moment of
        the key press, and the application may read the press after the
        binding is gone; here each character gets a spare key of its own
        first, the application is given time to reload the map, and the
        keys are pressed afterwards. The map is restored at the end."""
        x11 = self._x11()
        dpy = x11.XOpenDisplay(self.env["DISPLAY"].encode())
        if not dpy:
            raise RuntimeError("cannot open the X display")
        try:
            lo, hi = ctypes.c_int(), ctypes.c_int()
            x11.XDisplayKeycodes(dpy, ctypes.byref(lo), ctypes.byref(hi))
            per = ctypes.c_int()
            count = hi.value - lo.value + 1
            syms = x11.XGetKeyboardMapping(dpy, lo.value, count, ctypes.byref(per))
            spare = [lo.value + i for i in range(count)
                     if not any(syms[i * per.value + j] for j in range(per.value))]
            x11.XFree(syms)
            chars = sorted(set(text))
            if len(chars) > len(spare):
                raise RuntimeError("not enough spare keys for %d characters" % len(chars))
            bound = dict(zip(chars, spare))
            for ch, code in bound.items():
                # Unicode keysyms: 0x01000000 + code point.
                sym = (ctypes.c_ulong * 1)(ord(ch) if ord(ch) < 0x100 else 0x01000000 + ord(ch))
                x11.XChangeKeyboardMapping(dpy, code, 1, sym, 1)
            x11.XSync(dpy, 0)
            time.sleep(1.0)
            try:
                self.xdotool("key", "--delay", "30",
                             *["0x%x" % (ord(ch) if ord(ch) < 0x100 else 0x01000000 + ord(ch))
                               for ch in text])
                time.sleep(0.5)
            finally:
                for code in bound.values():
                    x11.XChangeKeyboardMapping(dpy, code, 1, (ctypes.c_ulong * 1)(0), 1)
                x11.XSync(dpy, 0)
        finally:
            x11.XCloseDisplay(dpy)

    @staticmethod
    def _x11():
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XDisplayKeycodes.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_int),
                                         ctypes.POINTER(ctypes.c_int)]
        x11.XGetKeyboardMapping.restype = ctypes.POINTER(ctypes.c_ulong)
        x11.XGetKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_ubyte, ctypes.c_int,
                                            ctypes.POINTER(ctypes.c_int)]
        x11.XChangeKeyboardMapping.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                               ctypes.POINTER(ctypes.c_ulong), ctypes.c_int]
        x11.XFree.argtypes = [ctypes.c_void_p]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        return x11

    def key(self, *keys):
        self.xdotool("key", "--delay", "30", *keys)

    def close_window(self, window_id):
        """What the close box does: the window manager's WM_DELETE_WINDOW."""
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int,
                                   ctypes.c_long, ctypes.c_void_p]
        x11.XFlush.argtypes = [ctypes.c_void_p]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        dpy = x11.XOpenDisplay(self.env["DISPLAY"].encode())
        if not dpy:
            raise RuntimeError("cannot open the X display")
        try:
            protocols = x11.XInternAtom(dpy, b"WM_PROTOCOLS", 0)
            delete = x11.XInternAtom(dpy, b"WM_DELETE_WINDOW", 0)

            class ClientMessage(ctypes.Structure):
                _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong),
                            ("send_event", ctypes.c_int), ("display", ctypes.c_void_p),
                            ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                            ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]

            class XEvent(ctypes.Union):
                _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

            ev = XEvent()
            ev.xclient.type = 33  # ClientMessage
            ev.xclient.window = window_id
            ev.xclient.message_type = protocols
            ev.xclient.format = 32
            ev.xclient.data[0] = delete
            ev.xclient.data[1] = 0  # CurrentTime
            if not x11.XSendEvent(dpy, window_id, 0, 0, ctypes.byref(ev)):
                raise RuntimeError("XSendEvent failed")
            x11.XFlush(dpy)
        finally:
            x11.XCloseDisplay(dpy)

    def transient_for(self, window_id):
        """The window that window_id is transient for (WM_TRANSIENT_FOR),
        or 0 when it is a window of its own."""
        x11 = ctypes.CDLL("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        x11.XGetTransientForHint.argtypes = [ctypes.c_void_p, ctypes.c_ulong,
                                             ctypes.POINTER(ctypes.c_ulong)]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        dpy = x11.XOpenDisplay(self.env["DISPLAY"].encode())
        if not dpy:
            raise RuntimeError("cannot open the X display")
        try:
            owner = ctypes.c_ulong(0)
            if not x11.XGetTransientForHint(dpy, window_id, ctypes.byref(owner)):
                return 0
            return owner.value
        finally:
            x11.XCloseDisplay(dpy)

    def window_of(self, pid):
        """The X window id of a process's visible top-level window."""
        def find():
            r = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                               env=self.env, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True, timeout=20)
            ids = r.stdout.split()
            return int(ids[0]) if ids else None
        return poll(find, 30, 0.1, "the console's X window")

    # --- output ----------------------------------------------------------

    def pixels(self, box=None):
        """The screen (or the box x, y, w, h of it) as its width, height and
        rows of RGB bytes."""
        with open(os.path.join(self.dir, "Xvfb_screen0"), "rb") as f:
            data = f.read()
        h = struct.unpack(">25I", data[:100])
        header_size, width, height = h[0], h[4], h[5]
        byte_order, bpp, stride, ncolors = h[7], h[11], h[12], h[19]
        if bpp != 32:
            raise RuntimeError("screenshot: %d bits per pixel not handled" % bpp)
        pixels = data[header_size + 12 * ncolors:]
        x0, y0, w, hgt = box or (0, 0, width, height)
        x0, y0 = max(0, x0), max(0, y0)
        w, hgt = min(w, width - x0), min(hgt, height - y0)
        # Pixels are 0x00RRGGBB in the server's byte order.
        r, g, b = (2, 1, 0) if byte_order == 0 else (1, 2, 3)
        rows = []
        for y in range(y0, y0 + hgt):
            line = pixels[y * stride + x0 * 4:y * stride + (x0 + w) * 4]
            rgb = bytearray(w * 3)
            rgb[0::3], rgb[1::3], rgb[2::3] = line[r::4], line[g::4], line[b::4]
            rows.append(bytes(rgb))
        return w, hgt, rows

    def screenshot(self, path, box=None):
        """Writes the screen (or the box x, y, w, h of it) as a PNG."""
        w, hgt, rows = self.pixels(box)

        def chunk(kind, body):
            return (struct.pack(">I", len(body)) + kind + body
                    + struct.pack(">I", zlib.crc32(kind + body)))
        png = (b"\x89PNG\r\n\x1a\n"
               + chunk(b"IHDR", struct.pack(">IIBBBBB", w, hgt, 8, 2, 0, 0, 0))
               + chunk(b"IDAT", zlib.compress(b"".join(b"\0" + row for row in rows), 6))
               + chunk(b"IEND", b""))
        with open(path, "wb") as f:
            f.write(png)


def _asked(call):
    """Runs one AT-SPI call; a window that does not answer raises NoAnswer."""
    try:
        return call()
    except GLib.Error as e:
        raise NoAnswer(e.message) from None


class Widget:
    """One accessible object of the application, by its accessible name."""

    def __init__(self, obj):
        self.obj = obj
        self.interfaces = None

    def name(self):
        return _asked(self.obj.get_name) or ""

    def role(self):
        return _asked(self.obj.get_role)

    def description(self):
        return _asked(self.obj.get_description) or ""

    def text(self):
        """The widget's text: the Text interface where it has one, otherwise
        its name (a label is named by what it shows)."""
        if self.interfaces is None:
            self.interfaces = _asked(self.obj.get_interfaces)
        if "Text" in self.interfaces:
            return _asked(lambda: Atspi.Text.get_text(self.obj, 0, -1)) or ""
        return self.name()

    def character_extents(self, offset):
        """Where one character of the text is drawn, in screen pixels."""
        r = _asked(lambda: Atspi.Text.get_character_extents(
            self.obj, offset, Atspi.CoordType.SCREEN))
        return r.x, r.y, r.width, r.height

    def children(self):
        """The children the application names (a child it cannot name
        is left out)."""
        count = _asked(self.obj.get_child_count)
        return [Widget(c) for c in (_asked(lambda i=i: self.obj.get_child_at_index(i))
                                    for i in range(count)) if c is not None]

    def do_action(self, index=0):
        return _asked(lambda: Atspi.Action.do_action(self.obj, index))

    def extents(self):
        r = _asked(lambda: Atspi.Component.get_extents(self.obj, Atspi.CoordType.SCREEN))
        return r.x, r.y, r.width, r.height


class Application:
    """The console as AT-SPI sees it."""

    def __init__(self, pid, timeout=90):
        self.pid = pid
        self.root = poll(self._find, timeout, 0.2, "the console on the accessibility bus")
        self.cache = {}

    def _find(self):
        desktop = Atspi.get_desktop(0)
        for i in range(desktop.get_child_count()):
            app = desktop.get_child_at_index(i)
            try:
                if app is not None and app.get_process_id() == self.pid \
                        and app.get_child_count() > 0:
                    return app
            except GLib.Error:
                continue
        return None

    def _walk(self, obj, depth=0):
        yield obj
        if depth > 12:
            return
        for i in range(obj.get_child_count()):
            child = obj.get_child_at_index(i)
            if child is not None:
                yield from self._walk(child, depth + 1)

    def widget(self, name, timeout=30, role=None):
        """The widget with this accessible name, or the first with this role
        when name is None (found once, then kept)."""
        key = (name, role)
        if key not in self.cache:
            def find():
                for obj in self._walk(self.root):
                    try:
                        if (name is None or obj.get_name() == name) \
                                and (role is None or obj.get_role() == role) \
                                and obj.get_role() != Atspi.Role.APPLICATION:
                            return obj
                    except GLib.Error:
                        pass
                return None
            self.cache[key] = Widget(poll(find, timeout, 0.2, "widget %r" % (name or role)))
        return self.cache[key]

    def find(self, probe):
        """The first widget for which probe(Widget) is true, looked up
        afresh, or None."""
        for obj in self._walk(self.root):
            try:
                if probe(Widget(obj)):
                    return Widget(obj)
            except (GLib.Error, NoAnswer):
                pass
        return None

    def window(self):
        return Widget(self.root.get_child_at_index(0))
