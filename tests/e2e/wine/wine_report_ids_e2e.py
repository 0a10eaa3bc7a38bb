#!/usr/bin/env python3
"""wendrel.exe under Wine against a board that numbers its reports, in the
rig's VM; and the README's Windows screenshots, taken of the program.

wine_report_ids_e2e.py --windows-build DIR --prefix DIR --board BOARD_TOOL [--shots DIR]

The board's input reports are report 1, its output reports report 2:
Windows takes a written report only with the ID of one of the device's
output reports in front, and hands input reports over with theirs. The
console runs in a Japanese locale inside a Wine desktop window (so that it
has its frame), as a user sees it. Each case prints PASS or FAIL with its
name. Shares its helpers with wine_e2e.py.
"""
import argparse
import os
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_e2e as w  # noqa: E402

# Wine's first start in the VM: 200 s on a quiet host, over 760 s on a busy
# one. What remains of the runner's 900 s for the case.
T_FIRST_START = 720
INPUT_ID = 1
OUTPUT_ID = 2
DESKTOP = "WendrelShots"
PROGRAMS = ("wendrel.exe", "wendrel_driver.exe")


def desktop_keys(add):
    """The registry file that puts both programs in one Wine desktop window
    of their own (or takes them out again), leaving every other program of
    the prefix as it was."""
    lines = ["REGEDIT4", ""]
    for exe in PROGRAMS:
        key = r"HKEY_CURRENT_USER\Software\Wine\AppDefaults\%s\Explorer" % exe
        lines += ["[%s%s]" % ("" if add else "-", key)]
        if add:
            lines += ['"Desktop"="%s"' % DESKTOP]
        lines += [""]
    key = r"HKEY_CURRENT_USER\Software\Wine\Explorer\Desktops"
    lines += ["[%s]" % key, '"%s"=%s' % (DESKTOP, '"800x600"' if add else "-"), ""]
    return "\r\n".join(lines)


def regedit(wine, text, path, out):
    with open(path, "w") as f:
        f.write(text)
    # Wine's drive Z: is the root: a path in / would read as a switch.
    subprocess.run([wine, "regedit", "/S", "Z:" + path.replace("/", "\\")],
                   stdout=out, stderr=out, timeout=600)


def caption_font(prefix):
    """Marlett, which draws the caption's buttons (Debian's Wine may not
    find its own): the copy put into the prefix, or None."""
    fonts = os.path.join(prefix, "drive_c", "windows", "Fonts")
    for f in ("/usr/share/wine/fonts/marlett.ttf", "/usr/lib/wine/fonts/marlett.ttf"):
        target = os.path.join(fonts, "marlett.ttf")
        if os.path.exists(f) and not os.path.exists(target):
            os.makedirs(fonts, exist_ok=True)
            shutil.copy(f, target)
            return target
    return None


def japanese_locale(env, where, log):
    """A private ja_JP.UTF-8, as a Japanese Windows would run the program:
    made on the host before the boot, else here."""
    if not os.path.isdir(os.path.join(where, "ja_JP.UTF-8")):
        os.makedirs(where, exist_ok=True)
        subprocess.run(["localedef", "-i", "ja_JP", "-f", "UTF-8",
                        os.path.join(where, "ja_JP.UTF-8")], stdout=log, stderr=log, timeout=600)
    if os.path.isdir(os.path.join(where, "ja_JP.UTF-8")):
        env.update(LOCPATH=where, LANG="ja_JP.UTF-8", LC_ALL="ja_JP.UTF-8")
        return True
    return False


def screenshot(env, shots, name, log):
    """The desktop window as the X server shows it, trimmed to the console
    (and what lies over it)."""
    raw = os.path.join(shots, name + "-screen.png")
    subprocess.run(["import", "-window", "root", raw], env=env, stdout=log, stderr=log,
                   timeout=120)
    # The X server's black around the desktop window, then the desktop's
    # own background around the windows.
    subprocess.run(["convert", raw, "-trim", "+repage", "-trim", "+repage",
                    os.path.join(shots, name + ".png")],
                   stdout=log, stderr=log, timeout=120)
    w.log("screenshot: " + os.path.join(shots, name + ".png"))


def case_numbered_reports(drv, board):
    board.run("send", "numbered in 1", "numbered in 2")
    ok, detail = drv.do("history", str(w.T_STATE), "numbered in 2")
    rows = w.history_rows(drv)
    w.result(ok and rows[-2:] == ["numbered in 1", "numbered in 2"],
             "wine_numbered_input_reports_show_without_their_id", "last rows %r" % rows[-2:])

    board.run("clear")
    ok, detail = drv.do("type", "numbered-out")
    got = w.wait_reports(board, 1)
    first = got[0] if got else b""
    w.result(ok and len(got) == 1 and first[:1] == bytes([OUTPUT_ID])
             and w.text_of(first[1:]) == "numbered-out" and len(first) == 65
             and not any(first[1 + len("numbered-out"):]),
             "wine_typed_line_goes_out_as_report_2",
             "%s; board got %r" % (detail, [r[:16].hex() for r in got]))

    board.run("clear")
    ok, detail = drv.do("click", "1004")
    got = w.wait_reports(board, 1)
    time.sleep(1)
    got = board.received()
    first = got[0] if got else b""
    w.result(ok and len(got) == 1 and first[:1] == bytes([OUTPUT_ID])
             and w.text_of(first[1:]) == "Boot",
             "wine_boot_goes_out_as_report_2", "board got %r" % [r[:16].hex() for r in got])


def take_screenshots(drv, board, env, shots, log):
    """The README's: arrival times on a history that scrolls, then the find
    window over it."""
    board.run("send", *["row %d" % i for i in range(1, 43)])
    ok, _ = drv.do("history", str(w.T_STATE), "row 42")
    drv.do("menu", "T")
    time.sleep(2)
    screenshot(env, shots, "windows-times", log)
    drv.do("scroll", "top")
    ok2, detail = drv.do("menu", "F")
    time.sleep(3)
    subprocess.run(["xdotool", "type", "--delay", "50", "row 25"], env=env, stdout=log,
                   stderr=log, timeout=60)
    subprocess.run(["xdotool", "key", "Return"], env=env, stdout=log, stderr=log, timeout=60)
    time.sleep(3)
    screenshot(env, shots, "windows-find", log)
    subprocess.run(["xdotool", "key", "Escape"], env=env, stdout=log, stderr=log, timeout=60)
    w.result(ok and ok2, "wine_screenshots_taken", detail)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--windows-build", required=True)
    ap.add_argument("--prefix", required=True)
    ap.add_argument("--board", required=True)
    ap.add_argument("--shots")
    ap.add_argument("--locale", help="folder of a ja_JP.UTF-8 made by localedef")
    a = ap.parse_args()
    out_dir = os.environ.get("E2E_CASE_RESULTS", "/tmp")
    shots = a.shots or out_dir

    app = w.find(a.windows_build, "wendrel.exe")
    driver_exe = w.find(a.windows_build, "wendrel_driver.exe")
    if not app or not driver_exe:
        return w.result(False, "wine_programs_built", "wendrel.exe or wendrel_driver.exe missing")
    wine = w.rig_client.wine_loader()
    env = w.wine_env(a.prefix)

    procs = []
    board = w.Board(a.board, "n1")
    log = open(os.path.join(out_dir, "wine.log"), "w")
    keys = os.path.join(out_dir, "desktop.reg")
    drv = None
    font = None
    try:
        start = time.monotonic()
        japanese = japanese_locale(env, a.locale or os.path.join(out_dir, "locale"), log)
        w.log("locale: %s after %.0f s" % ("ja_JP.UTF-8" if japanese else "none",
                                          time.monotonic() - start))
        w.start_desktop(env, procs, log)
        # Plugged before Wine first starts (for regedit), as in the other
        # Wine cases: its bus then finds the board when it starts, instead
        # of having to hear of it while starting, which it missed under load.
        w.log("board: " + board.run("plug", "--report-id", str(INPUT_ID),
                                    "--output-report-id", str(OUTPUT_ID)).strip())
        board.run("start")
        font = caption_font(a.prefix)
        regedit(wine, desktop_keys(True), keys, log)

        drv = w.start_console(app, driver_exe, procs, log, "wine_numbered_window_opens",
                              T_FIRST_START)
        if not drv:
            return 1
        ok, detail = drv.do("status", str(w.T_STATE), w.STATUS_CONNECTED)
        if not ok:
            # Under emulation Wine's bus has missed a board plugged while
            # it started (seen once in three boots): plugged in again, it
            # is a board like any other.
            w.log("board not seen (%s): plugged in again" % detail)
            board.run("unplug")
            board.run("plug", "--report-id", str(INPUT_ID), "--output-report-id", str(OUTPUT_ID))
            board.run("start")
            ok, detail = drv.do("status", str(w.T_STATE), w.STATUS_CONNECTED)
        w.result(ok, "wine_numbered_board_connects", detail)
        time.sleep(2)
        screenshot(env, shots, "windows-connected", log)

        case_numbered_reports(drv, board)
        take_screenshots(drv, board, env, shots, log)

        ok, detail = drv.do("close", "60")
        w.result(ok, "wine_numbered_console_closes", detail)
    except Exception as e:  # a broken step fails the case, never hangs it
        w.result(False, "wine_numbered_case_ran", repr(e))
    finally:
        if drv:
            drv.close()
        for p in reversed(procs):
            if p.poll() is None and p.args[0] != "Xvfb":
                p.kill()
        # The prefix goes on to other cases as it came.
        try:
            regedit(wine, desktop_keys(False), keys, log)
        except Exception as e:
            w.log("desktop keys not removed: %r" % e)
        for p in procs:
            if p.poll() is None:
                p.kill()
        if font:
            os.unlink(font)
        subprocess.run(["wineserver", "-k"], env=env, timeout=60, stdout=log, stderr=log)
        board.run("remove", check=False)
    w.log("wine report-ID cases failed: %s" % (", ".join(w.failures) or "none"))
    return 1 if w.failures else 0


if __name__ == "__main__":
    sys.exit(main())
