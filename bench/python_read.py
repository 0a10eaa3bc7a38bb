#!/usr/bin/python3
"""The same count as bare_read.c, from Python.

    python_read.py COUNT READY_FILE [hid|hidraw]

hid (the default) reads with Debian's python3-hid. Debian builds that
module on hidapi's libusb backend: it claims the board's interface from
usbhid (the hidraw node goes away while it reads) and reads the interrupt
endpoint itself. hidraw reads the board's /dev/hidrawN with os.read, as a
Python program without any HID module would. Prints one line
"BENCH {json}"."""

import glob
import json
import os
import select
import sys
import time


class Hidraw:
    """The few calls of hid.device this script uses, on a hidraw node."""

    def open(self, vid, pid):
        for uevent in sorted(glob.glob("/sys/class/hidraw/hidraw*/device/uevent")):
            with open(uevent) as f:
                if "HID_ID=0003:%08X:%08X" % (vid, pid) in f.read():
                    node = "/dev/" + uevent.split("/")[4]
                    self.fd = os.open(node, os.O_RDONLY)
                    return
        raise IOError("no board")

    def read(self, size, timeout_ms):
        if not select.select([self.fd], [], [], timeout_ms / 1000.0)[0]:
            return b""
        return os.read(self.fd, size)

    def close(self):
        os.close(self.fd)


def main():
    count = int(sys.argv[1])
    ready = sys.argv[2]
    kind = sys.argv[3] if len(sys.argv) > 3 else "hid"
    if kind == "hid":
        import hid
        dev = hid.device()
    else:
        dev = Hidraw()
    deadline = time.monotonic() + 10
    while True:
        try:
            dev.open(0x04D8, 0x003F)
            break
        except (IOError, OSError):
            if time.monotonic() > deadline:
                print("python_read: no board", file=sys.stderr)
                return 1
            time.sleep(0.01)
    open(ready, "w").close()

    seen = bytearray(count + 1)
    received = duplicates = out_of_order = last = 0
    first_t = last_t = 0.0
    start = time.monotonic()
    while received < count:
        data = dev.read(64, 3000)
        if not data:
            if received or time.monotonic() - start > 30:
                break
            continue
        last_t = time.monotonic()
        if not first_t:
            first_t = last_t
        text = bytes(data).split(b"\0", 1)[0].split(b" ", 1)[0]
        try:
            seq = int(text)
        except ValueError:
            continue
        if not 0 < seq <= count:
            continue
        if seen[seq]:
            duplicates += 1
            continue
        seen[seq] = 1
        if seq <= last:
            out_of_order += 1
        last = seq
        received += 1
    dev.close()
    seconds = last_t - first_t
    print("BENCH " + json.dumps({
        "mode": "python-" + kind, "sent": count, "received": received, "lost": count - received,
        "duplicates": duplicates, "out_of_order": out_of_order,
        "rate": round((received - 1) / seconds, 3) if seconds > 0 else 0}))
    return 0 if received == count else 1


if __name__ == "__main__":
    sys.exit(main())
