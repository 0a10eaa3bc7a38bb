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

import glob
import os
import sys
import threading
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from console_harness import (CONNECTED, DISCONNECTED, REPORT_LEN, RING,  # noqa: E402
                             T_EXIT, T_MENU, T_STATE, Board, CaseFailed, Console,
                             check, run_sessions, show_output)
from desktop import Atspi, Timeout, Widget, poll  # noqa: E402

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
            check(c.input.text() == "pending",
                  "typed text did not survive the connect: %r" % c.input.text())
            c.clear_input()
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
            # Reading again, the board takes the writes that wait: none is
            # left to time out and bring its line back into the emptied line.
            board.run("start")
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
            check(c.input.text() == "draft",
                  "typed text did not survive the unplug: %r" % c.input.text())
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
            ("connects by itself to a plugged board; typed text stays", connects),
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
            # Lines left while the writes could wait; those that found the
            # queue full stay in the line.
            poll(lambda: c.input.text() == "" or c.status.text().startswith("送信できませんでした"),
                 T_STATE, what="the input line to empty, or a send refused")
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
