#!/usr/bin/env python3
"""Runs inside the rig's VM: every registered end-to-end program in turn,
each with a fresh set of boards and a time limit, then a summary; the
programs of several builds when given several lists (a command listed
twice runs once). Exit status 0 only if every program passed.

    run_cases.py [--only=REGEX] CASES_FILE...   (lines: NAME 'program' 'arg'...)

--only runs the programs whose name the regular expression finds, for a
developer working on a few of them.

This process is also the board service for the whole boot: the programs'
board commands are answered here at once instead of each starting an
interpreter. The time limit only catches a hung program; how long each
took is printed."""

import os
import re
import shlex
import shutil
import signal
import subprocess
import sys
import threading
import time


def load_cases(files):
    """(name, argv) of every line of the lists, a command listed twice
    once."""
    cases, seen = [], set()
    for path in files:
        with open(path) as f:
            for line in f:
                line = line.rstrip("\n")
                if not line.strip():
                    continue
                name, _, rest = line.partition(" ")
                if rest in seen:
                    continue
                seen.add(rest)
                cases.append((name, shlex.split(rest)))
    return cases


def run_case(argv, limit):
    """Runs one program in a process group of its own; its exit status, 124
    when it ran out of time."""
    p = subprocess.Popen(argv, stdin=subprocess.DEVNULL, start_new_session=True)
    try:
        return p.wait(limit)
    except subprocess.TimeoutExpired:
        for sig, grace in ((signal.SIGTERM, 5), (signal.SIGKILL, None)):
            try:
                os.killpg(p.pid, sig)
            except ProcessLookupError:
                pass
            try:
                p.wait(grace)
                break
            except subprocess.TimeoutExpired:
                continue
        return 124


def main(argv):
    only = None
    if argv and argv[0].startswith("--only="):
        only = re.compile(argv[0][len("--only="):]) if argv[0] != "--only=" else None
        argv = argv[1:]
    if not argv:
        print("usage: run_cases.py [--only=REGEX] CASES_FILE...")
        return 2
    limit = float(os.environ.get("E2E_CASE_TIMEOUT", "900"))
    board_tool = os.environ.get("RIG_BOARD")
    if not board_tool:
        print("e2e: RIG_BOARD is not set")
        return 2
    results = os.environ.get("RIG_RESULTS", "/tmp")
    for path in argv:
        if not os.access(path, os.R_OK):
            print("e2e: no case list at %s" % path)
            return 1

    sys.path.insert(0, os.path.dirname(os.path.abspath(board_tool)))
    import commands  # noqa: E402 - the board's, beside RIG_BOARD
    import service  # noqa: E402

    def board(*args):
        return commands.main(list(args), sys.stdout, sys.stdout, in_service=True)

    # The drivers are loaded before the service answers: no program pays
    # for that while it waits on a board.
    board("setup")
    server = service.serve(
        lambda args, out, err: commands.main(args, out, err, in_service=True))
    threading.Thread(target=server.serve_forever, daemon=True).start()

    passed, failed = [], []
    for name, case in load_cases(argv):
        if only and not only.search(name):
            continue
        case_results = os.path.join(results, name)
        shutil.rmtree(case_results, ignore_errors=True)
        os.makedirs(case_results)
        os.environ["E2E_CASE_RESULTS"] = case_results
        print("===== e2e: %s" % name, flush=True)
        start = time.monotonic()
        cpu = os.times()
        status = run_case(case, limit)
        board("remove", "--all")
        cpu_after = os.times()
        elapsed = time.monotonic() - start
        # The program's and the service's work for it, in the guest's
        # clock (a busy host stretches it too).
        used = sum(cpu_after[:4]) - sum(cpu[:4])
        if status == 0:
            print("===== e2e: %s passed (%.0f s; %.0f s of guest CPU)" % (name, elapsed, used),
                  flush=True)
            passed.append(name)
        else:
            if status == 124:
                print("===== e2e: %s timed out after %.0f s" % (name, limit))
            print("===== e2e: %s FAILED (exit %d, %.0f s)" % (name, status, elapsed), flush=True)
            failed.append(name)
    server.shutdown()
    print("===== e2e summary: passed: %s; failed: %s"
          % (" ".join(passed) or "none", " ".join(failed) or "none"), flush=True)
    return 0 if passed and not failed else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
