#!/usr/bin/python3
"""End-to-end cases of the console's history box and input line on the rig:
the scrollback, arrival times, find, command recall, clearing and the box's
context menu, driven as a person drives them (keys, the wheel, the context
menu) and read back over AT-SPI. Runs like console_e2e.py, on the same
helpers (console_harness.py):

    history_e2e.py --app BUILD/src/app/wendrel --board tools/board/board.py
                   [--results DIR]

Screenshots (times shown; the find window over a scrolled history) go to
the results folder. HISTORY_CASES=name,... runs only those cases (and the
first, which fills the box): a debugging aid, as the cases build on each
other."""

import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_harness import (CONNECTED, T_MENU, T_STATE, Board, CaseFailed,  # noqa: E402
                             Console, check, run_session)
from console_harness import end_session  # noqa: E402
from desktop import Atspi, Timeout, Widget, poll  # noqa: E402

RING = 1000
TIME = re.compile(r"^(\d\d):(\d\d):(\d\d)\.(\d\d\d)  ")


def row_name(i):
    return "row %04d" % i


class Box:
    """The history box as its user sees it: its view read from its scroll
    bar (the first row in view and the last position), its text area's
    pixels, its selection."""

    def __init__(self, console):
        self.c = console
        self.w = console.history

    def position(self):
        return self.c.history_position()

    def rows(self):
        return len(self.c.history_lines())

    def in_view(self, row):
        """Whether row (0 the oldest) is in view."""
        value, maximum = self.position()
        fitting = self.rows() - maximum
        return value <= row < value + fitting

    def pixels(self):
        """The text area, without the frame and the scroll bar."""
        x, y, w, h = self.w.extents()
        right = x + w - 3
        bar = self.c.history_scroll_bar()
        if bar:
            right = bar.extents()[0] - 1
        return self.c.desktop.pixels((x + 3, y + 3, right - x - 3, h - 6))

    def selection(self):
        if Atspi.Text.get_n_selections(self.w.obj) < 1:
            return None
        r = Atspi.Text.get_selection(self.w.obj, 0)
        return r.start_offset, r.end_offset

    def selected_text(self):
        sel = self.selection()
        if not sel or sel[0] == sel[1]:
            return ""
        return self.w.text()[sel[0]:sel[1]]

    def row_of(self, offset):
        return self.w.text()[:offset].replace("\u2029", "\n").count("\n")

    def wheel(self, button, times):
        x, y, w, h = self.w.extents()
        self.c.desktop.xdotool("mousemove", x + w // 2, y + h // 2,
                               "click", "--repeat", times, "--delay", 60, button)


def top_level(c, name):
    """The application's window named `name` while it shows, else None."""
    # Windows and popups come and go: the client's cached tree would not
    # show them (it learns of them only from events this loop never reads).
    c.app.root.clear_cache()
    for w in Widget(c.app.root).children():
        w.obj.clear_cache()
        if w.role() in (Atspi.Role.DIALOG, Atspi.Role.FRAME) and w.name() == name \
                and w.obj.get_state_set().contains(Atspi.StateType.SHOWING):
            return w
    return None


def find_below(widget, probe, depth=4):
    widget.obj.clear_cache()
    for child in widget.children():
        if probe(child):
            return child
        if depth > 0:
            found = find_below(child, probe, depth - 1)
            if found:
                return found
    return None


def open_history_menu(c):
    """Opens the box's context menu with the mouse; its entries (name,
    role, checked) in order, and the entries' widgets by name."""
    x, y, w, h = c.history.extents()
    c.desktop.xdotool("mousemove", x + w // 2, y + h // 2, "click", "3")

    def entries():
        menu = open_menu(c)
        return menu.children() if menu else None
    try:
        items = poll(entries, T_MENU, 0.2, what="the history box's context menu")
    except Timeout as e:
        c.app.root.clear_cache()
        shown = []
        for w in Widget(c.app.root).children():
            w.obj.clear_cache()
            shown.append((w.role().value_nick, w.name(),
                          [(ch.role().value_nick, ch.name()) for ch in w.children()]))
        r = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(c.proc.pid)],
                           env=c.desktop.env, stdout=subprocess.PIPE, text=True)
        raise CaseFailed("%s; the application shows %r; windows %r" % (e, shown, r.stdout.split()))
    listed = []
    for item in items:
        states = item.obj.get_state_set()
        listed.append((item.name(), item.role(), states.contains(Atspi.StateType.CHECKED)))
    return listed, {item.name(): item for item in items}


def open_menu(c):
    window = top_level(c, "Wendrel")
    for menu in window.children() if window else []:
        if menu.role() in (Atspi.Role.POPUP_MENU, Atspi.Role.MENU) \
                and menu.obj.get_state_set().contains(Atspi.StateType.SHOWING):
            return menu
    return None


def choose(c, name):
    _, by_name = open_history_menu(c)
    check(name in by_name, "no %r in the menu: %r" % (name, list(by_name)))
    by_name[name].do_action(0)
    # Chosen over the accessibility bus, Qt's menu stays open; a click
    # would have closed it.
    time.sleep(0.5)
    if open_menu(c):
        c.desktop.key("Escape")
        poll(lambda: open_menu(c) is None, T_MENU, 0.2, what="the menu to close")


def session(run, desktop, board_tool, app_path, results):
    board = Board(board_tool, "history")
    board.plug()
    board.run("start")  # firmware that reads and records output reports
    c = Console(desktop, app_path, desktop.dir)
    box = Box(c)
    os.makedirs(results, exist_ok=True)
    try:
        def fills():
            c.wait_status(CONNECTED)
            board.send(*[row_name(i) for i in range(1, 31)])
            c.wait_last_line(row_name(30))
            lines = c.history_lines()
            check(lines == [row_name(i) for i in range(1, 31)], "history shows %r" % lines)
            check(c.history_scroll_bar() is not None, "no scroll bar beside 30 rows")
            c.newest_line_in_sight()
            return "30 rows, the view at %d of %d" % box.position()

        def away_from_the_input():
            # The view is read with the focus elsewhere: no caret blinks in it.
            c.desktop.click(c.input)

        def stays_while_rows_come():
            c.receive(board, [row_name(i) for i in range(31, RING + 21)])
            lines = c.history_lines()
            check(lines[0] == row_name(21), "a full ring starts with %r (%d rows)"
                  % (lines[0], len(lines)))
            c.newest_line_in_sight()
            away_from_the_input()
            box.wheel(4, 3)  # three notches up
            value, maximum = poll(lambda: box.position()[0] < box.position()[1] and box.position(),
                                  T_STATE, what="the view to scroll up")
            view = box.pixels()
            c.receive(board, [row_name(i) for i in range(RING + 21, RING + 61)])
            check(c.history_lines()[0] == row_name(61), "the ring did not move on")
            now = box.position()
            check(now == (value - 40, maximum),
                  "the view moved from %d to %d of %d while 40 rows came and went"
                  % (value, now[0], maximum))
            check(box.pixels() == view, "the rows in view were drawn otherwise")
            return "the view at row %d of %d kept its rows while 40 came and 40 left" % (
                value, maximum)

        def end_follows():
            c.desktop.click(c.history)
            c.desktop.key("End")
            board.send("after End")
            c.wait_last_line("after End")
            c.newest_line_in_sight()

        def page_up_stays():
            c.desktop.click(c.history)
            c.desktop.key("Prior", "Prior")
            away_from_the_input()
            value, maximum = box.position()
            check(value < maximum, "PageUp did not scroll")
            view = box.pixels()
            board.send(*["more %d" % i for i in range(1, 11)])
            c.wait_last_line("more 10")
            check(box.position() == (value - 10, maximum), "the view moved after PageUp")
            check(box.pixels() == view, "the rows in view were drawn otherwise")
            c.desktop.click(c.history)
            c.desktop.key("ctrl+End")
            board.send("after Ctrl+End")
            c.wait_last_line("after Ctrl+End")
            c.newest_line_in_sight()

        def time_at_arrival():
            listed, _ = open_history_menu(c)
            c.desktop.key("Escape")
            times = [e for e in listed if e[0] == "時刻を表示(T)"]
            check(times and not times[0][2], "the times entry is missing or checked: %r" % listed)
            # Sent, then drawn 2.5 s later when times are turned on: the row
            # shows the time it came, not the time it was drawn.
            board.send("fw 1.5 ready", "adc ch0=0512 ch1=0498", "temp 23.5C ok",
                       "led on", "adc ch0=0515 ch1=0497")
            c.wait_last_line("adc ch0=0515 ch1=0497")
            sent = time.time()
            board.send("stamp")
            c.wait_last_line("stamp")
            arrived = time.time()
            time.sleep(2.5)
            turned_on = time.time()
            choose(c, "時刻を表示(T)")
            poll(lambda: TIME.match(c.history_lines()[-1]), T_STATE, what="times on the rows")
            lines = c.history_lines()
            untimed = [line for line in lines if not TIME.match(line)]
            check(not untimed, "rows without a time: %r" % untimed[:3])
            check(lines[-1].endswith("  stamp"), "the last row is %r" % lines[-1])
            h, m, s, ms = (int(g) for g in TIME.match(lines[-1]).groups())
            shown = h * 3600 + m * 60 + s + ms / 1000.0
            local = time.localtime(sent)
            base = time.mktime(local[:3] + (0, 0, 0) + local[6:])
            check(sent - base - 0.05 <= shown <= arrived - base + 0.05,
                  "shown %s, sent %.3f s and shown %.3f s into the day"
                  % (lines[-1][:12], sent - base, arrived - base))
            check(shown < turned_on - base - 2,
                  "the time is when the row was drawn, not when it came")
            listed, _ = open_history_menu(c)
            c.desktop.key("Escape")
            check([e for e in listed if e[0] == "時刻を表示(T)"][0][2], "the entry is not checked")
            c.desktop.xdotool("mousemove", 0, 0)
            path = os.path.join(results, "history-times.png")
            c.desktop.screenshot(path, c.app.window().extents())
            choose(c, "時刻を表示(T)")  # off again
            poll(lambda: not TIME.match(c.history_lines()[-1]), T_STATE, what="times off")
            return "the row shows %s; saved %s" % (lines[-1][:12], path)

        def find_in_full_ring():
            c.desktop.click(c.input)
            c.desktop.key("ctrl+f")
            window = poll(lambda: top_level(c, "検索"), T_MENU, 0.2, what="the find window")
            needle = row_name(100)  # near the top of the full ring
            c.desktop.type(needle)
            c.desktop.key("Return")
            poll(lambda: box.selected_text() == needle, T_STATE,
                 what="%r selected in the box" % needle)
            row = box.row_of(box.selection()[0])
            check(box.in_view(row), "row %d is not in view (at %d of %d)"
                  % ((row,) + box.position()))
            c.desktop.xdotool("mousemove", 0, 0)
            x1, y1, w1, h1 = c.app.window().extents()
            x2, y2, w2, h2 = window.extents()
            left, top = min(x1, x2), min(y1, y2)
            path = os.path.join(results, "find.png")
            c.desktop.screenshot(path, (left, top, max(x1 + w1, x2 + w2) - left,
                                        max(y1 + h1, y2 + h2) - top))
            # A miss is said in the window; the selection stays.
            before = box.selection()
            c.desktop.key("ctrl+a")
            c.desktop.type("not in the ring")
            c.desktop.key("Return")
            poll(lambda: find_below(window, lambda w: w.role() == Atspi.Role.LABEL
                                    and w.name() == "見つかりません"), T_STATE,
                 what="見つかりません in the find window")
            check(box.selection() == before, "a miss moved the selection")
            c.desktop.key("Escape")
            poll(lambda: top_level(c, "検索") is None, T_MENU, 0.2, what="the find window to close")
            return "saved " + path

        def f3_repeats():
            # The last search was a miss; search for rows 0120..0129 instead.
            c.desktop.key("ctrl+f")
            poll(lambda: top_level(c, "検索"), T_MENU, 0.2, what="the find window")
            c.desktop.key("ctrl+a")
            c.desktop.type("row 012")
            c.desktop.key("Return", "Escape")
            poll(lambda: box.selected_text() == "row 012", T_STATE, what="the first match")
            first = box.selection()
            c.desktop.click(c.input)
            c.desktop.key("F3")
            poll(lambda: box.selection() and box.selection()[0] > first[0], T_STATE,
                 what="F3 to move to the next match")
            check(box.in_view(box.row_of(box.selection()[0])), "the next match is not in view")
            c.desktop.key("shift+F3")
            poll(lambda: box.selection() == first, T_STATE, what="Shift+F3 to move back")

        def recall_across_a_send():
            board.run("clear")
            c.desktop.click(c.input)
            for line in ("first", "second"):
                c.desktop.type(line)
                c.desktop.key("Return")
                poll(lambda: c.input.text() == "", T_STATE, what="the line sent")
            c.desktop.key("Up", "Up")
            c.wait_input("first")
            c.desktop.key("Return")
            poll(lambda: len(board.received()) >= 3, T_STATE, 0.1, what="three reports")
            got = [r.rstrip(b"\0") for r in board.received()]
            check(got == [b"first", b"second", b"first"], "the board received %r" % got)
            c.desktop.key("Up")
            c.wait_input("first")
            c.desktop.key("Up")
            c.wait_input("second")
            c.desktop.key("Down", "Down")
            c.wait_input("")

        def menu_and_clear():
            listed, _ = open_history_menu(c)
            c.desktop.key("Escape")
            names = [e[0] for e in listed]
            own = ["時刻を表示(T)", "16進表示(X)", "接続と送信を表示(E)", "検索(F)...",
                   "履歴を消去(L)", "受信履歴をすべてコピー(H)"]
            at = names.index(own[0]) if own[0] in names else -1
            check(at > 0 and names[at:at + len(own)] == own, "the menu reads %r" % names)
            check(names[-1].startswith("バージョン情報 Wendrel"), "About is not last: %r" % names)
            c.desktop.click(c.history)
            c.desktop.key("Prior")
            choose(c, "履歴を消去(L)")
            poll(lambda: c.history_lines() == [], T_STATE, what="an empty history")
            board.send(*["new %d" % i for i in range(1, 31)])
            c.wait_last_line("new 30")
            check(c.history_lines() == ["new %d" % i for i in range(1, 31)],
                  "after clearing: %r" % c.history_lines()[:3])
            c.newest_line_in_sight()

        steps = [
            ("the box holds every row, a scroll bar beside them, the newest in view", fills),
            ("scrolled up with the wheel, the view stays while rows come and the oldest go",
             stays_while_rows_come),
            ("End follows the newest row again", end_follows),
            ("after PageUp the view stays; Ctrl+End follows again", page_up_stays),
            ("times: each row's time is when it came, not when it was drawn", time_at_arrival),
            ("Ctrl+F finds a row in a full ring and brings it into view; a miss is said",
             find_in_full_ring),
            ("F3 and Shift+F3 repeat the search", f3_repeats),
            ("Up and Down recall lines, across a send", recall_across_a_send),
            ("the box's menu in order; clearing empties the box, which follows again",
             menu_and_clear),
        ]
        only = os.environ.get("HISTORY_CASES")
        run.steps("history", steps, needed=[fills], only=only.split(",") if only else None)
    finally:
        end_session(run, c, board)


def main():
    return run_session(__doc__.split("\n\n")[0], session)


if __name__ == "__main__":
    sys.exit(main())
