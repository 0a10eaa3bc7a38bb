"""What the desktop cases share: the console program as a person sees it
over the accessibility bus (Console), the virtual board (Board), a run of
cases that prints each result (Run), and the command line and run of
sessions both programs take (run_sessions). Runs as root inside the rig's
VM."""

import argparse
import os
import signal
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from desktop import Application, Atspi, Desktop, Timeout, poll  # noqa: E402
import rig_client  # noqa: E402 - tools/, on the path through desktop
from rig_client import board_call, board_tool  # noqa: E402,F401 - for the cases

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


class Board(rig_client.Board):
    """One virtual board (rig_client.Board); `Board._tool` is the board
    tool's module, for a case that calls it directly."""

    _tool = None

    def __init__(self, tool, name):
        super().__init__(tool, name)
        Board._tool = board_tool(tool)


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

    def receive(self, board, rows, lot=40):
        """`rows` sent by `board` a lot at a time, each lot shown before the
        next goes. The kernel keeps 64 reports for a reader; a guest its
        host starves may not run the console's reader before more come, and
        a case about the box, not the burst, must not lose any."""
        for i in range(0, len(rows), lot):
            board.send(*rows[i:i + lot])
            self.wait_last_line(rows[min(i + lot, len(rows)) - 1])

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


def end_session(run, console, board):
    """A session's end: the console's output where it died or a case
    failed; the console and the board gone."""
    if console.proc.poll() is not None or run.failed:
        show_output(console)
    console.kill()
    board.run("remove")


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

    def steps(self, label, steps, needed=(), only=None):
        """Each (name, fn) of `steps` as the case "label: name", in order;
        after a failed one that is `needed`, the rest (which build on it)
        are not run. With `only` (function names), the others are passed
        over, those needed aside."""
        for name, fn in steps:
            if only and fn not in needed and fn.__name__ not in only:
                continue
            if not self.case("%s: %s" % (label, name), fn) and fn in needed:
                return


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
    board_call("remove", "--all", tool=args.board, check=False)
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


def run_session(title, session):
    """run_sessions with one session, called with the run, the desktop, the
    board tool, the program and the results folder."""
    return run_sessions(title, [
        lambda run, desktop, a: session(run, desktop, a.board, a.app, a.results)])
