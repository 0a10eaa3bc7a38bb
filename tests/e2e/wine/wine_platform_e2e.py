#!/usr/bin/env python3
"""The Windows device layer's own facts under Wine, in the rig's VM.

wine_platform_e2e.py --windows-build DIR --prefix DIR --board BOARD_TOOL

wine_hid_probe.exe (the device layer alone, line by line) and wendrel.exe
against the virtual board: a plug and an unplug reach the platform as
device notifications, with no periodic scan; a board another process holds
without sharing (Wine may not enforce share modes: then the case says so);
a board of two top-level collections, of which the console must take the
one that carries text both ways (Wine 8 lists such a board as one
interface: then the case says so). Each case prints PASS, FAIL or SKIP
with its name. Shares its helpers with wine_e2e.py.
"""
import os
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_e2e as w  # noqa: E402

STATUS_HELD = "他のプログラムが使用中です"
# How long a device notification may take to arrive: a bound for a hang,
# the time taken is printed.
T_NOTIFY = 90

# Two top-level collections: report 1 (8 bytes in, nothing out), then
# report 2 (63 bytes in and out), vendor page.
TWO_COLLECTIONS = bytes.fromhex(
    "06 00 ff 09 01 a1 01 85 01 15 00 26 ff 00 75 08 19 01 29 08 95 08 81 00 c0"
    " 06 00 ff 09 02 a1 01 85 02 15 00 26 ff 00 75 08 19 01 29 3f 95 3f 81 00"
    " 19 01 29 3f 95 3f 91 00 c0")


def skip(name, why):
    w.log("SKIP %s: %s" % (name, why))


class Probe(w.Session):
    """wine_hid_probe.exe: the device layer alone, a command at a time."""

    def __init__(self, wine, exe, out):
        super().__init__(wine, [exe], out, "probe")

    def do(self, line, timeout=w.T_STATE):
        return super().do(line, timeout=timeout)


def case_change_notifications(probe, board):
    """Plug and unplug reach the platform as notifications: it scans when
    told, and a look with nothing new answers without a scan."""
    ok, detail = probe.do("notifications %d" % w.T_FIRST_START, timeout=w.T_FIRST_START + 120)
    if not w.result(ok and detail.startswith("can wait"), "wine_platform_waits_for_changes",
                    detail):
        return
    probe.do("take")  # the first look always scans
    # Wine's bus, started with this case, may still be announcing the board
    # it found at its start: the looks wait until it is listed and a second
    # has passed without news.
    settling = 0
    deadline = time.monotonic() + w.T_STATE
    while True:
        _, listed = probe.do("list")
        time.sleep(1)
        _, took = probe.do("take")
        if (took == "unchanged" and listed.startswith("1 ")) or time.monotonic() > deadline:
            break
        settling += 1
    time.sleep(1)
    ok, detail = probe.do("take")
    w.result(ok and detail == "unchanged", "wine_no_change_no_scan",
             "%s after a quiet second (%d looks before the bus was quiet); board before: %s"
             % (detail, settling, listed))

    probe.send("wait %d" % T_NOTIFY)
    t0 = time.monotonic()
    board.run("unplug")
    tool = time.monotonic() - t0
    ok, detail = probe.reply(T_NOTIFY + 30)
    seen = time.monotonic() - t0
    _, took = probe.do("take")
    _, listed = probe.do("list")
    w.result(ok and took == "changed" and listed.startswith("0 "), "wine_unplug_is_notified",
             "%s (%.1f s after the board tool began to unplug, which took %.1f s); then %s"
             % (detail, seen, tool, listed))

    probe.send("wait %d" % T_NOTIFY)
    t0 = time.monotonic()
    board.run("replug")
    tool = time.monotonic() - t0
    ok, detail = probe.reply(T_NOTIFY + 30)
    seen = time.monotonic() - t0
    _, took = probe.do("take")
    _, listed = probe.do("list")
    w.result(ok and took == "changed" and not listed.startswith("0 "), "wine_plug_is_notified",
             "%s (%.1f s after the board tool began to plug, which took %.1f s); then %s"
             % (detail, seen, tool, listed))


def case_held_board(probe, start_console):
    """Another process holds the board without sharing; the console is
    started after it. Where share modes hold, the console names the state
    and connects once the board is let go; Wine 8 may not enforce them."""
    ok, detail = probe.do("hold")
    if not w.result(ok, "wine_board_can_be_held", detail):
        return start_console()
    _, second = probe.do("open")  # the console's way, from the holding process
    drv = start_console()
    if drv is None:
        return None
    if second.startswith("refused"):
        ok, detail = drv.do("status", str(w.T_STATE), STATUS_HELD)
        w.result(ok, "wine_held_board_is_named", detail)
        probe.do("release")
        ok, detail = drv.do("status", str(w.T_STATE), w.STATUS_CONNECTED)
        w.result(ok, "wine_connects_once_let_go", detail)
    else:
        ok, detail = drv.do("status", str(w.T_STATE), w.STATUS_CONNECTED)
        skip("wine_held_board_is_named",
             "Wine does not enforce share modes on HID devices: with the board held unshared "
             "by another process, an open there gave '%s' and the console's status is %s"
             % (second, detail))
        probe.do("release")
    return drv


def case_collections(tool, probe, drv):
    """A board of two top-level collections: the console takes the one with
    an input and an output report, whatever order they are listed in."""
    two = w.Board(tool, "p2")
    two.run("plug", "--descriptor", TWO_COLLECTIONS.hex(), "--in", "63", "--out", "63",
            "--report-id", "2")
    ok, detail = drv.do("status", str(w.T_STATE), w.STATUS_CONNECTED)
    _, listed = probe.do("list")
    if not w.result(ok, "wine_two_collections_connect", "%s; %s" % (detail, listed)):
        return
    if not listed.startswith("2 "):
        skip("wine_console_takes_the_collection_that_carries_text",
             "Wine lists the board of two top-level collections as one interface, where "
             "Windows lists one per collection: %s" % listed)
        two.run("remove", check=False)
        return
    state = os.environ.get("WENDREL_BOARD_STATE", "/run/wendrel-board")
    with open(os.path.join(state, "p2", "hidg"), "wb", buffering=0) as node:
        node.write(b"\x01col1" + b"\0" * 4)  # report 1: the first collection's
    two.run("send", "col2 line")  # report 2
    ok, detail = drv.do("history", str(w.T_STATE), "col2 line")
    wrong, _ = drv.do("history", "0", "col1")
    w.result(ok and not wrong, "wine_console_takes_the_collection_that_carries_text",
             "%s; the other collection's report %s" % (detail, "shown" if wrong else "not shown"))
    two.run("remove", check=False)


def main():
    a, out_dir = w.parse_args()

    app = w.find(a.windows_build, "wendrel.exe")
    driver_exe = w.find(a.windows_build, "wendrel_driver.exe")
    probe_exe = w.find(a.windows_build, "wine_hid_probe.exe")
    if not app or not driver_exe or not probe_exe:
        return w.result(False, "wine_platform_programs_built", "a program is missing")
    wine = w.rig_client.wine_loader()

    env = w.wine_env(a.prefix)

    procs = []
    board = w.Board(a.board, "p1")
    wine_log = open(os.path.join(out_dir, "wine.log"), "w")
    probe = drv = None

    def start_console():
        return w.start_console(app, driver_exe, procs, wine_log, "wine_platform_console_starts")

    try:
        w.start_desktop(env, procs, wine_log)
        w.log("board: " + board.run("plug").strip())
        board.run("start")

        start = time.monotonic()
        probe = Probe(wine, probe_exe, wine_log)
        case_change_notifications(probe, board)
        w.log("wine: probe cases after %.0f s" % (time.monotonic() - start))
        drv = case_held_board(probe, start_console)
        if drv:
            board.run("remove", check=False)
            case_collections(a.board, probe, drv)
            ok, detail = drv.do("close", "60")
            w.result(ok, "wine_platform_console_closes", detail)
    except Exception as e:  # a broken step fails the case, never hangs it
        w.result(False, "wine_platform_case_ran", repr(e))
    finally:
        for x in (drv, probe):
            if x:
                x.close()
        w.end_wine(procs, env, wine_log, board)
    w.log("wine platform cases failed: %s" % (", ".join(w.failures) or "none"))
    return 1 if w.failures else 0


if __name__ == "__main__":
    sys.exit(main())
