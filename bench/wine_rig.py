#!/usr/bin/env python3
"""The Windows rows, inside the rig's VM (bench/wine-run.sh boots it).

wine_rig.py --build WINDOWS_BUILD --burst BURST --prefix-a DIR --prefix-b DIR --out FILE

Runs the Windows programs under Wine against the virtual board and writes
one JSON line per figure to FILE:
- idle CPU: wendrel.exe (prefix A) beside a bare window with a 50 ms timer
  (prefix B), at the same time, disconnected and then connected to a silent
  board. Each prefix has a Wine server and services of its own, so each
  program's figures include its own server's; the rest of each prefix
  (winedevice, plugplay, explorer, ...) is shown apart.
- bursts: the board's COUNT reports at its full rate to a bare ReadFile
  loop with the system's default input buffers, the same with 512, and the
  console; with the CPU of every Wine process of the prefix over the burst.
Wine's programs get no standard input: with the VM's serial console as
their input, Wine's console waits on it for good.
"""
import argparse
import glob
import json
import os
import subprocess
import sys
import time
import traceback

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tools"))
import rig_client  # noqa: E402

CONNECTED = "VID:0x04D8 / PID:0x003F"
WINE = rig_client.wine_loader()
HZ = os.sysconf("SC_CLK_TCK")
out_file = None


def say(msg):
    print("wine-bench: " + msg, flush=True)


def emit(row):
    line = json.dumps(row, separators=(",", ":"))
    print(line, flush=True)
    with open(out_file, "a") as f:
        f.write(line + "\n")


def find(top, name):
    for path in glob.glob(os.path.join(top, "**", name), recursive=True):
        if "wineprefix" not in path:
            return path
    raise SystemExit("wine-bench: %s not built in %s" % (name, top))


def prefix_processes(prefix):
    """pid -> (name, CPU ticks) of every process of this Wine prefix."""
    want = ("WINEPREFIX=" + prefix).encode()
    procs = {}
    for d in os.listdir("/proc"):
        if not d.isdigit():
            continue
        try:
            with open("/proc/%s/environ" % d, "rb") as f:
                if want not in f.read().split(b"\0"):
                    continue
            with open("/proc/%s/stat" % d) as f:
                stat = f.read()
            with open("/proc/%s/comm" % d) as f:
                name = f.read().strip()
        except OSError:
            continue
        fields = stat[stat.rindex(")") + 2:].split()
        procs[int(d)] = (name, int(fields[11]) + int(fields[12]))
    return procs


def cpu_between(before, after, program):
    """Ticks spent between two samples: the program, the Wine server, and
    every other process of the prefix by name."""
    spent = {"program": 0, "wineserver": 0, "others": 0, "others_by": {}}
    for pid, (name, ticks) in after.items():
        t = ticks - (before[pid][1] if pid in before else 0)
        if name.startswith("wineserver"):
            spent["wineserver"] += t
        elif program.startswith(name):  # comm is cut at 15 characters
            spent["program"] += t
        else:
            spent["others"] += t
            spent["others_by"][name] = spent["others_by"].get(name, 0) + t
    return spent


def tool(board, *args, check=True):
    return rig_client.board_call("--timeout", "30", *args, tool=board, check=check).strip()


def wait_file(path, seconds):
    deadline = time.monotonic() + seconds
    while not os.path.exists(path) and time.monotonic() < deadline:
        time.sleep(0.1)
    return os.path.exists(path)


def driver(exe, env, *words, timeout=1800):
    # Its reply goes to a file, never a pipe: Wine's services, started by
    # whichever program comes first, keep a pipe open long after it ends.
    with open("/tmp/wine-bench-driver.out", "w+") as out:
        code = subprocess.run([WINE, exe] + list(words), env=env, stdin=subprocess.DEVNULL,
                              stdout=out, stderr=subprocess.DEVNULL, timeout=timeout).returncode
        out.seek(0)
        say("driver %s -> %s" % (" ".join(words), out.read().strip()))
    return code == 0


def idle_rows(a, board, env_a, env_b, log):
    wendrel = find(a.build, "wendrel.exe")
    drv = find(a.build, "wendrel_driver.exe")
    window = find(a.build, "win32_idle_window.exe")
    ready = "/tmp/wine-bench-window-ready"
    if os.path.exists(ready):
        os.unlink(ready)
    # One after the other: a first start of Wine under emulation takes
    # minutes, two at once longer still.
    t0 = time.monotonic()
    console = subprocess.Popen([WINE, wendrel], env=env_a, stdin=subprocess.DEVNULL,
                               stdout=log, stderr=log)
    bare = None
    try:
        if not driver(drv, env_a, "window", "1500"):
            say("the console's window never showed")
            return
        bare = subprocess.Popen([WINE, window, ready], env=env_b, stdin=subprocess.DEVNULL,
                                stdout=log, stderr=log)
        if not wait_file(ready, 1500):
            say("the bare window never showed")
            return
        say("both windows after %.0f s; letting Wine's services settle" % (time.monotonic() - t0))
        time.sleep(a.settle)
        for state in ("disconnected", "connected"):
            if state == "connected":
                tool(board, "plug", "idle")
                if not driver(drv, env_a, "status", "120", CONNECTED):
                    say("the console did not connect")
                    return
                time.sleep(5)
            t = time.monotonic()
            b_a, b_b = prefix_processes(a.prefix_a), prefix_processes(a.prefix_b)
            time.sleep(a.seconds)
            e_a, e_b = prefix_processes(a.prefix_a), prefix_processes(a.prefix_b)
            t = time.monotonic() - t
            emit({"row": "wine-idle", "state": state, "seconds": round(t, 3), "clk_tck": HZ,
                  "console": cpu_between(b_a, e_a, "wendrel.exe"),
                  "window": cpu_between(b_b, e_b, "win32_idle_window.exe")})
    finally:
        tool(board, "remove", "idle", check=False)
        for p in (console, bare):
            if p:
                p.kill()
                p.wait()
        for env in (env_a, env_b):
            subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL, stdout=log,
                           stderr=log, timeout=120)


def burst_rows(a, board, env, log):
    readers = [
        ("bare", [find(a.build, "win32_bare_read.exe"), str(a.count)], []),
        ("bare-512", [find(a.build, "win32_bare_read.exe"), str(a.count)], ["512"]),
        ("console", [find(a.build, "win32_console_bench.exe"), str(a.count)], []),
    ]
    tool(board, "plug", "burst")
    node = os.path.join(os.environ.get("WENDREL_BOARD_STATE", "/run/wendrel-board"), "burst",
                        "hidg")
    try:
        for name, cmd, tail in readers:
            ready = "/tmp/wine-bench-ready-" + name
            if os.path.exists(ready):
                os.unlink(ready)
            output = "/tmp/wine-bench-%s.out" % name
            with open(output, "w") as out:
                reader = subprocess.Popen([WINE] + cmd + [ready] + tail, env=env,
                                          stdin=subprocess.DEVNULL, stdout=out, stderr=log)
                if not wait_file(ready, 1500):
                    say("%s never got ready" % name)
                    reader.kill()
                    reader.wait()
                    continue
                time.sleep(0.3)  # usbhid drops what comes in the first ~50 ms of an open
                before = prefix_processes(a.prefix_a)
                r = subprocess.run([a.burst, node, str(a.count)], capture_output=True, text=True,
                                   timeout=600)
                say(r.stdout.strip() + r.stderr.strip())
                try:
                    reader.wait(timeout=300)
                except subprocess.TimeoutExpired:
                    reader.kill()
                    reader.wait()
                after = prefix_processes(a.prefix_a)
            board_row = next((json.loads(l[6:]) for l in r.stdout.splitlines()
                              if l.startswith("BENCH ")), {})
            with open(output) as f:
                got = next((json.loads(l[6:]) for l in f.read().splitlines()
                            if l.startswith("BENCH ")), None)
            if got is None:
                say("%s printed no figures" % name)
                continue
            program = os.path.basename(cmd[0])
            got.update(row="wine-burst", reader=name, clk_tck=HZ, board_rate=board_row.get("rate"),
                       board_written=board_row.get("written"),
                       cpu=cpu_between(before, after, program))
            emit(got)
    finally:
        tool(board, "remove", "burst", check=False)
        subprocess.run(["wineserver", "-k"], env=env, stdin=subprocess.DEVNULL, stdout=log,
                       stderr=log, timeout=120)


def main():
    global out_file
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--burst", required=True)
    ap.add_argument("--prefix-a", required=True)
    ap.add_argument("--prefix-b", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--count", type=int, default=10000)
    ap.add_argument("--seconds", type=float, default=20)
    ap.add_argument("--settle", type=float, default=30)
    a = ap.parse_args()
    out_file = a.out
    open(out_file, "w").close()
    board = os.environ["RIG_BOARD"]
    log = open(os.path.join(os.path.dirname(a.out), "wine-bench.log"), "w")

    rig_client.start_udev(log)
    xvfb, display = rig_client.start_xvfb(stdout=log, stderr=log)
    tool(board, "setup")
    tool(board, "remove", "--all")
    emit({"row": "wine-guest", "kernel": os.uname().release, "cpus": os.cpu_count(),
          "wine": subprocess.run([WINE, "--version"], capture_output=True,
                                 text=True).stdout.strip()})
    status = 0
    try:
        env_a = rig_client.wine_env(a.prefix_a, display)
        env_b = rig_client.wine_env(a.prefix_b, display)
        for rows in (lambda: idle_rows(a, board, env_a, env_b, log),
                     lambda: burst_rows(a, board, env_a, log)):
            try:
                rows()
            except Exception:  # one broken row leaves the others their figures
                say(traceback.format_exc())
                status = 1
    finally:
        xvfb.kill()
    return status


if __name__ == "__main__":
    sys.exit(main())
