#!/usr/bin/env python3
"""Checks the rig itself, without the program's device layer: a board
plugged with board.py shows up on the host as a hidraw node with its IDs
and lengths, and reports cross the wire both ways. Run as root in the
rig's guest; prints one line per check, exit status 1 if any failed."""

import os
import select
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.dirname(HERE))
from rig_client import board_call  # noqa: E402

failures = 0


def board(*args):
    """One board command, in this process or by the board service."""
    return board_call(*args, tool=os.path.join(HERE, "board.py")).strip()


def check(name, ok, detail=""):
    global failures
    print("[%s] rig: %s%s" % ("  OK  " if ok else " FAIL ", name,
                              (" (%s)" % detail) if detail and not ok else ""))
    failures += 0 if ok else 1


def read_report(fd, timeout=5.0):
    ready, _, _ = select.select([fd], [], [], timeout)
    return os.read(fd, 256) if ready else None


def uevent(node):
    path = "/sys/class/hidraw/%s/device/uevent" % os.path.basename(node)
    with open(path) as f:
        return dict(line.strip().split("=", 1) for line in f if "=" in line)


def main():
    board("remove", "--all")
    node = board("plug", "st", "--serial", "SELF-1")
    ev = uevent(node)
    check("hidraw node for 04D8:003F", ev.get("HID_ID", "").upper().endswith(
        "000004D8:0000003F"), ev.get("HID_ID"))
    check("serial number reaches the host", ev.get("HID_UNIQ") == "SELF-1", ev.get("HID_UNIQ"))

    board("start", "st")
    fd = os.open(node, os.O_RDWR)
    try:
        board("send", "st", "Hello")
        r = read_report(fd)
        check("input report reaches the host", r == b"Hello".ljust(64, b"\0"), repr(r))
        os.write(fd, b"\0Boot" + b"\0" * 60)  # report ID 0, then 64 bytes
        got = board("received", "st", "--wait", "1").split()
        check("output report reaches the board", got == [("Boot".encode().hex()
              + "00" * 60)], repr(got))
    finally:
        os.close(fd)

    # The command line, as a shell script or another program uses it.
    r = subprocess.run([sys.executable, os.path.join(HERE, "board.py"), "node", "st"],
                       stdout=subprocess.PIPE, text=True)
    check("the command line reaches the board", r.returncode == 0 and r.stdout.strip() == node,
          "exit %d, %r" % (r.returncode, r.stdout))

    board("unplug", "st")
    check("unplug removes the node", not os.path.exists(node))
    node2 = board("replug", "st", "--pid", "0x003e")
    check("replug with another product", uevent(node2).get("HID_ID", "").upper()
          .endswith("0000003E"), uevent(node2).get("HID_ID"))

    node8 = board("plug", "small", "--in", "8", "--out", "32", "--report-id", "2")
    fd = os.open(node8, os.O_RDWR)
    try:
        board("send", "small", "abc")
        r = read_report(fd)
        check("report ID and 8-byte input", r == b"\x02abc" + b"\0" * 5, repr(r))
    finally:
        os.close(fd)
    board("remove", "--all")
    return 1 if failures else 0


if __name__ == "__main__":
    start = time.monotonic()
    try:
        rc = main()
    except Exception as e:  # a broken rig is a failed check, not a traceback
        print("[ FAIL ] rig: %s" % e)
        rc = 1
    print("rig self-check: %s in %.1f s" % ("passed" if rc == 0 else "FAILED",
                                            time.monotonic() - start))
    sys.exit(rc)
