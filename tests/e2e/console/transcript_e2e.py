#!/usr/bin/python3
"""End-to-end cases of the history box's views on the rig: the bytes of
each report in hexadecimal, and the console's own events (connected,
sent, not sent, Boot, disconnected) among the rows, with and without
times, chosen from the box's context menu and read back over AT-SPI. Runs
like history_e2e.py, on the same helpers:

    transcript_e2e.py --app BUILD/src/app/wendrel --board tools/board/board.py
                      [--results DIR]

Screenshots of both views with times (transcript-bytes.png,
transcript-events.png) go to the results folder."""

import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_harness import (CONNECTED, T_STATE, Board, Console, check,  # noqa: E402
                             run_session)
from console_harness import end_session  # noqa: E402
from desktop import poll  # noqa: E402
from history_e2e import choose, open_history_menu  # noqa: E402

NONE = "Non Connections"
TIME = re.compile(r"^\d\d:\d\d:\d\d\.\d\d\d  ")
TIMES = "時刻を表示(T)"
BYTES = "16進表示(X)"
EVENTS = "接続と送信を表示(E)"


def as_sent(lines, *sent):
    """`lines`, where a line in `sent` that the board took is noted as not
    sent, as sent: a write still pending when the console stops waiting for
    it is noted so (under emulation, writes can take that long)."""
    out = []
    for line in lines:
        for text in sent:
            if line == "── 送信できませんでした: %s ──" % text:
                print("  note: %r was still pending when noted" % text)
                line = "→ " + text
        out.append(line)
    return out


def untimed(lines):
    """The rows without their times; fails unless each has one."""
    for line in lines:
        check(TIME.match(line), "no time before %r" % line)
    return [TIME.sub("", line) for line in lines]


def session(run, desktop, board_tool, app_path, results):
    board = Board(board_tool, "transcript")
    board.plug()
    board.run("start", "--echo")  # every line sent comes back as a row
    c = Console(desktop, app_path, desktop.dir)
    os.makedirs(results, exist_ok=True)

    def shot(name):
        # No caret in the box and no pointer over it.
        c.desktop.click(c.input)
        c.desktop.xdotool("mousemove", 0, 0)
        path = os.path.join(results, name)
        c.desktop.screenshot(path, c.app.window().extents())
        return path

    def wait_lines(want, what):
        try:
            poll(lambda: c.history_lines() == want, T_STATE, what=what)
        except Exception:
            check(False, "%s: the box shows %r" % (what, c.history_lines()))

    try:
        def entries_off():
            c.wait_status(CONNECTED)
            listed, _ = open_history_menu(c)
            c.desktop.key("Escape")
            names = [e[0] for e in listed]
            at = names.index(TIMES) if TIMES in names else -1
            check(at >= 0 and names[at:at + 3] == [TIMES, BYTES, EVENTS],
                  "the menu reads %r" % names)
            check(not any(e[2] for e in listed if e[0] in (BYTES, EVENTS)),
                  "a view entry is checked at the start: %r" % listed)

        def bytes_as_sent():
            board.run("send-hex", "4869", "48690078", "1b5b316d")
            c.wait_last_line("\u241b[1m")
            choose(c, BYTES)
            hexes = ["48 69", "48 69 00 78", "1B 5B 31 6D"]
            wait_lines(hexes, "the bytes")
            choose(c, TIMES)
            poll(lambda: c.history_lines() and TIME.match(c.history_lines()[0]), T_STATE,
                 what="times before the bytes")
            check(untimed(c.history_lines()) == hexes, "with times: %r" % c.history_lines())
            path = shot("transcript-bytes.png")
            choose(c, BYTES)
            poll(lambda: untimed(c.history_lines())[-1:] == ["\u241b[1m"], T_STATE,
                 what="the text back")
            # The text ends at the first zero byte, as ever.
            check(untimed(c.history_lines()) == ["Hi", "Hi", "\u241b[1m"],
                  "text again: %r" % c.history_lines())
            return path

        def events_among_rows():
            c.type_line("hello")
            c.desktop.key("Return")
            poll(lambda: untimed(c.history_lines())[-1:] == ["hello"], T_STATE,
                 what="hello echoed")
            c.desktop.click(c.button("Bootloder"))
            poll(lambda: untimed(c.history_lines())[-1:] == ["Boot"], T_STATE,
                 what="Boot echoed")
            board.run("unplug")
            c.wait_status(NONE)
            c.type_line("lost")
            c.desktop.key("Return")
            board.run("replug")
            board.run("start", "--echo")
            c.wait_status(CONNECTED)
            before = untimed(c.history_lines())
            choose(c, EVENTS)
            rows = ["Hi", "Hi", "\u241b[1m"]
            want = (["── 接続しました ──"] + rows + ["→ hello", "hello", "→ Boot", "Boot",
                                                 "── 切断されました ──",
                                                 "── 送信できませんでした: lost ──",
                                                 "── 接続しました ──"])
            poll(lambda: len(c.history_lines()) == len(want), T_STATE, what="the events")
            check(as_sent(untimed(c.history_lines()), "hello", "Boot") == want,
                  "with events: %r" % c.history_lines())
            path = shot("transcript-events.png")
            choose(c, EVENTS)
            poll(lambda: len(c.history_lines()) == len(before), T_STATE,
                 what="the events gone")
            check(untimed(c.history_lines()) == before, "without events: %r" % c.history_lines())
            return path

        steps = [
            ("the view entries are checks, off at the start", entries_off),
            ("16進表示 shows each report's bytes as sent, times first", bytes_as_sent),
            ("接続と送信を表示 puts connects and sends among the rows where they happened",
             events_among_rows),
        ]
        run.steps("transcript", steps, needed=[entries_off])
    finally:
        end_session(run, c, board)


def main():
    return run_session(__doc__.split("\n\n")[0], session)


if __name__ == "__main__":
    sys.exit(main())
