#!/usr/bin/python3
"""End-to-end cases of saving the console's history on the rig: Ctrl+S and
the box's menu open Qt's file dialog (Qt's own widgets here: the bare X
server has no desktop to lend its dialog), which is driven over AT-SPI and
with keys as a person drives it; the file is read back. Runs like
console_e2e.py, on the same helpers (console_harness.py):

    save_e2e.py --app BUILD/src/app/wendrel --board tools/board/board.py
                [--results DIR]

A screenshot of the save dialog and one of the message when a file cannot
be written go to the results folder."""

import os
import re
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_harness import (CONNECTED, T_MENU, T_STATE, Board, check,  # noqa: E402
                             Console, run_sessions)
from console_harness import end_session  # noqa: E402
from desktop import Atspi, Timeout, Widget, poll  # noqa: E402
from history_e2e import open_history_menu  # noqa: E402

TITLE = "名前を付けて保存"
ENTRY = "名前を付けて保存(S)..."
FILTER = "テキスト ファイル (*.txt)"
NAME = re.compile(r"^wendrel-20\d{6}-\d{6}\.txt$")
FAILED = "ファイルを保存できませんでした。"
# Qt's own question before a file is replaced, in English or Japanese.
YES = ("Yes", "はい", "はい(Y)")
# The host's file system, shared read-only with the guest: a place even
# the superuser cannot write.
READ_ONLY = "/usr/wendrel-e2e-save.txt"


def walk(widget, depth=7):
    """The widget and those below it; a list's or a table's rows (the
    folder's files) are not looked into."""
    widget.obj.clear_cache()
    yield widget
    if depth == 0 or widget.role() in (Atspi.Role.LIST, Atspi.Role.TABLE,
                                       Atspi.Role.TREE, Atspi.Role.TREE_TABLE):
        return
    for child in widget.children():
        yield from walk(child, depth - 1)


def windows(c):
    """The application's top-level windows that show."""
    c.app.root.clear_cache()
    shown = []
    for w in Widget(c.app.root).children():
        w.obj.clear_cache()
        if w.obj.get_state_set().contains(Atspi.StateType.SHOWING):
            shown.append(w)
    return shown


def save_dialog(c):
    """The save dialog with its file-name field, or None."""
    for w in windows(c):
        if w.name() != TITLE:
            continue
        for part in walk(w):
            if part.role() == Atspi.Role.TEXT and \
                    part.obj.get_state_set().contains(Atspi.StateType.EDITABLE) and \
                    part.obj.get_state_set().contains(Atspi.StateType.SHOWING):
                return w, part
    return None


def button_in(c, names):
    """A push button named one of `names` in any window that shows."""
    for w in windows(c):
        for part in walk(w, 4):
            if part.role() == Atspi.Role.PUSH_BUTTON and part.name() in names:
                return part
    return None


def message_box(c):
    """The window whose label starts with FAILED, and that label's text."""
    for w in windows(c):
        for part in walk(w, 4):
            if part.role() == Atspi.Role.LABEL and part.text().startswith(FAILED):
                return w, part.text()
    return None


def session(run, desktop, args):
    board = Board(args.board, "save")
    board.plug()
    board.run("start")
    # A home of its own whose documents folder the dialog opens in: the
    # file is then named as a user names it, without a path (whose every
    # folder Qt's dialog would list as it is typed).
    home = os.path.join(desktop.dir, "home")
    folder = os.path.join(home, "Documents")
    os.makedirs(folder, exist_ok=True)
    target = os.path.join(folder, "history.txt")
    c = Console(desktop, args.app, desktop.dir, env=dict(desktop.env, HOME=home))
    os.makedirs(args.results, exist_ok=True)
    state = {}

    def file_text():
        return ("\n".join(c.history_lines()) + "\n").encode("utf-8")

    def answer(path):
        """Types `path` into the open dialog's name field and presses Enter."""
        _, field = state["dialog"]
        desktop.click(field)
        desktop.key("ctrl+a")
        desktop.type(path)
        poll(lambda: field.text() == path, T_STATE, what="the path typed")
        desktop.key("Return")

    try:
        def ctrl_s_opens_the_dialog():
            c.wait_status(CONNECTED)
            board.send(*["save %d" % i for i in range(1, 21)])
            c.wait_last_line("save 20")
            desktop.click(c.input)
            start = time.monotonic()
            desktop.key("ctrl+s")
            state["dialog"] = poll(lambda: save_dialog(c), T_MENU, 0.2, what="the save dialog")
            opened = time.monotonic() - start
            dialog, field = state["dialog"]
            check(NAME.match(field.text()), "the dialog suggests %r" % field.text())
            check(os.listdir(folder) == [], "the documents folder holds %r" % os.listdir(folder))
            shown = [p.name() or p.text() for p in walk(dialog)]
            check(any(FILTER in s for s in shown), "no %r in the dialog: %r" % (FILTER, shown))
            desktop.screenshot(os.path.join(args.results, "save-dialog.png"))
            return "suggests %s; open after %.1f s" % (field.text(), opened)

        def rows_that_come_while_it_is_open_are_saved():
            board.send("while open 1", "while open 2")
            c.wait_last_line("while open 2")  # the box goes on under the dialog
            answer("history.txt")
            poll(lambda: os.path.exists(target) and save_dialog(c) is None, T_STATE,
                 what="the file written and the dialog closed")
            data = open(target, "rb").read()
            check(data == file_text(), "the file holds %r" % data[-80:])
            check(not data.startswith(b"\xef\xbb\xbf"), "a byte-order mark")
            check(os.listdir(folder) == ["history.txt"], "the folder holds %r" % os.listdir(folder))
            return "%d rows, %d bytes" % (len(c.history_lines()), len(data))

        def replacing_asks_first():
            board.send("after 1")
            c.wait_last_line("after 1")
            before = open(target, "rb").read()
            # The entry by its key, as a click would choose it: the menu
            # closes before the dialog opens.
            listed, _ = open_history_menu(c)
            names = [e[0] for e in listed]
            copy_all = "受信履歴をすべてコピー(H)"
            check(copy_all in names and names[names.index(copy_all) + 1:][:1] == [ENTRY],
                  "%r does not follow %r: %r" % (ENTRY, copy_all, names))
            desktop.key("s")
            state["dialog"] = poll(lambda: save_dialog(c), T_MENU, 0.2, what="the save dialog")
            answer("history.txt")
            yes = poll(lambda: button_in(c, YES), T_MENU, 0.2, what="the question to replace")
            check(open(target, "rb").read() == before, "written before the answer")
            yes.do_action(0)
            poll(lambda: open(target, "rb").read() == file_text(), T_STATE,
                 what="the file replaced")
            poll(lambda: save_dialog(c) is None, T_STATE, what="the dialog to close")
            check(os.listdir(folder) == ["history.txt"], "the folder holds %r" % os.listdir(folder))

        def a_file_that_cannot_be_written_is_said():
            lines = c.history_lines()
            desktop.click(c.history)
            desktop.key("ctrl+s")
            state["dialog"] = poll(lambda: save_dialog(c), T_MENU, 0.2, what="the save dialog")
            answer(READ_ONLY)
            window, text = poll(lambda: message_box(c), T_MENU, 0.2, what="the message")
            check(READ_ONLY in text, "the message names no file: %r" % text)
            reason = text.split(READ_ONLY, 1)[1].strip()
            check(reason, "the message gives no reason: %r" % text)
            desktop.screenshot(os.path.join(args.results, "save-failed.png"))
            desktop.key("Return")
            poll(lambda: message_box(c) is None, T_MENU, 0.2, what="the message to close")
            check(not os.path.exists(READ_ONLY), "%s was written" % READ_ONLY)
            check(c.history_lines() == lines, "the history changed")
            return "the system's reason: %r" % reason

        steps = [
            ("Ctrl+S opens the file dialog with the suggested name and the text type",
             ctrl_s_opens_the_dialog),
            ("rows that come while it is open are saved; every row as shown, UTF-8",
             rows_that_come_while_it_is_open_are_saved),
            ("from the menu, onto the same file: asked first, then replaced",
             replacing_asks_first),
            ("a file that cannot be written: the system's reason, nothing left, the history kept",
             a_file_that_cannot_be_written_is_said),
        ]
        run.steps("save", steps, needed=[ctrl_s_opens_the_dialog])
    finally:
        end_session(run, c, board)


def main():
    return run_sessions(__doc__.split("\n\n")[0], [session])


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Timeout as e:
        print("save e2e: %s" % e)
        sys.exit(1)
