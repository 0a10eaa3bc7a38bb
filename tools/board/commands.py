"""The virtual board: a USB HID board on a dummy USB controller, for the
rig's guest (root, Linux with dummy_hcd and configfs HID gadgets).

  board.py plug NAME [--vid V] [--pid P] [--release R] [--serial S]
                     [--in N] [--out N] [--report-id ID] [--feature-id ID]
                     [--output-report-id ID]
                     [--descriptor HEX] [--udc UDC]
                                           create (or recreate) and plug in;
                                           prints the host's /dev/hidrawN
  board.py unplug NAME                     leave the bus (firmware stops)
  board.py replug NAME [--pid P]           come back, same board or new PID
  board.py remove NAME | --all             unplug and delete
  board.py start NAME [--echo] [--boot-pid P]
                                           run firmware in the background:
                                           records every output report
  board.py stop NAME                       stop the firmware (board stalls)
  board.py send NAME TEXT...               one input report per TEXT
  board.py send-hex NAME HEX...            raw input reports (framed as above)
  board.py burst NAME COUNT [--prefix P]   COUNT numbered reports, P1, P2...
  board.py received NAME [--wait N] [--text]
                                           output reports read so far, one
                                           per line (hex, or text)
  board.py clear NAME                      forget the recorded reports
  board.py node NAME                       the host's /dev/hidrawN
  board.py setup [--controllers N]         load the drivers (plug does this
                                           with 4 controllers)
  board.py serve                           answer commands over a socket
                                           until killed (the board service)

Exit status 0 on success, 1 on failure with the reason on stderr. Every
wait is bounded (--timeout, default 10 s). While the board service runs,
every command goes through it (see service.py).
"""

import argparse
import os
import sys
import time

import firmware
import gadget
from report_descriptor import vendor_descriptor


class _Exit(Exception):
    def __init__(self, status):
        super().__init__(status)
        self.status = status


class _Parser(argparse.ArgumentParser):
    """Writes usage and errors to the command's own streams, not the
    process's: the service runs many commands at once."""

    def __init__(self, *args, out=None, err=None, **kwargs):
        super().__init__(*args, **kwargs)
        self.out, self.err = out, err

    def _print_message(self, message, file=None):
        if message:
            (self.err if file is sys.stderr else self.out).write(message)

    def exit(self, status=0, message=None):
        if message:
            self.err.write(message)
        raise _Exit(status)


def _int(text):
    return int(text, 0)


def _hex(text):
    try:
        return bytes.fromhex(text)
    except ValueError:
        raise argparse.ArgumentTypeError("not hex: %r" % text)


def parse_args(argv, out=sys.stdout, err=sys.stderr):
    streams = {"out": out, "err": err}
    p = _Parser(prog="board.py", description=__doc__.split("\n\n")[0],
                formatter_class=argparse.RawDescriptionHelpFormatter,
                epilog=__doc__.split("\n\n", 1)[1], **streams)
    p.add_argument("--timeout", type=float, default=10.0)
    sub = p.add_subparsers(dest="cmd", required=True, parser_class=_Parser)

    def add(name, **kwargs):
        return sub.add_parser(name, **streams, **kwargs)

    s = add("setup")
    s.add_argument("--controllers", type=int, default=gadget.DEFAULT_CONTROLLERS)

    s = add("plug")
    s.add_argument("name")
    s.add_argument("--vid", type=_int, default=0x04D8)
    s.add_argument("--pid", type=_int, default=0x003F)
    s.add_argument("--release", type=_int, default=0x0002)
    s.add_argument("--serial", default=None)
    s.add_argument("--in", dest="in_len", type=int, default=64)
    s.add_argument("--out", dest="out_len", type=int, default=64)
    s.add_argument("--report-id", type=_int, default=0)
    s.add_argument("--feature-id", type=_int, default=0,
                   help="also a feature report under this ID (input and output "
                   "reports stay as --report-id says)")
    s.add_argument("--output-report-id", type=_int, default=None,
                   help="output reports under this ID (default: --report-id's)")
    s.add_argument("--descriptor", type=_hex, help="raw report descriptor (hex); "
                   "--in/--out/--report-id must still describe it")
    s.add_argument("--udc", help="controller to use (default: the first free)")

    for name in ("unplug", "stop", "node", "clear"):
        add(name).add_argument("name")
    s = add("replug")
    s.add_argument("name")
    s.add_argument("--pid", type=_int)
    s = add("remove")
    s.add_argument("name", nargs="?")
    s.add_argument("--all", action="store_true")

    s = add("start")
    s.add_argument("name")
    s.add_argument("--echo", action="store_true")
    s.add_argument("--boot-pid", type=_int)
    s = add("firmware", help="run the firmware in the foreground")
    s.add_argument("name")
    s.add_argument("--echo", action="store_true")
    s.add_argument("--boot-pid", type=_int)
    s.add_argument("--ready", help=argparse.SUPPRESS)

    s = add("send")
    s.add_argument("name")
    s.add_argument("texts", nargs="+")
    s = add("send-hex")
    s.add_argument("name")
    s.add_argument("reports", nargs="+", type=_hex)
    s = add("burst")
    s.add_argument("name")
    s.add_argument("count", type=int)
    s.add_argument("--prefix", default="")

    s = add("received")
    s.add_argument("name")
    s.add_argument("--wait", type=int, default=0, help="until at least N arrived")
    s.add_argument("--text", action="store_true")

    add("serve")
    return p.parse_args(argv)


def cmd_plug(a, out):
    for n in (a.in_len, a.out_len):
        if not 0 <= n <= 255:
            raise gadget.BoardError("report length %d out of range" % n)
    desc = a.descriptor or vendor_descriptor(a.in_len, a.out_len, a.report_id, a.feature_id,
                                             a.output_report_id)
    b = gadget.Board(a.name)
    b.create(a.vid, a.pid, a.release, a.serial or "RIG-" + a.name, desc,
             a.in_len, a.out_len, a.report_id, output_report_id=a.output_report_id)
    out.write(b.plug(a.udc, wait=a.timeout) + "\n")


def cmd_start(a, in_service):
    b = gadget.Board(a.name)
    b.config()
    b.stop_firmware()
    if in_service:
        # A thread of the service: no process to start.
        firmware.start_thread(b, echo=a.echo, boot_pid=a.boot_pid, timeout=a.timeout)
        return
    ready = os.path.join(b.state, "firmware.ready")
    if os.path.exists(ready):
        os.unlink(ready)
    # Forked, not started afresh: a second interpreter start costs seconds
    # under emulation.
    log = os.open(os.path.join(b.state, "firmware.log"),
                  os.O_WRONLY | os.O_CREAT | os.O_APPEND, 0o644)
    pid = os.fork()
    if pid == 0:
        code = 1
        try:
            os.setsid()
            null = os.open(os.devnull, os.O_RDONLY)
            os.dup2(null, 0)
            os.dup2(log, 1)
            os.dup2(log, 2)
            firmware.run(b, echo=a.echo, boot_pid=a.boot_pid, ready_path=ready)
        except BaseException as e:  # noqa: B036 - the child must never return
            print("firmware of %s ended: %r" % (a.name, e), file=sys.stderr)
        finally:
            os._exit(code)
    os.close(log)
    with open(os.path.join(b.state, "firmware.pid"), "w") as f:
        f.write(str(pid))
    deadline = time.monotonic() + a.timeout
    while not os.path.exists(ready):
        done, _ = os.waitpid(pid, os.WNOHANG)
        if done or time.monotonic() > deadline:
            if not done:
                os.kill(pid, 9)
            raise gadget.BoardError("firmware of %s did not start; see %s/firmware.log"
                                    % (a.name, b.state))
        time.sleep(0.02)


def cmd_received(a, out):
    b = gadget.Board(a.name)
    cfg = b.config()
    deadline = time.monotonic() + a.timeout
    reports = b.received()
    while len(reports) < a.wait:
        if time.monotonic() > deadline:
            raise gadget.BoardError("%d of %d reports arrived" % (len(reports), a.wait))
        time.sleep(0.02)
        reports = b.received()
    for r in reports:
        out.write((firmware._text(r, gadget.output_report_id(cfg)).decode("utf-8", "replace")
                   if a.text else r.hex()) + "\n")


def run(a, out, in_service=False):
    if a.cmd not in ("received", "node", "firmware", "send", "send-hex", "burst",
                     "stop", "clear"):
        gadget.setup(getattr(a, "controllers", gadget.DEFAULT_CONTROLLERS))
    b = gadget.Board(a.name) if getattr(a, "name", None) else None
    if a.cmd == "setup":
        pass
    elif a.cmd == "plug":
        cmd_plug(a, out)
    elif a.cmd == "unplug":
        b.config()
        b.unplug(wait=a.timeout)
    elif a.cmd == "replug":
        b.config()
        if b.udc():
            b.unplug(wait=a.timeout)
        if a.pid is not None:
            b.set_product(a.pid)
        out.write(b.plug(wait=a.timeout) + "\n")
    elif a.cmd == "remove":
        if a.all:
            for n in gadget.names():
                gadget.Board(n).remove()
        elif b:
            b.remove()
        else:
            raise gadget.BoardError("remove needs a NAME or --all")
    elif a.cmd == "start":
        cmd_start(a, in_service)
    elif a.cmd == "stop":
        b.stop_firmware()
    elif a.cmd == "firmware":
        firmware.run(b, echo=a.echo, boot_pid=a.boot_pid, ready_path=a.ready)
    elif a.cmd in ("send", "send-hex", "burst"):
        if a.cmd == "send":
            reports = (t.encode() for t in a.texts)
        elif a.cmd == "send-hex":
            reports = a.reports
        else:
            reports = (("%s%d" % (a.prefix, i)).encode() for i in range(1, a.count + 1))
        b.send(reports, timeout=a.timeout)
    elif a.cmd == "received":
        cmd_received(a, out)
    elif a.cmd == "clear":
        open(b.received_path(), "w").close()
    elif a.cmd == "node":
        node = b.host_node()
        if not node:
            raise gadget.BoardError("%s is not seen by the host" % a.name)
        out.write(node + "\n")
    elif a.cmd == "serve":
        raise gadget.BoardError("serve is the service itself, not one of its commands")


def main(argv, out=sys.stdout, err=sys.stderr, in_service=False):
    """Runs one command; returns its exit status."""
    try:
        a = parse_args(argv, out, err)
    except _Exit as e:
        return e.status
    try:
        run(a, out, in_service)
    except (gadget.BoardError, OSError, ValueError) as e:
        err.write("board.py %s: %s\n" % (a.cmd, e))
        return 1
    return 0


def serve():
    """The board service, in the foreground until killed."""
    import service
    server = service.serve(lambda argv, out, err: main(argv, out, err, in_service=True))
    print("board service: listening on %s" % service.socket_path(), flush=True)
    try:
        server.serve_forever()
    finally:
        server.server_close()
        try:
            os.unlink(service.socket_path())
        except OSError:
            pass
