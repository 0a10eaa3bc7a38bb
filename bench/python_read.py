#!/usr/bin/python3
"""The same count as bare_read.c, from Python with Debian's python3-hid.

    python_read.py COUNT READY_FILE

Debian builds that module on hidapi's libusb backend: it claims the board's
interface from usbhid (the hidraw node goes away while it reads) and reads
the interrupt endpoint itself. Prints one line "BENCH {json}"."""

import json
import sys
import time

import hid


def main():
    count = int(sys.argv[1])
    ready = sys.argv[2]
    dev = hid.device()
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
        "mode": "python", "sent": count, "received": received, "lost": count - received,
        "duplicates": duplicates, "out_of_order": out_of_order,
        "rate": round((received - 1) / seconds, 3) if seconds > 0 else 0}))
    return 0 if received == count else 1


if __name__ == "__main__":
    sys.exit(main())
