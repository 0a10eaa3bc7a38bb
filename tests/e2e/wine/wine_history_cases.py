"""The Wine case's history box cases: its bytes and events views, saving
through the common save dialog, and the zoom. Run by wine_e2e.py, on its
helpers; each case prints PASS or FAIL with its name."""
import os
import re
import subprocess
import tempfile
import time

from wine_e2e import T_STATE, TIME, history_rows, log, result, view_of, wait_reports


def zoom(drv, notches):
    """Ctrl and the wheel over the box: (row height, the view)."""
    ok, detail = drv.do("zoom", str(notches))
    m = re.match(r"height (-?\d+) (.*)$", detail) if ok else None
    if not m:
        return None, None
    return int(m.group(1)), view_of(drv)


def case_zoom(drv, board):
    """Ctrl+wheel zooms the box: bigger rows, fewer in view; following, the
    newest row stays in view; scrolled up, the first row in view stays."""
    board.run("send", *["zm %d" % i for i in range(1, 41)])
    ok, _ = drv.do("history", str(T_STATE), "zm 40")
    height, view = zoom(drv, 0)
    bigger, zoomed = zoom(drv, 2)
    result(ok and view and zoomed and bigger > height and zoomed[1] == "zm 40"
           and zoomed[2] == view[2],
           "wine_ctrl_wheel_zooms_and_keeps_following",
           "row height %r -> %r, view %r -> %r" % (height, bigger, view, zoomed))
    drv.do("scroll", "up")
    up = view_of(drv)
    smaller, after = zoom(drv, -4)
    board.run("send", "zm 41")
    ok, _ = drv.do("history", str(T_STATE), "zm 41")
    kept = view_of(drv)
    result(ok and up and after and kept and smaller < height and after[0] == up[0]
           and kept[0] == up[0] and up[1] != "zm 40",
           "wine_zoomed_while_scrolled_the_first_row_stays",
           "row height %r, view %r -> %r, after a row %r" % (smaller, up, after, kept))
    back, _ = zoom(drv, 2)
    drv.do("scroll", "bottom")
    result(back == height, "wine_zoom_returns_to_the_dialogs_size",
           "row height %r, at first %r" % (back, height))


def screenshot(name):
    """The console's window as the X server shows it, into the results."""
    path = os.path.join(os.environ.get("E2E_CASE_RESULTS", "/tmp"), name)
    found = subprocess.run(["xdotool", "search", "--name", "^Wendrel$"], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, text=True, timeout=60).stdout.split()
    subprocess.run(["import", "-window", found[0] if found else "root", path],
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    log("screenshot: %s" % path)


def untimed(rows):
    return [TIME.sub("", r) for r in rows]


def as_sent(rows, *sent):
    """`rows`, where a line in `sent` that the board took is noted as not
    sent, as sent: a write still pending when the console stopped waiting
    for it is noted so (under emulation, writes can take that long)."""
    out = []
    for row in rows:
        for text in sent:
            if row == "── 送信できませんでした: %s ──" % text:
                log("note: %r was still pending when noted" % text)
                row = "→ " + text
        out.append(row)
    return out


def case_bytes(drv, board):
    """The menu's bytes entry shows each report's bytes as the board sent
    them, the time first while times are shown; again, and the text is
    back."""
    board.run("send-hex", "4869", "48690078", "1b5b316d")
    drv.do("history", str(T_STATE), "\u241b[1m")
    ok, detail = drv.do("menu", "X")
    rows = history_rows(drv)
    hexes = ["48 69", "48 69 00 78", "1B 5B 31 6D"]
    result(ok and rows[-3:] == hexes, "wine_bytes_as_sent", "%s; last rows %r" % (detail, rows[-3:]))
    drv.do("menu", "T")
    rows = history_rows(drv)
    result(all(TIME.match(r) for r in rows) and untimed(rows[-3:]) == hexes,
           "wine_bytes_with_times", "last rows %r" % rows[-3:])
    screenshot("windows-bytes.png")
    drv.do("menu", "X")
    rows = untimed(history_rows(drv))
    result(rows[-3:] == ["Hi", "Hi", "\u241b[1m"], "wine_bytes_off_again", "last rows %r" % rows[-3:])


def case_events(drv, board):
    """With the events entry, the lines sent stand among the rows where
    they were sent, Boot too; again, and the rows are alone."""
    drv.do("type", "hello")
    board.run("send", "hello back")
    drv.do("history", str(T_STATE), "hello back")
    drv.do("click", "1004")
    wait_reports(board, 2)
    ok, detail = drv.do("menu", "E")
    rows = as_sent(untimed(history_rows(drv)), "hello", "Boot")
    want = ["→ hello", "hello back", "→ Boot"]
    result(ok and rows[-3:] == want, "wine_events_among_the_rows",
           "%s; last rows %r" % (detail, rows[-4:]))
    screenshot("windows-events.png")
    drv.do("menu", "E")
    drv.do("menu", "T")
    rows = history_rows(drv)
    result(rows[-2:] == ["\u241b[1m", "hello back"], "wine_events_off_again",
           "last rows %r" % rows[-2:])


SAVE_NAME = re.compile(r'^name "wendrel-20\d{6}-\d{6}\.txt" type "テキスト ファイル \(\*\.txt\)"$')


def saved(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def case_save(drv, board):
    """Ctrl+S opens the common save dialog with its name and type; rows that
    come while it is open are saved; the file is every row as shown, UTF-8
    with CRLF; replacing asks first; a file that cannot be written is
    said."""
    # A folder of its own; Z: is the root of the guest's files.
    folder = tempfile.mkdtemp(prefix="wendrel-wine-save-")
    target = os.path.join(folder, "history.txt")
    wine_target = "Z:" + target.replace("/", "\\")
    board.run("send", "save 1", "save 2")
    drv.do("history", str(T_STATE), "save 2")
    drv.do("ctrl", "S")
    ok, detail = drv.do("save-dialog", str(T_STATE))
    result(ok and SAVE_NAME.match(detail), "wine_ctrl_s_opens_the_save_dialog", detail)
    if not ok:  # the rest from the menu
        drv.do("menu", "S")
        ok, detail = drv.do("save-dialog", str(T_STATE))
        if not result(ok and SAVE_NAME.match(detail), "wine_menu_opens_the_save_dialog", detail):
            return
    board.run("send", "while open")
    ok1, _ = drv.do("history", str(T_STATE), "while open")
    ok2, detail = drv.do("save-as", str(T_STATE), wine_target)
    want = ("\r\n".join(history_rows(drv)) + "\r\n").encode("utf-8")
    wait_until(lambda: saved(target) == want)
    data = saved(target)
    result(ok1 and ok2 and detail == "closed" and data == want,
           "wine_save_writes_every_row_as_shown",
           "%s; file ends %r; want %r" % (detail, (data or b"")[-40:], want[-40:]))
    board.run("send", "after save")
    drv.do("history", str(T_STATE), "after save")
    drv.do("menu", "S")
    drv.do("save-dialog", str(T_STATE))
    ok1, asked = drv.do("save-as", str(T_STATE), wine_target)
    kept = saved(target) == data
    ok2, question = drv.do("confirm", str(T_STATE), "yes")
    want = ("\r\n".join(history_rows(drv)) + "\r\n").encode("utf-8")
    ok3 = wait_until(lambda: saved(target) == want)
    left = sorted(os.listdir(folder))
    result(ok1 and asked == "asked" and kept and ok2 and ok3 and left == ["history.txt"],
           "wine_save_asks_before_replacing", "%s; %s; folder %r" % (asked, question, left))
    rows = history_rows(drv)
    drv.do("menu", "S")
    drv.do("save-dialog", str(T_STATE))
    drv.do("save-as", str(T_STATE), "Z:\\usr\\wendrel-wine-save.txt")
    ok, message = drv.do("message", str(T_STATE))
    result(ok and "ファイルを保存できませんでした。" in message and "wendrel-wine-save.txt" in message
           and not os.path.exists("/usr/wendrel-wine-save.txt") and history_rows(drv) == rows,
           "wine_save_that_fails_says_why", message)


def wait_until(probe, seconds=T_STATE):
    deadline = time.monotonic() + seconds
    while not probe():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.2)
    return True
