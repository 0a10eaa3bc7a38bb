#!/usr/bin/env python3
"""The platform contract on the Windows platform under Wine, in the rig's VM.

wine_platform_contract_e2e.py --windows-build DIR --prefix DIR --board BOARD_TOOL

win32_platform_contract.exe runs the contract's cases (the same as the
Linux platform's and the fake's) and asks for each board step on its
standard output, one line "@board WORDS" among its report; this script
carries it out on the virtual board and answers on the program's standard
input, "ok DETAIL" or "fail REASON". The report is passed on as it comes;
the case passes when the program exits 0.
"""
import os
import select
import shutil
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import wine_e2e as w  # noqa: E402

# Only stops a hung run: a Wine that starts cold under emulation takes
# minutes, every case's own waits are bounded inside the program.
T_RUN = 840


def carry_out(board, words):
    """One board step; returns the answer line."""
    command, args = words[0], words[1:]
    if command == "remove":
        board.run("remove", check=False)
        return "ok"
    if command == "plug":
        in_len, out_len, in_id, descriptor = args
        node = board.run("plug", "--in", in_len, "--out", out_len, "--report-id", in_id,
                         "--descriptor", descriptor).strip()
        return "ok " + node
    if command == "unplug":
        board.run("unplug")
        return "ok"
    if command == "send":
        board.run("send-hex", *args)
        return "ok"
    if command == "start":
        board.run("start")
        return "ok"
    if command == "received":
        return "ok " + " ".join(board.run("received", "--wait", args[0]).split())
    return "fail unknown step " + command


def main():
    a, out_dir = w.parse_args()

    exe = w.find(a.windows_build, "win32_platform_contract.exe")
    if not exe:
        w.result(False, "wine_platform_contract_built", "the program is missing")
        return 1
    wine = shutil.which("wine") or "wine"
    env = w.wine_env(a.prefix)
    procs = []
    board = w.Board(a.board, "pc")
    wine_log = open(os.path.join(out_dir, "wine.log"), "w")
    rc = None
    steps = 0
    try:
        w.start_desktop(env, procs, wine_log)
        start = time.monotonic()
        p = subprocess.Popen([wine, exe], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                             stderr=wine_log)
        procs.append(p)
        fd = p.stdout.fileno()
        pending = b""
        ended = False
        while not ended:
            left = start + T_RUN - time.monotonic()
            if left <= 0:
                w.log("the contract program did not end within %d s" % T_RUN)
                break
            # Raw reads: a buffered reader would keep a request that came
            # with the line before it, and select would never see it.
            if not select.select([fd], [], [], min(left, 5))[0]:
                continue
            chunk = os.read(fd, 65536)
            ended = not chunk
            pending += chunk
            *lines, pending = pending.split(b"\n")
            if ended and pending:
                lines.append(pending)
            for raw in lines:
                line = raw.decode("utf-8", "replace").rstrip("\r")
                if not line.startswith("@board "):
                    if line:
                        w.log(line)
                    continue
                t0 = time.monotonic()
                try:
                    answer = carry_out(board, line.split()[1:])
                except Exception as e:  # the program fails its case, and goes on
                    answer = "fail " + repr(e).replace("\n", " ")
                steps += 1
                w.log("  board %s -> %s (%.1f s, %.0f s into the run)"
                      % (" ".join(line.split()[1:3]), answer[:60], time.monotonic() - t0,
                         time.monotonic() - start))
                p.stdin.write((answer + "\n").encode())
                p.stdin.flush()
        if ended:
            rc = p.wait(timeout=60)
        w.log("wine: contract program ran %.0f s, %d board steps"
              % (time.monotonic() - start, steps))
    except Exception as e:  # a broken step fails the case, never hangs it
        w.result(False, "wine_platform_contract_ran", repr(e))
    finally:
        w.end_wine(procs, env, wine_log, board)
    w.result(rc == 0, "wine_platform_contract", "exit %s" % rc)
    return 1 if w.failures else 0


if __name__ == "__main__":
    sys.exit(main())
