#!/usr/bin/env python3
"""What becomes of a typed line in the Windows program under Wine, against
the virtual board in the rig's VM.

wine_send_e2e.py --windows-build DIR --prefix DIR --board BOARD_TOOL

The input line keeps what is typed through connect, unplug and replug; a
line that could not be sent stays (or comes back) and the status label
says why; a line meets the board's report before it goes: one typed
without a board is cut when a board with 8-byte reports connects, and so
is a recalled one. Runs on wine_e2e.py's helpers; each case prints PASS or
FAIL with its name.
"""
import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_e2e as w  # noqa: E402
from wine_e2e import (STATUS_CONNECTED, STATUS_NONE, T_STATE, Board, find, log,  # noqa: E402
                      result, start_desktop, text_of, wait_reports, wine_env)

NOT_SENT = "送信できませんでした"
NO_BOARD = NOT_SENT + ": 未接続"
CUT = "入力行を切り詰めました"
LONG = "abcdefghijkl"
# An 8-byte output report holds 7 characters and the terminator.
FITS = LONG[:7]


def shown(drv, what):
    """The status label's or the input line's text now."""
    ok, detail = drv.do(what, "0", "?") if what == "status" else drv.do("input")
    m = re.match(r'\w+ "(.*)"$', detail)
    return m.group(1) if m else None


def wait(predicate, seconds=T_STATE, step=0.3):
    deadline = time.monotonic() + seconds
    while True:
        value = predicate()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(step)


def case_not_sent(drv):
    ok0, _ = drv.do("status", str(T_STATE), STATUS_NONE)
    drv.do("keys", "keep me")
    drv.do("key", "1001", "ENTER")
    ok1, d1 = drv.do("status", str(T_STATE), NO_BOARD)
    ok2, d2 = drv.do("input-is", "5", "keep me")
    ok3, _ = drv.do("status", str(T_STATE), STATUS_NONE)  # the note ends
    drv.do("click", "1004")
    ok4, d4 = drv.do("status", str(T_STATE), NO_BOARD)
    ok5, d5 = drv.do("input-is", "5", "keep me")
    result(ok0 and ok1 and ok2 and ok3 and ok4 and ok5,
           "wine_send_without_a_board_keeps_the_line_and_says_why",
           "; ".join((d1, d2, d4, d5)))


def case_outlives_the_link(drv, board):
    board.run("plug")
    board.run("start")
    steps = [drv.do("status", str(T_STATE), STATUS_CONNECTED),
             drv.do("input-is", "5", "keep me")]
    board.run("unplug")
    steps += [drv.do("status", str(T_STATE), STATUS_NONE), drv.do("input-is", "5", "keep me")]
    board.run("replug")
    board.run("start")
    steps += [drv.do("status", str(T_STATE), STATUS_CONNECTED),
              drv.do("input-is", "5", "keep me")]
    board.run("clear")
    drv.do("key", "1001", "ENTER")
    got = wait_reports(board, 1)
    steps.append(drv.do("input-is", "10", ""))
    result(all(ok for ok, _ in steps) and [text_of(r) for r in got] == ["keep me"],
           "wine_send_typed_text_outlives_connect_unplug_replug",
           "; ".join(d for _, d in steps) + "; board got %r" % [text_of(r) for r in got])
    board.run("unplug")


def case_cut(drv, small):
    drv.do("status", str(T_STATE), STATUS_NONE)
    drv.do("clear-input")
    drv.do("keys", LONG)
    drv.do("key", "1001", "ENTER")  # not sent: kept, and recalled below
    ok0, d0 = drv.do("input-is", "5", LONG)
    small.run("plug", "--out", "8")
    small.run("start")
    ok1, d1 = drv.do("status", str(T_STATE), CUT)
    ok2, d2 = drv.do("input-is", "5", FITS)
    result(ok0 and ok1 and ok2, "wine_send_line_typed_without_a_board_is_cut_at_connect",
           "; ".join((d0, d1, d2)))

    drv.do("status", str(T_STATE), STATUS_CONNECTED)
    drv.do("clear-input")
    drv.do("key", "1001", "UP")
    ok1, d1 = drv.do("input-is", "5", FITS)
    ok2, d2 = drv.do("status", "5", CUT)
    small.run("clear")
    drv.do("key", "1001", "ENTER")
    got = wait_reports(small, 1)
    result(ok1 and ok2 and [text_of(r) for r in got] == [FITS] and len(got[0]) == 8,
           "wine_send_recalled_line_is_cut",
           "%s; %s; board got %r" % (d1, d2, got))


def case_late_failure(drv, small):
    """The firmware stops reading: the gadget takes a few reports, then a
    write waits until it times out. Lines go one by one until one comes
    back or finds the queue full; an emptied line then takes back the next
    to fail."""
    small.run("stop")
    drv.do("input-is", "10", "")
    sent, full = [], False
    for i in range(1, 16):
        if shown(drv, "input"):
            break
        line = "w%d" % i
        drv.do("keys", line)
        drv.do("key", "1001", "ENTER")

        def taken():
            return (shown(drv, "input") != line
                    or (shown(drv, "status") or "").startswith(NOT_SENT))
        wait(taken, 10, 0.1)
        if shown(drv, "input") == line:
            full = True
            break
        sent.append(line)
    started = time.monotonic()
    if shown(drv, "input") not in sent:
        drv.do("clear-input")
    back = wait(lambda: shown(drv, "input") in sent and shown(drv, "input"))
    status = wait(lambda: (shown(drv, "status") or "").startswith(NOT_SENT) and shown(drv, "status"))
    result(bool(back) and bool(status), "wine_send_write_never_taken_fails_late_and_comes_back",
           "%r back after %.1f s (%d lines left first%s); the label: %r"
           % (back, time.monotonic() - started, len(sent), ", queue full" if full else "",
              status))
    small.run("unplug")
    ok, detail = drv.do("status", str(T_STATE), STATUS_NONE)
    result(ok, "wine_send_unplug_while_writes_wait_shows_non_connections", detail)


def main():
    a, out_dir = w.parse_args()

    app = find(a.windows_build, "wendrel.exe")
    driver_exe = find(a.windows_build, "wendrel_driver.exe")
    if not app or not driver_exe:
        result(False, "wine_send_programs_built", "wendrel.exe or wendrel_driver.exe missing")
        return 1
    env = wine_env(a.prefix)
    procs = []
    board = Board(a.board, "ws1")
    small = Board(a.board, "ws8")
    wine_log = open(os.path.join(out_dir, "wine-send.log"), "w")
    try:
        start_desktop(env, procs, wine_log)
        # Standard error is the console's: its lines on sends not made.
        drv = w.start_console(app, driver_exe, procs, wine_log, "wine_send_window_opens")
        if not drv:
            return 1
        case_not_sent(drv)
        case_outlives_the_link(drv, board)
        case_cut(drv, small)
        case_late_failure(drv, small)
        wine_log.flush()
        with open(wine_log.name, errors="replace") as f:
            lines = [x for x in f.read().splitlines() if "was not sent" in x]
        result(any('"keep me" was not sent: no board is connected' in x for x in lines)
               and any('"Boot" was not sent' in x for x in lines),
               "wine_send_standard_error_says_what_was_not_sent", "%d lines" % len(lines))
        ok, detail = drv.do("close", "60")
        result(ok, "wine_send_quit_closes_the_window", detail)
        drv.close()
    except Exception as e:  # a broken step fails the case, never hangs it
        result(False, "wine_send_case_ran", repr(e))
    finally:
        w.end_wine(procs, env, wine_log, board, small)
    log("wine send cases failed: %s" % (", ".join(w.failures) or "none"))
    return 1 if w.failures else 0


if __name__ == "__main__":
    sys.exit(main())
