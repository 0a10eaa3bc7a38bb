"""The board's scripted firmware: reads every output report the host
sends, records it, and optionally echoes it or answers "Boot" by leaving
the bus and coming back as its bootloader (another product ID).

Runs in the foreground until killed; board.py start/stop run it in the
background. A board without firmware running never reads: it stalls once
the gadget's few queued output reports are full."""

import os
import time

import gadget

BOOT_COMMAND = b"Boot"


def _text(report, report_id):
    body = report[1:] if report_id and report[:1] == bytes([report_id]) else report
    return body.split(b"\0", 1)[0]


def run(board, echo=False, boot_pid=None, ready_path=None):
    cfg = board.config()
    fd = os.open(board.node(), os.O_RDWR)
    record = open(board.received_path(), "a", buffering=1)
    if ready_path:
        with open(ready_path, "w") as f:
            f.write(str(os.getpid()))
    while True:
        report = os.read(fd, 4096)
        if not report:
            time.sleep(0.01)
            continue
        record.write(report.hex() + "\n")
        text = _text(report, cfg["report_id"])
        if boot_pid is not None and text == BOOT_COMMAND:
            os.close(fd)
            _enter_bootloader(board, boot_pid)
            fd = os.open(board.node(), os.O_RDWR)
        elif echo:
            os.write(fd, board.input_report(text))


def _enter_bootloader(board, pid):
    # Leave the bus as a resetting board does, come back as another device.
    # The firmware keeps running, so the bus is left by hand, not unplug().
    gadget._write(board.gadget + "/UDC", "\n")
    board.set_product(pid)
    time.sleep(0.1)
    board.plug(wait=10.0)
