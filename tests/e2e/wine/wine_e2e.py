#!/usr/bin/env python3
"""The Windows program under Wine against the virtual board, in the rig's VM.

wine_e2e.py --windows-build DIR --prefix DIR --board BOARD_TOOL

wendrel.exe runs under Wine on Xvfb; Wine's winebus reaches the board
through the guest's hidraw node (udevd runs so that plug and unplug are
seen). A small Win32 program (wendrel_driver.exe) reads and drives the
window through its controls: the connection, typing and sending, the
history box's scrollback, arrival times, clearing, and recalling sent
lines; its bytes, events, saving and zoom (wine_history_cases.py). Each
case prints PASS or FAIL with its name.
"""
import argparse
import os
import re
import select
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "..",
                                "tools"))
import rig_client  # noqa: E402
from rig_client import read_line  # noqa: E402,F401 - for the cases that import this

STATUS_CONNECTED = "VID:0x04D8 / PID:0x003F"
STATUS_NONE = "Non Connections"
# Under emulation Wine's first start took 80 s on an idle machine and over
# 7 minutes on a loaded one; later steps take seconds.
T_FIRST_START = 540
T_STATE = 60
# A window that takes longer than this to answer one message counts as
# frozen (a blocked write would hold it for about 5 s).
RESPONSIVE_MS = 2000

failures = []


def log(msg):
    print(msg, flush=True)


def result(ok, name, detail=""):
    log(("PASS " if ok else "FAIL ") + name + (": " + detail if detail else ""))
    if not ok:
        failures.append(name)
    return ok


def find(top, name):
    for root, dirs, files in os.walk(top):
        dirs[:] = [d for d in dirs if d != "wineprefix"]
        if name in files:
            return os.path.join(root, name)
    return None


class Board(rig_client.Board):
    """The virtual board (rig_client.Board), 20 s for each command."""

    def __init__(self, tool, name="w1"):
        super().__init__(tool, name, timeout=20)


class Session:
    """A Windows program under Wine that answers one command per line with
    one reply line: "ok DETAIL" or anything else for a failure."""

    def __init__(self, wine, argv, out, name):
        self.name = name
        self.last = ""
        self.p = subprocess.Popen([wine] + argv, stdin=subprocess.PIPE,
                                  stdout=subprocess.PIPE, stderr=out, text=True, bufsize=1)

    def send(self, line):
        self.last = line
        self.p.stdin.write(line + "\n")
        self.p.stdin.flush()

    def reply(self, timeout):
        """(ok, detail) of the reply to the last command sent."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            ready, _, _ = select.select([self.p.stdout], [], [], 1)
            if ready:
                line = self.p.stdout.readline()
                if not line:
                    return False, self.name + " ended"
                line = line.rstrip("\n")
                log("  %s: %s -> %s" % (self.name, self.last, line))
                ok, _, detail = line.partition(" ")
                return ok == "ok", detail
        return False, "no reply within %d s" % timeout

    def do(self, *words, timeout=T_STATE + 60):
        self.send(" ".join(words))
        return self.reply(timeout)

    def close(self):
        try:
            self.p.stdin.close()
            self.p.wait(timeout=60)
        except Exception:
            self.p.kill()


class Driver(Session):
    """wendrel_driver.exe in session mode: it reads and works the console's
    window."""

    def __init__(self, wine, exe, out):
        super().__init__(wine, [exe, "session"], out, "driver")


def wine_env(prefix):
    """This process's own environment made Wine's (rig_client.wine_env): the
    programs it starts inherit it."""
    return rig_client.wine_env(prefix, env=os.environ)


def start_desktop(env, procs, out):
    """udev, through which plug and unplug reach Wine, and an X server; its
    display goes into env, its process into procs."""
    rig_client.start_udev(out)
    xvfb, env["DISPLAY"] = rig_client.start_xvfb(stdout=out, stderr=out, timeout=T_STATE)
    procs.append(xvfb)


def wait_reports(board, count, seconds=T_STATE):
    deadline = time.monotonic() + seconds
    got = board.received()
    while len(got) < count and time.monotonic() < deadline:
        time.sleep(0.2)
        got = board.received()
    return got


def text_of(report):
    """The text of an output report as the board reads it (no report ID)."""
    return report.split(b"\0", 1)[0].decode("ascii", "replace")


# --- the history box's scrollback, times, recall and clear ---

def view_of(drv):
    """The history box's view: (first row in view, last row in view, rows,
    scroll bar shown)."""
    ok, detail = drv.do("view")
    m = re.match(r'first "(.*)" last "(.*)" rows (\d+) bar (\d)', detail) if ok else None
    if not m:
        m2 = re.match(r"empty rows (\d+) bar (\d)", detail) if ok else None
        return (None, None, int(m2.group(1)), m2.group(2) == "1") if m2 else None
    return m.group(1), m.group(2), int(m.group(3)), m.group(4) == "1"


def case_scrollback(drv, board):
    """Scrolled up, the rows in view stay while rows arrive; back at the
    bottom the box follows again."""
    board.run("send", *["sb %d" % i for i in range(1, 41)])
    ok, _ = drv.do("history", str(T_STATE), "sb 40")
    following = view_of(drv)
    if not result(ok and following and following[1] == "sb 40" and following[3],
                  "wine_history_follows_with_a_scroll_bar", "view %r" % (following,)):
        return
    drv.do("scroll", "up")
    up = view_of(drv)
    board.run("send", *["sb %d" % i for i in range(41, 46)])
    ok, _ = drv.do("history", str(T_STATE), "sb 45")
    kept = view_of(drv)
    result(ok and up and kept and up[1] != "sb 40" and kept[:2] == up[:2],
           "wine_scrolled_up_the_view_stays", "view %r, after 5 rows %r" % (up, kept))
    drv.do("scroll", "bottom")
    board.run("send", "sb 46")
    ok, _ = drv.do("history", str(T_STATE), "sb 46")
    back = view_of(drv)
    result(ok and back and back[1] == "sb 46", "wine_at_the_bottom_it_follows_again",
           "view %r" % (back,))


TIME = re.compile(r"^\d\d:\d\d:\d\d\.\d\d\d  ")


def history_rows(drv):
    ok, detail = drv.do("history", "0", "")
    m = re.match(r'history "(.*)"$', detail)
    return m.group(1).split("\\n") if m else []


def case_times(drv, board):
    """The menu's times entry puts each row's arrival time in front of it,
    rows that come after too; again, and they go."""
    board.run("send", "timed 1")
    drv.do("history", str(T_STATE), "timed 1")
    ok, detail = drv.do("menu", "T")
    board.run("send", "timed 2")
    rows = []
    deadline = time.monotonic() + T_STATE
    while time.monotonic() < deadline:
        rows = history_rows(drv)
        if rows and rows[-1].endswith("  timed 2"):
            break
        time.sleep(0.5)
    result(ok and len(rows) > 1 and all(TIME.match(r) for r in rows)
           and rows[-2].endswith("  timed 1"),
           "wine_times_on_every_row", "%s; last rows %r" % (detail, rows[-2:]))
    ok, detail = drv.do("menu", "T")
    rows = history_rows(drv)
    result(ok and rows[-2:] == ["timed 1", "timed 2"], "wine_times_off_again",
           "last rows %r" % rows[-2:])


def case_recall(drv, board):
    """Up and Down bring back the lines sent; a recalled line is sent as it
    shows, and is then the newest."""
    board.run("clear")
    drv.do("type", "first-cmd")
    drv.do("type", "second-cmd")
    drv.do("key", "1001", "UP")
    ok1, d1 = drv.do("input-is", "10", "second-cmd")
    drv.do("key", "1001", "UP")
    ok2, d2 = drv.do("input-is", "10", "first-cmd")
    drv.do("key", "1001", "DOWN")
    ok3, d3 = drv.do("input-is", "10", "second-cmd")
    result(ok1 and ok2 and ok3, "wine_up_and_down_recall", "; ".join((d1, d2, d3)))
    drv.do("key", "1001", "UP")
    drv.do("input-is", "10", "first-cmd")
    drv.do("key", "1001", "ENTER")
    ok, detail = drv.do("input-is", "10", "")
    got = wait_reports(board, 3)
    sent = [text_of(r) for r in got]
    drv.do("key", "1001", "UP")
    ok2, detail2 = drv.do("input-is", "10", "first-cmd")
    result(ok and sent == ["first-cmd", "second-cmd", "first-cmd"] and ok2,
           "wine_recalled_line_is_sent_and_recalled_again",
           "board got %r; %s" % (sent, detail2))
    drv.do("key", "1001", "DOWN")


def case_clear(drv, board):
    """The menu's clear entry empties the box; the next row shows alone, and
    the box follows."""
    ok, detail = drv.do("menu", "L")
    empty = view_of(drv)
    board.run("send", "after clear")
    ok2, detail2 = drv.do("history", str(T_STATE), "after clear")
    rows = history_rows(drv)
    result(ok and empty and empty[2] == 0 and not empty[3] and ok2 and rows == ["after clear"],
           "wine_clear_empties_the_history", "view %r; rows %r" % (empty, rows))


def start_console(app, driver_exe, procs, wine_log, name, timeout=T_FIRST_START):
    """wendrel.exe started under Wine (its output in `wine_log`, its process
    added to `procs`) and a driver for it once its window is up: the driver,
    or None when no window came (the case `name` says so)."""
    wine = rig_client.wine_loader()
    start = time.monotonic()
    procs.append(subprocess.Popen([wine, app], stdout=wine_log, stderr=wine_log))
    drv = Driver(wine, driver_exe, wine_log)
    ok, detail = drv.do("window", str(timeout), timeout=timeout + 120)
    log("wine: window after %.0f s" % (time.monotonic() - start))
    if result(ok, name, detail):
        return drv
    drv.close()
    return None


def end_wine(procs, env, wine_log, *boards):
    """A Wine case's end: its programs and Wine's server gone, its boards
    removed."""
    for p in reversed(procs):
        if p.poll() is None:
            p.kill()
    subprocess.run(["wineserver", "-k"], env=env, timeout=60,
                   stdout=wine_log, stderr=wine_log)
    for board in boards:
        board.run("remove", check=False)


def parse_args():
    """The Wine cases' command line; and where their files go."""
    ap = argparse.ArgumentParser()
    ap.add_argument("--windows-build", required=True)
    ap.add_argument("--prefix", required=True)
    ap.add_argument("--board", required=True)
    return ap.parse_args(), os.environ.get("E2E_CASE_RESULTS", "/tmp")


def main():
    a, out_dir = parse_args()

    app = find(a.windows_build, "wendrel.exe")
    driver_exe = find(a.windows_build, "wendrel_driver.exe")
    if not app or not driver_exe:
        result(False, "wine_programs_built", "wendrel.exe or wendrel_driver.exe missing")
        return 1
    env = wine_env(a.prefix)

    procs = []
    board = Board(a.board)
    wine_log = open(os.path.join(out_dir, "wine.log"), "w")
    try:
        start_desktop(env, procs, wine_log)

        log("board: " + board.run("plug").strip())
        board.run("start")  # firmware that reads and records output reports

        drv = start_console(app, driver_exe, procs, wine_log, "wine_window_opens")
        if not drv:
            return 1

        ok, detail = drv.do("status", str(T_STATE), STATUS_CONNECTED)
        result(ok, "wine_connects_by_itself", detail)

        board.run("send", "hello from the board", "second line")
        ok1, d1 = drv.do("history", str(T_STATE), "hello from the board")
        ok2, d2 = drv.do("history", str(T_STATE), "second line")
        result(ok1 and ok2, "wine_shows_board_lines", d2)

        board.run("clear")
        ok, detail = drv.do("type", "typed-line")
        got = wait_reports(board, 1)
        result(ok and len(got) == 1 and text_of(got[0]) == "typed-line"
               and len(got[0]) == 64 and not any(got[0][len("typed-line"):]),
               "wine_typed_line_is_one_report",
               "%s; board got %r" % (detail, [text_of(r) for r in got]))

        board.run("clear")
        ok, detail = drv.do("click", "1004")
        got = wait_reports(board, 1)
        time.sleep(1)
        got = board.received()
        result(ok and len(got) == 1 and text_of(got[0]) == "Boot",
               "wine_boot_is_one_report", "board got %r" % [text_of(r) for r in got])

        # Imported here: it imports this module, which is whole by now.
        from wine_history_cases import case_bytes, case_events, case_save, case_zoom
        for case in (case_scrollback, case_times, case_recall, case_clear, case_bytes,
                     case_events, case_save, case_zoom):
            case(drv, board)

        board.run("unplug")
        ok, detail = drv.do("status", str(T_STATE), STATUS_NONE)
        result(ok, "wine_unplug_shows_non_connections", detail)

        board.run("replug")
        board.run("start")
        ok, detail = drv.do("status", str(T_STATE), STATUS_CONNECTED)
        board.run("send", "after replug")
        ok2, detail2 = drv.do("history", str(T_STATE), "after replug")
        result(ok and ok2, "wine_reconnects_on_replug", detail2)

        # A board that stops reading: the gadget queues a few reports, then
        # every write would block. The window must keep answering.
        board.run("stop")
        worst = 0.0
        all_typed = True
        for i in range(8):
            t0 = time.monotonic()
            ok, _ = drv.do("type", "stalled-%d" % i)
            all_typed = all_typed and ok
            worst = max(worst, time.monotonic() - t0)
        ok, detail = drv.do("responsive", str(RESPONSIVE_MS))
        ok2, detail2 = drv.do("click", "1004")
        ok3, detail3 = drv.do("responsive", str(RESPONSIVE_MS))
        # Not every line need leave the input line: a write that times out
        # brings its line back, and one behind a full queue stays.
        result(ok and ok2 and ok3, "wine_stalled_board_does_not_freeze",
               "%s; %s (slowest type command %.1f s, Wine start included; all lines "
               "left the input line: %s)" % (detail, detail3, worst, all_typed))

        ok, detail = drv.do("close", "60")
        result(ok, "wine_quit_closes_the_window", detail)
        drv.close()
        try:
            procs[-1].wait(timeout=60)
            result(True, "wine_program_ends", "exit %d" % procs[-1].returncode)
        except subprocess.TimeoutExpired:
            result(False, "wine_program_ends", "still running 60 s after the window closed")
    except Exception as e:  # a broken step fails the case, never hangs it
        result(False, "wine_case_ran", repr(e))
    finally:
        end_wine(procs, env, wine_log, board)
    log("wine cases failed: %s" % (", ".join(failures) or "none"))
    return 1 if failures else 0


if __name__ == "__main__":
    # Run as the module wine_e2e, the one the case modules import: one list
    # of failures, not a second copy of this file's.
    import wine_e2e
    sys.exit(wine_e2e.main())
