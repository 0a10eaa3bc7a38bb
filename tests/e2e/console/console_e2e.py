#!/usr/bin/python3
"""End-to-end cases of the real console program on the virtual board, driven
as a person drives it: keys and clicks on an X display, the window's state
read back through its accessible names. Runs as root inside the rig's VM
(dummy_hcd and configfs gadgets), where the board's hidraw node appears and
vanishes as a plugged board's does.

    console_e2e.py --app BUILD/src/app/wendrel --board tools/board/board.py
                   [--results DIR]

ctest runs it in the rig's one boot (e2e_rig); by hand, from the top:

    python3 tools/vm/vmrun.py --results /tmp/e2e -- /usr/bin/python3 \
        tests/e2e/console/console_e2e.py --app build/src/app/wendrel \
        --board tools/board/board.py --results /tmp/e2e

Prints one line per case and its result; exit status 1 if any case failed.
Every wait is bounded: a console that hangs fails its case, never the run."""

import argparse
import glob
import importlib.util
import os
import signal
import subprocess
import sys
import threading
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import Application, Atspi, Desktop, Timeout, Widget, poll  # noqa: E402

CONNECTED = "VID:0x04D8 / PID:0x003F"
DISCONNECTED = "Non Connections"
REPORT_LEN = 64
RING = 1000  # rows the history keeps

# Generous bounds for an emulated guest (TCG) on a busy machine. They prove
# that something happens by itself and that nothing hangs, not how fast it
# happens: the measured figures are printed instead, and the benchmark
# measures how long the window takes to answer while a write is stuck.
T_START = 180         # the console shows up on the accessibility bus
T_STATE = 60          # connect, disconnect, a line shown, a report recorded
T_ANSWER = 60         # the window shows typed keys
T_EXIT = 60           # the process ends after closing
T_MENU = 60           # a menu or box shows on the accessibility bus; each
                      # look at it takes many calls, slow on a loaded host


class CaseFailed(Exception):
    pass


def check(ok, message):
    if not ok:
        raise CaseFailed(message)


def board_tool(path):
    """The rig's board.py as a module: its call() runs a command through the
    board service, or in this process without one (a fresh interpreter
    costs a second or more under emulation)."""
    spec = importlib.util.spec_from_file_location("rig_board_tool", path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


class Board:
    """One virtual board; its commands take the same arguments as on the
    command line."""

    _tool = None

    def __init__(self, tool, name):
        self.tool, self.name = tool, name
        if Board._tool is None:
            Board._tool = board_tool(tool)

    def run(self, command, *args):
        status, out, err = Board._tool.call([command, self.name] + list(args))
        if status:
            raise RuntimeError("board.py %s %s: %s" % (command, self.name, err.strip()))
        return out

    def plug(self, *options):
        return self.run("plug", *options).strip()

    def received(self):
        return [bytes.fromhex(x) for x in self.run("received").split()]

    def send(self, *texts):
        self.run("send", *texts)


class Console:
    """One run of the console program."""

    def __init__(self, desktop, app_path, log_dir, env=None):
        self.desktop = desktop
        self.log_path = os.path.join(log_dir, "wendrel-%d.log" % time.monotonic_ns())
        self.log = open(self.log_path, "w")
        self.proc = subprocess.Popen([app_path], env=env or desktop.env,
                                     stdin=subprocess.DEVNULL,
                                     stdout=self.log, stderr=subprocess.STDOUT)
        started = time.monotonic()
        self.app = Application(self.proc.pid, T_START)
        # The status label is named by what it shows: the only label.
        self.status = self.app.widget(None, role=Atspi.Role.LABEL)
        self.input = self.app.widget("送信テキスト")
        self.history = self.app.widget("受信履歴")
        self.started_in = time.monotonic() - started

    def button(self, name):
        return self.app.widget(name)

    def history_lines(self):
        # Split on line feeds only: a stray carriage return stays visible.
        text = self.history.text().replace("\u2029", "\n")
        return text.split("\n") if text else []

    def wait_status(self, text, timeout=T_STATE):
        try:
            poll(lambda: self.status.text() == text, timeout, what="status %r" % text)
        except Timeout as e:
            shown = self.status.text()
            raise CaseFailed("%s; it shows %r%s" % (e, shown, "" if shown else
                             " (the status label must expose its text on AT-SPI: "
                             "a Text interface or its accessible name)"))

    def wait_last_line(self, text, timeout=T_STATE):
        poll(lambda: self.history_lines()[-1:] == [text], timeout,
             what="%r as the newest history line" % text)

    def history_scroll_bar(self):
        """The history's vertical scroll bar while it shows, else None."""
        def find(widget, depth):
            for child in widget.children():
                # Qt gives a scroll bar no orientation: the upright one.
                if child.role() == Atspi.Role.SCROLL_BAR \
                        and child.obj.get_state_set().contains(Atspi.StateType.SHOWING):
                    _, _, w, h = child.extents()
                    if h > w:
                        return child
                found = find(child, depth - 1) if depth > 0 else None
                if found:
                    return found
            return None
        return find(self.history, 3)

    def history_position(self):
        """The history's view as its scroll bar shows it: (value, maximum),
        (0, 0) while every row fits."""
        bar = self.history_scroll_bar()
        if bar is None:
            return 0, 0
        return (int(Atspi.Value.get_current_value(bar.obj)),
                int(Atspi.Value.get_maximum_value(bar.obj)))

    def newest_line_in_sight(self):
        """Fails the case unless the history shows its newest row: scrolled
        to its end. (Qt's accessible character positions in a scrolled box
        are not where the characters are drawn; the scroll bar is.)"""
        check(self.history.text(), "the history is empty")
        value, maximum = self.history_position()
        check(value == maximum, "the history is scrolled to %d of %d" % (value, maximum))

    def wait_input(self, text):
        try:
            poll(lambda: self.input.text() == text, T_STATE, what="%r typed" % text)
        except Timeout as e:
            raise CaseFailed("%s; the input line shows %r" % (e, self.input.text()))

    def type_line(self, text):
        """Clicks into the input line and types text (no Enter)."""
        self.desktop.click(self.input)
        self.desktop.type(text)

    def answers(self, text="ping"):
        """Types into the input line and returns how long the window took to
        show it, or fails the case when it did not within T_ANSWER."""
        before = self.input.text()
        self.desktop.type(text)
        # xdotool returns once the keys are with the X server, whether or
        # not the window reads them: from here on the time is the window's.
        start = time.monotonic()
        try:
            poll(lambda: self.input.text() == before + text, T_ANSWER, 0.01,
                 what="the input line to show %r" % text)
        except Timeout:
            raise CaseFailed("the window did not show typed text within %.1f s "
                             "(input line %r)" % (T_ANSWER, self.input.text()))
        return time.monotonic() - start

    def clear_input(self):
        self.desktop.key("ctrl+a", "BackSpace")
        poll(lambda: self.input.text() == "", T_STATE, what="an empty input line")

    def wait_exit(self, timeout=T_EXIT):
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.log.close()

    def output(self):
        self.log.flush()
        with open(self.log_path, errors="replace") as f:
            return f.read()


def show_output(console):
    text = console.output()
    if text.strip():
        sys.stdout.write("      console output:\n" + text)


class Run:
    def __init__(self, args):
        self.args = args
        self.failed = []

    def case(self, name, fn, *fargs):
        start = time.monotonic()
        try:
            detail = fn(*fargs) or ""
            ok = True
        except (CaseFailed, Timeout) as e:
            ok, detail = False, str(e)
        except Exception:
            ok, detail = False, traceback.format_exc().strip()
        print("%s  console: %s  (%.1f s)%s" % ("PASS" if ok else "FAIL", name,
              time.monotonic() - start, ("\n      " + detail) if detail else ""),
              flush=True)
        if not ok:
            self.failed.append(name)
        return ok


def session_with_one_board(run, desktop, board_tool, app_path, results):
    """One console run through a board's whole life: absent, plugged,
    talking, stalled, unplugged; closed with the "終了" button."""
    board = Board(board_tool, "console")
    c = Console(desktop, app_path, desktop.dir)
    print("      console on the accessibility bus after %.1f s" % c.started_in, flush=True)
    ctx = {}
    try:
        def no_board():
            c.wait_status(DISCONNECTED)
            check(c.history_lines() == [], "history not empty: %r" % c.history_lines())

        def connects():
            c.type_line("pending")
            poll(lambda: c.input.text() == "pending", T_STATE, what="typed text")
            # Timed from the node's appearance, not from the plug command,
            # which waits for the node itself.
            plugged = []
            plug = threading.Thread(target=lambda: plugged.append(
                Board._tool.call(["plug", board.name])[0]))
            plug.start()
            try:
                appeared = poll(lambda: glob.glob("/sys/class/hidraw/hidraw*")
                                and time.monotonic(), T_STATE, 0.005,
                                what="the board's hidraw node")
                c.wait_status(CONNECTED)
                latency = time.monotonic() - appeared
            finally:
                plug.join(60)
                check(plugged == [0], "board.py plug failed")
            board.run("start")  # firmware that reads and records output reports
            check(c.input.text() == "",
                  "typed text survived the connect: %r" % c.input.text())
            return "status shown %.0f ms after the hidraw node appeared" % (latency * 1000)

        def hello():
            board.send("Hello")
            c.wait_last_line("Hello")

        def typed_line():
            board.run("clear")
            c.type_line("abc")
            c.desktop.key("Return")
            poll(board.received, T_STATE, 0.1, what="an output report")
            # A duplicate would follow the first within a few milliseconds:
            # the firmware reads as fast as the host writes.
            time.sleep(0.3)
            got = board.received()
            check(got == [b"abc".ljust(REPORT_LEN, b"\0")],
                  "board received %r" % [r.rstrip(b"\0") for r in got])
            poll(lambda: c.input.text() == "", T_STATE, what="the input line to empty")
            check(c.proc.poll() is None, "the window closed on Enter")

        def boot_button():
            board.run("clear")
            before = c.history_lines()
            c.desktop.click(c.button("Bootloder"))
            poll(board.received, T_STATE, 0.1, what="an output report")
            time.sleep(0.3)
            got = board.received()
            check(got == [b"Boot".ljust(REPORT_LEN, b"\0")],
                  "board received %r" % [r.rstrip(b"\0") for r in got])
            check(c.history_lines() == before and c.status.text() == CONNECTED,
                  "the window changed on Bootloder")

        def every_line():
            before = c.history_lines()
            lines = ["L%d" % i for i in range(1, 26)]
            board.send(*lines)
            c.wait_last_line("L25")
            got = c.history_lines()
            check(got == before + lines, "history shows %r" % got)
            c.newest_line_in_sight()

        def line_endings():
            # Each report one row, the newest in sight, whatever ends it.
            for tag, ending in (("crlf", "\r\n"), ("lf", "\n"), ("cr", "\r")):
                lines = ["%s %d" % (tag, i) for i in range(1, 26)]
                board.send(*[line + ending for line in lines])
                c.wait_last_line(lines[-1])
                got = c.history_lines()
                check(got[-len(lines):] == lines, "after %r: history shows %r"
                      % (ending, got[-len(lines):]))
                c.newest_line_in_sight()
                if tag == "crlf":
                    os.makedirs(results, exist_ok=True)
                    c.desktop.xdotool("mousemove", 0, 0)
                    c.desktop.screenshot(os.path.join(results, "history-crlf.png"),
                                         c.history.extents())

        def not_transient():
            window = c.desktop.window_of(c.proc.pid)
            owner = c.desktop.transient_for(window)
            check(owner == 0, "the console's window is transient for 0x%x" % owner)

        def screenshot():
            os.makedirs(results, exist_ok=True)
            path = os.path.join(results, "console-connected.png")
            c.desktop.xdotool("mousemove", 0, 0)
            c.desktop.screenshot(path, c.app.window().extents())
            return "saved " + path

        def stalled():
            board.run("stop")  # the board no longer reads output reports
            c.desktop.click(c.input)
            # The gadget queues 4 reports; each further write blocks for
            # seconds in the kernel. Eight lines pile up behind the queue.
            for i in range(1, 9):
                c.desktop.type("stall%d" % i)
                c.desktop.key("Return")
            took = c.answers("ping")
            board.send("alive")
            c.wait_last_line("alive")
            ctx["before_unplug"] = c.history_lines()
            c.clear_input()
            return "typed text shown after %.0f ms" % (took * 1000)

        def unplugged():
            # Let the board read again so that the unplug below finds no
            # write in flight; unplugging mid-write has its own case.
            board.run("start")
            history = c.history_lines()
            c.type_line("draft")
            poll(lambda: c.input.text() == "draft", T_STATE, what="typed text")
            board.run("unplug")
            c.wait_status(DISCONNECTED)
            check(c.history_lines() == history,
                  "history changed on unplug: %r" % c.history_lines())
            check(c.input.text() == "", "the refresh kept %r" % c.input.text())
            c.answers()
            c.clear_input()

        def reconnects():
            board.run("replug")
            board.run("start")
            c.wait_status(CONNECTED)
            board.send("again")
            c.wait_last_line("again")
            check(c.history_lines()[:-1] == ctx["history_at_replug"][-(RING - 1):],
                  "lines of the earlier connection were lost: %r" % c.history_lines())

        def quit_button():
            c.desktop.click(c.button("終了"))
            status = c.wait_exit()
            check(status is not None, "still running %d s after 終了" % T_EXIT)
            check(status == 0, "exit status %d" % status)

        steps = [
            ("starts without a board: " + DISCONNECTED, no_board),
            ("connects by itself to a plugged board; typed text is emptied", connects),
            ("shows the board's 'Hello'", hello),
            ("typed 'abc' + Enter reaches the board as one output report", typed_line),
            ('"Bootloder" sends "Boot"', boot_button),
            ("25 more lines: the history holds every one, the newest in sight", every_line),
            ('reports ending in "\\r\\n", "\\n", "\\r": one row each, the newest in sight',
             line_endings),
            ("the window is not transient (its own taskbar entry)", not_transient),
            ("screenshot of the connected console", screenshot),
            ("a board that stops reading does not freeze the window", stalled),
            ("unplugging shows " + DISCONNECTED + ", history kept", unplugged),
        ]
        for name, fn in steps:
            if not run.case(name, fn) and fn in (no_board, connects):
                break  # nothing after this can work
        else:
            ctx["history_at_replug"] = c.history_lines()
            run.case("a replugged board reconnects, earlier lines kept", reconnects)
        run.case('"終了" ends the process with status 0', quit_button)
    finally:
        if c.proc.poll() is None or run.failed:
            show_output(c)
        c.kill()
        try:
            board.run("remove")
        except Exception:
            pass


def session_japanese(run, desktop, board_tool, app_path):
    """Under a Japanese locale the board speaks code page 932, as it does to
    a Japanese Windows PC; the locale need not be installed."""
    board = Board(board_tool, "japanese")
    board.plug()
    board.run("start")
    env = dict(desktop.env)
    for name in ("LC_ALL", "LC_CTYPE", "LANGUAGE"):
        env.pop(name, None)
    env["LANG"] = "ja_JP.UTF-8"
    c = Console(desktop, app_path, desktop.dir, env)
    try:
        def shown():
            c.wait_status(CONNECTED)
            text = "温度 23.5℃ 正常"
            board.run("send-hex", text.encode("cp932").hex() + "0d0a")
            c.wait_last_line(text)

        def typed():
            board.run("clear")
            text = "こんにちは"
            c.desktop.click(c.input)
            c.desktop.type_unicode(text)
            c.wait_input(text)
            c.desktop.key("Return")
            poll(board.received, T_STATE, 0.1, what="an output report")
            time.sleep(0.3)
            got = board.received()
            check(got == [text.encode("cp932").ljust(REPORT_LEN, b"\0")],
                  "board received %r" % [r.rstrip(b"\0") for r in got])

        def refused():
            # Hangul is not in code page 932: the input line never takes it,
            # while the kana typed the same way after it arrive.
            c.desktop.click(c.input)
            c.desktop.type_unicode("a한bあ")
            c.wait_input("abあ")
            c.clear_input()

        def about_on_the_bus():
            # The context menu, opened with the mouse, is reachable on the
            # accessibility bus, and its About entry opens the About box.
            # Looked up level by level: a walk of the whole tree takes
            # seconds under emulation.
            def top_level(name):
                for w in Widget(c.app.root).children():
                    if w.role() in (Atspi.Role.DIALOG, Atspi.Role.FRAME) and w.name() == name:
                        return w
                return None

            def about_entry():
                window = top_level("Wendrel")
                for menu in window.children() if window else []:
                    if menu.role() in (Atspi.Role.POPUP_MENU, Atspi.Role.MENU):
                        for item in menu.children():
                            if item.role() == Atspi.Role.MENU_ITEM \
                                    and item.name().startswith("バージョン情報 Wendrel"):
                                return item
                return None

            x, y, w, h = c.history.extents()
            c.desktop.xdotool("mousemove", x + w // 2, y + h // 2, "click", "3")
            try:
                entry = poll(about_entry, T_MENU, 0.2,
                             what="the About entry of the open context menu")
            except Timeout as e:
                window = top_level("Wendrel")
                shown = [(ch.role(), ch.name()) for ch in window.children()] if window else None
                raise CaseFailed("%s; the window's children: %r" % (e, shown))
            entry.do_action(0)
            poll(lambda: top_level("バージョン情報 Wendrel"), T_MENU, 0.2, what="the About box")
            c.desktop.key("Escape")
            poll(lambda: top_level("バージョン情報 Wendrel") is None, T_MENU, 0.2,
                 what="the About box to close")
            check(c.proc.poll() is None, "the console ended")

        if run.case("LANG=ja_JP.UTF-8: the board's CP932 text is shown", shown):
            run.case("LANG=ja_JP.UTF-8: typed Japanese reaches the board in CP932", typed)
            run.case("LANG=ja_JP.UTF-8: a character CP932 lacks is refused", refused)
        run.case("the context menu's About entry is reachable on the accessibility bus",
                 about_on_the_bus)
    finally:
        if c.proc.poll() is None and run.failed:
            show_output(c)
        c.kill()
        board.run("remove")


def session_close(run, desktop, board_tool, app_path, how):
    """A console connected to a board at start-up, closed another way."""
    board = Board(board_tool, "close")
    board.plug()
    board.run("start", "--echo")
    c = None
    try:
        c = Console(desktop, app_path, desktop.dir)

        def closes():
            c.wait_status(CONNECTED)
            if how == "close box":
                c.desktop.close_window(c.desktop.window_of(c.proc.pid))
            else:
                c.desktop.click(c.input)
                c.desktop.key("Escape")
            status = c.wait_exit()
            check(status is not None, "still running %d s after closing" % T_EXIT)
            check(status == 0, "exit status %d" % status)
        run.case("connected at start-up; %s ends the process with status 0" % how, closes)
    finally:
        if c:
            if c.proc.poll() is None:
                show_output(c)
            c.kill()
        board.run("remove")


def session_unplug_mid_write(run, desktop, board_tool, app_path):
    """A board that never reads is unplugged while sends wait for it: the
    console lets go of it at once and still closes cleanly."""
    board = Board(board_tool, "stuck")
    board.plug()  # no firmware: nothing reads the output reports
    c = Console(desktop, app_path, desktop.dir)
    try:
        def unplug_stuck():
            c.wait_status(CONNECTED)
            c.desktop.click(c.input)
            for i in range(1, 9):
                c.desktop.type("w%d" % i)
                c.desktop.key("Return")
            poll(lambda: c.input.text() == "", T_STATE, what="the input line to empty")
            board.run("unplug")
            c.wait_status(DISCONNECTED)
            c.answers()
            c.desktop.close_window(c.desktop.window_of(c.proc.pid))
            status = c.wait_exit()
            check(status is not None, "still running %d s after closing" % T_EXIT)
            check(status == 0, "exit status %d" % status)
        run.case("unplugging a board while sends wait for it; then the close box "
                 "ends the process", unplug_stuck)
    finally:
        if c.proc.poll() is None:
            show_output(c)
        c.kill()
        board.run("remove")


def run_sessions(title, sessions):
    """The command line of the desktop programs, then `sessions` (each
    called with the run, the desktop and the arguments) on one desktop;
    the exit status: 0 when every case passed."""
    p = argparse.ArgumentParser(description=title)
    p.add_argument("--app", required=True)
    p.add_argument("--board", default=os.environ.get("RIG_BOARD"),
                   help="the rig's board.py (default: $RIG_BOARD)")
    p.add_argument("--results", default=os.environ.get("E2E_CASE_RESULTS")
                   or os.environ.get("RIG_RESULTS") or ".",
                   help="where the screenshots go (default: $E2E_CASE_RESULTS)")
    args = p.parse_args()
    if not args.board:
        p.error("no --board and no RIG_BOARD")
    name = os.path.basename(sys.argv[0]).replace("_", " ").replace(".py", "")
    run = Run(args)
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))  # still clean up
    Board._tool = board_tool(args.board)
    Board._tool.call(["remove", "--all"])
    try:
        with Desktop() as desktop:
            for session in sessions:
                session(run, desktop, args)
    except (CaseFailed, Timeout) as e:
        print("%s: %s" % (name, e))
        return 1
    if run.failed:
        print("%s: %d case(s) failed: %s" % (name, len(run.failed), "; ".join(run.failed)))
        return 1
    print("%s: all cases passed" % name)
    return 0


def main():
    sessions = [
        lambda run, desktop, a: session_with_one_board(run, desktop, a.board, a.app, a.results),
        lambda run, desktop, a: session_japanese(run, desktop, a.board, a.app),
    ]
    for how in ("close box", "Escape"):
        sessions.append(lambda run, desktop, a, how=how:
                        session_close(run, desktop, a.board, a.app, how))
    sessions.append(lambda run, desktop, a: session_unplug_mid_write(run, desktop, a.board, a.app))
    return run_sessions(__doc__.split("\n\n")[0], sessions)


if __name__ == "__main__":
    sys.exit(main())
