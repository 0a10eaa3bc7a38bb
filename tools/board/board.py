#!/usr/bin/env python3
"""The virtual board's command line (board.py --help lists the commands).

While the board service runs (board.py serve; the end-to-end runner starts
one for each boot), a command is handed to it over a socket, so this
script loads almost nothing; otherwise the command runs here.

Python programs call call() instead of starting this script."""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import service  # noqa: E402


def call(argv):
    """(status, out, err) of one board command: run by the service when one
    runs, in this process otherwise."""
    if argv[:1] != ["serve"]:
        reply = service.request(argv)
        if reply is not None:
            return reply
    import io
    import commands
    out, err = io.StringIO(), io.StringIO()
    status = commands.main(argv, out, err)
    return status, out.getvalue(), err.getvalue()


def main(argv):
    if argv[:1] == ["serve"]:
        import commands
        commands.serve()
        return 0
    reply = service.request(argv)
    if reply is None:
        import commands
        return commands.main(argv)
    status, out, err = reply
    sys.stdout.write(out)
    sys.stderr.write(err)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
