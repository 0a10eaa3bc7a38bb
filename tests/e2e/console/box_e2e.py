#!/usr/bin/python3
"""End-to-end cases of the history box's positions on the rig: where
assistive technology is told each character is (AT-SPI Text: character
extents, offset at a point, range extents) against where the rows are
drawn on the screen, following the newest row, scrolled up, zoomed and
with times shown. Runs like history_e2e.py, on the same helpers:

    box_e2e.py --app BUILD/src/app/wendrel --board tools/board/board.py
               [--results DIR]

A screenshot of the zoomed box goes to the results folder."""

import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_harness import (CONNECTED, T_STATE, Board, Console, check,  # noqa: E402
                             run_session)
from console_harness import end_session  # noqa: E402
from desktop import Atspi, poll  # noqa: E402
from history_e2e import Box, choose  # noqa: E402

ROWS = 60
# Ink: darker than the box's background and its antialiased edges.
DARK = 3 * 160


def row_text(i):
    # Rows of different lengths, so that a row's extents are its own.
    return "row %02d %s" % (i, "WMxi" * (1 + i % 5))


class Positions:
    """The box's text as AT-SPI gives it, and where it says it is."""

    def __init__(self, console):
        self.c = console
        self.obj = console.history.obj

    def row_starts(self):
        text = self.c.history.text()
        starts = [0] + [i + 1 for i, ch in enumerate(text) if ch == "\n"]
        return text, starts

    def extents(self, offset):
        return self.c.history.character_extents(offset)

    def range_extents(self, start, end):
        r = Atspi.Text.get_range_extents(self.obj, start, end, Atspi.CoordType.SCREEN)
        return r.x, r.y, r.width, r.height

    def offset_at(self, x, y):
        return Atspi.Text.get_offset_at_point(self.obj, x, y, Atspi.CoordType.SCREEN)


def text_area(c):
    x, y, w, h = c.history.extents()
    right = x + w - 3
    bar = c.history_scroll_bar()
    if bar:
        right = bar.extents()[0] - 1
    return x + 3, y + 3, right - x - 3, h - 6


def ink_rows(c, area):
    """The screen rows of the text area that hold ink."""
    w, h, rows = c.desktop.pixels(area)
    inked = []
    for dy, line in enumerate(rows):
        for i in range(0, len(line), 3):
            if line[i] + line[i + 1] + line[i + 2] < DARK:
                inked.append(area[1] + dy)
                break
    return inked


def check_positions(c, box, what):
    """Rows in view are where the scroll bar says, drawn where AT-SPI says;
    rows out of view are out of the box; offset at a point and range
    extents agree. Returns the row height."""
    pos = Positions(c)
    text, starts = pos.row_starts()
    n = len(starts)
    value, maximum = box.position()
    fitting = n - maximum
    area = text_area(c)
    ax, ay, aw, ah = area
    rects = {}
    for row in range(max(0, value - 2), min(n, value + fitting + 2)):
        rects[row] = pos.extents(starts[row])
    shown = [r for r in range(value, value + fitting)]
    heights = set()
    for row in shown:
        x, y, w, h = rects[row]
        check(w > 0 and h > 0, "%s: row %d has extents %r" % (what, row, rects[row]))
        check(ax - 2 <= x <= ax + 8 and ay - 2 <= y and y + h <= ay + ah + 2,
              "%s: row %d (in view) at %r, the text area is %r" % (what, row, rects[row], area))
        heights.add(h)
    first = rects[value]
    check(first[1] <= ay + 4, "%s: the first row in view (%d) is at y %d, the box's text at %d"
          % (what, value, first[1], ay))
    for row in shown[1:]:
        step = rects[row][1] - rects[row - 1][1]
        check(abs(step - rects[row - 1][3]) <= 1,
              "%s: row %d is %d px below row %d, rows are %d px high"
              % (what, row, step, row - 1, rects[row - 1][3]))
    # (Row value + fitting may show in part.)
    for row in (value - 1, value + fitting + 1):
        if 0 <= row < n and row in rects:
            x, y, w, h = rects[row]
            check(y + h <= ay + 2 or y >= ay + ah - 2 or h <= 0,
                  "%s: row %d (out of view) at %r, inside %r" % (what, row, rects[row], area))
    # Every screen row with ink is inside a row that AT-SPI places there.
    bands = [(rects[r][1], rects[r][1] + rects[r][3]) for r in shown]
    partial = value + fitting
    if partial < n:
        bands.append((rects[partial][1], rects[partial][1] + rects[partial][3]))
    stray = [y for y in ink_rows(c, area) if not any(a <= y < b for a, b in bands)]
    check(not stray, "%s: ink at screen rows %r, outside every row's extents %r"
          % (what, stray[:8], bands))
    # Each row in view has ink where its characters are said to be.
    w, h, pixels = c.desktop.pixels(area)
    for row in shown:
        end = starts[row + 1] - 1 if row + 1 < n else len(text)
        x, y, rw, rh = pos.range_extents(starts[row], end)
        check(rw > 0, "%s: row %d's range extents %r" % (what, row, (x, y, rw, rh)))
        last = pos.extents(end - 1)
        ending = pos.extents(end)
        # Qt's bridge takes in the character at the range's end (here the
        # line break) too.
        check(min(abs((x + rw) - (last[0] + last[2])), abs((x + rw) - (ending[0] + ending[2])))
              <= 1 and x == rects[row][0],
              "%s: row %d's range %r does not span its characters (%r .. %r)"
              % (what, row, (x, y, rw, rh), rects[row], last))
        inked = False
        for yy in range(max(y, ay), min(y + rh, ay + ah)):
            line = pixels[yy - ay]
            for xx in range(max(x, ax), min(x + rw, ax + aw)):
                i = (xx - ax) * 3
                if line[i] + line[i + 1] + line[i + 2] < DARK:
                    inked = True
                    break
            if inked:
                break
        check(inked, "%s: no ink where row %d is said to be: %r" % (what, row, (x, y, rw, rh)))
    # The offset at a character's middle is that character.
    for row in (shown[0], shown[len(shown) // 2], shown[-1]):
        for k in (0, 4, 7):
            offset = starts[row] + k
            x, y, w, h = pos.extents(offset)
            got = pos.offset_at(x + w // 2, y + h // 2)
            check(got == offset, "%s: the offset at the middle of %d (%r) is %d"
                  % (what, offset, (x, y, w, h), got))
    # Past a row's end and outside the box, no character.
    x, y, w, h = rects[shown[0]]
    check(pos.offset_at(ax + aw - 2, y + h // 2) == -1,
          "%s: a character past the end of row %d" % (what, shown[0]))
    check(pos.offset_at(ax - 20, ay - 20) == -1, "%s: a character outside the box" % what)
    return max(heights), value, maximum


def session(run, desktop, board_tool, app_path, results):
    board = Board(board_tool, "boxpos")
    board.plug()
    board.run("start")
    c = Console(desktop, app_path, desktop.dir)
    box = Box(c)
    os.makedirs(results, exist_ok=True)
    state = {}
    try:
        def away():
            c.desktop.click(c.input)
            time.sleep(0.3)

        def following():
            c.wait_status(CONNECTED)
            board.send(*[row_text(i) for i in range(1, ROWS + 1)])
            c.wait_last_line(row_text(ROWS))
            away()
            c.newest_line_in_sight()
            h, value, maximum = check_positions(c, box, "following")
            state["height"] = h
            return "rows %d px high, the view at %d of %d" % (h, value, maximum)

        def scrolled():
            c.desktop.click(c.history)
            c.desktop.key("Prior", "Prior")
            away()
            value, maximum = poll(lambda: box.position()[0] < box.position()[1] - 5
                                  and box.position(), T_STATE, what="the view to scroll up")
            h, value, maximum = check_positions(c, box, "scrolled")
            return "the view at %d of %d" % (value, maximum)

        def zoomed():
            c.desktop.click(c.history)
            before = box.position()
            c.desktop.key("ctrl+plus", "ctrl+plus", "ctrl+plus")
            away()
            poll(lambda: Positions(c).extents(0)[3] > state["height"], T_STATE,
                 what="the rows to grow")
            h, value, maximum = check_positions(c, box, "zoomed and scrolled")
            check(value == before[0], "the first row in view went from %d to %d"
                  % (before[0], value))
            c.desktop.click(c.history)
            c.desktop.key("End")
            away()
            poll(lambda: box.position()[0] == box.position()[1], T_STATE,
                 what="the view at the bottom")
            h, value, maximum = check_positions(c, box, "zoomed and following")
            c.desktop.screenshot(os.path.join(results, "box-zoomed.png"), c.history.extents())
            return "rows %d px high (%d before), the view at %d of %d" % (
                h, state["height"], value, maximum)

        def with_times():
            choose(c, "時刻を表示(T)")
            poll(lambda: c.history_lines()[-1:] != [row_text(ROWS)], T_STATE,
                 what="times before the rows")
            away()
            h, value, maximum = check_positions(c, box, "times, zoomed")
            c.desktop.click(c.history)
            c.desktop.key("ctrl+0", "Prior")
            away()
            h, value, maximum = check_positions(c, box, "times, scrolled")
            return "rows %d px high, the view at %d of %d" % (h, value, maximum)

        steps = [
            ("positions as drawn, following the newest row", following),
            ("positions as drawn, scrolled up", scrolled),
            ("positions as drawn, zoomed (scrolled, then following)", zoomed),
            ("positions as drawn with times shown", with_times),
        ]
        run.steps("box", steps, needed=[following])
    finally:
        end_session(run, c, board)


def main():
    return run_session(__doc__.split("\n\n")[0], session)


if __name__ == "__main__":
    sys.exit(main())
