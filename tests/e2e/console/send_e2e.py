#!/usr/bin/python3
"""End-to-end cases of what becomes of a typed line on the rig: the input
line is the user's through every change of the link, a line that could
not be sent stays (or comes back) and the window says why, and a line
meets the board's report before it goes. Runs like console_e2e.py, on the
same helpers (console_harness.py):

    send_e2e.py --app BUILD/src/app/wendrel --board tools/board/board.py
                [--results DIR]

The console runs under a Japanese locale (code page 932; the locale need
not be installed), as on a Japanese Windows PC, so that a kana takes two
bytes of the board's 64-byte report."""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_harness import (CONNECTED, DISCONNECTED, T_STATE, Board, Console,  # noqa: E402
                             check, run_session)
from console_harness import end_session  # noqa: E402
from desktop import poll  # noqa: E402

NOT_SENT = "送信できませんでした"
NO_BOARD = NOT_SENT + ": 未接続"
TIMED_OUT = NOT_SENT + ": 時間切れ"
QUEUE_FULL = NOT_SENT + ": 満杯"
CUT = "入力行を切り詰めました"
KANA40 = "あ" * 40
KANA31 = "あ" * 31


def session(run, desktop, board_tool, app_path, results):
    board = Board(board_tool, "send")
    env = dict(desktop.env)
    for name in ("LC_ALL", "LC_CTYPE", "LANGUAGE"):
        env.pop(name, None)
    env["LANG"] = "ja_JP.UTF-8"
    c = Console(desktop, app_path, desktop.dir, env)
    os.makedirs(results, exist_ok=True)

    def status_is(text):
        c.wait_status(text)

    def input_stays(text, what):
        check(c.input.text() == text, "%s: the input line shows %r" % (what, c.input.text()))

    def log_lines(part):
        return [line for line in c.output().splitlines() if part in line]

    try:
        def not_sent_without_a_board():
            status_is(DISCONNECTED)
            c.type_line("keep me")
            c.wait_input("keep me")
            c.desktop.key("Return")
            status_is(NO_BOARD)
            input_stays("keep me", "after Enter")
            # The link state stays readable on the label's tip.
            tip = c.status.description()
            check(DISCONNECTED in tip, "the label's tip reads %r" % tip)
            c.desktop.xdotool("mousemove", 0, 0)
            c.desktop.screenshot(os.path.join(results, "send-not-sent.png"))
            poll(lambda: log_lines('"keep me" was not sent: no board is connected'),
                 T_STATE, what="the line on standard error")
            # Back to the link state after a few seconds.
            started = time.monotonic()
            status_is(DISCONNECTED)
            c.desktop.click(c.button("Bootloder"))
            status_is(NO_BOARD)
            input_stays("keep me", "after Bootloder")
            poll(lambda: log_lines('"Boot" was not sent'), T_STATE,
                 what="Boot's line on standard error")
            return "the note stood %.1f s" % (time.monotonic() - started)

        def typed_text_outlives_the_link():
            board.plug()
            board.run("start")
            status_is(CONNECTED)
            input_stays("keep me", "after the connect")
            board.run("unplug")
            status_is(DISCONNECTED)
            input_stays("keep me", "after the unplug")
            board.run("replug")
            board.run("start")
            status_is(CONNECTED)
            input_stays("keep me", "after the replug")
            board.run("clear")
            c.desktop.click(c.input)
            c.desktop.key("Return")
            poll(board.received, T_STATE, 0.1, what="an output report")
            got = [r.rstrip(b"\0") for r in board.received()]
            check(got == [b"keep me"], "the board received %r" % got)
            c.wait_input("")

        def typed_without_a_board_is_cut_at_connect():
            board.run("unplug")
            status_is(DISCONNECTED)
            c.desktop.click(c.input)
            c.desktop.type_unicode(KANA40)
            c.wait_input(KANA40)
            # Sent while no board is there: kept, and recalled below.
            c.desktop.key("Return")
            status_is(NO_BOARD)
            input_stays(KANA40, "after Enter without a board")
            board.run("replug")
            board.run("start")
            status_is(CUT)
            input_stays(KANA31, "after the connect")
            tip = c.status.description()
            check(" 31 " in tip and CONNECTED in tip, "the label's tip reads %r" % tip)
            c.desktop.xdotool("mousemove", 0, 0)
            c.desktop.screenshot(os.path.join(results, "send-cut-at-connect.png"))
            status_is(CONNECTED)

        def recalled_line_is_cut():
            c.desktop.click(c.input)
            c.clear_input()
            c.desktop.key("Up")
            c.wait_input(KANA31)
            status_is(CUT)
            board.run("clear")
            c.desktop.key("Return")
            poll(board.received, T_STATE, 0.1, what="an output report")
            got = board.received()
            check(got == [KANA31.encode("cp932").ljust(64, b"\0")],
                  "the board received %r" % [r.rstrip(b"\0") for r in got])
            c.wait_input("")

        def a_write_the_board_never_takes_comes_back():
            # The firmware stops reading: the gadget takes a few reports,
            # then each write waits in the kernel until it times out (5 s).
            # Lines go one by one, each once the last has left the input
            # line, until one comes back or finds the queue full.
            board.run("stop")
            c.desktop.click(c.input)
            sent, full = [], False
            for i in range(1, 16):
                if c.input.text():
                    break
                line = "w%d" % i
                c.desktop.type(line)
                c.desktop.key("Return")
                poll(lambda: c.input.text() != line or c.status.text() == QUEUE_FULL,
                     T_STATE, 0.05, what="Enter taken")
                if c.input.text() == line:
                    full = True
                    break
                sent.append(line)
            started = time.monotonic()
            if c.input.text() not in sent:
                # The line that found the queue full is the user's: once it
                # is emptied, the next write to time out brings its own back
                # (at once, where one timed out as it was emptied).
                c.desktop.key("ctrl+a", "BackSpace")
                poll(lambda: c.input.text() == "" or c.input.text() in sent, T_STATE,
                     what="an empty input line, or a line back in it")
            poll(lambda: c.input.text() in sent, T_STATE, 0.1,
                 what="a line that timed out back in the input line")
            back = c.input.text()
            status_is(TIMED_OUT)
            poll(lambda: log_lines("was not sent: the board did not take the report in time"),
                 T_STATE, what="the timeout on standard error")
            board.run("unplug")
            status_is(DISCONNECTED)
            input_stays(back, "after the unplug")
            return "%r came back %.1f s later; %d line(s) left the input line%s" % (
                back, time.monotonic() - started, len(sent),
                ", then the queue was full" if full else "")

        steps = [
            ("Enter and Bootloder without a board keep the line and say why",
             not_sent_without_a_board),
            ("typed text outlives connect, unplug and replug", typed_text_outlives_the_link),
            ("40 kana typed without a board become 31 when it connects",
             typed_without_a_board_is_cut_at_connect),
            ("a recalled line is cut to the board's report", recalled_line_is_cut),
            ("a write the board never takes fails late and its line comes back",
             a_write_the_board_never_takes_comes_back),
        ]
        run.steps("send", steps, needed=[fn for _, fn in steps])
    finally:
        end_session(run, c, board)


def main():
    return run_session(__doc__.split("\n\n")[0], session)


if __name__ == "__main__":
    sys.exit(main())
