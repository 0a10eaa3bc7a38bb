"""The board's scripted firmware: reads every output report the host
sends, records it, and optionally echoes it or answers "Boot" by leaving
the bus and coming back as its bootloader (another product ID).

Runs in the foreground until killed or stopped; board.py start/stop run
it in the background: as a thread of the board service, or as a process
of its own without one. A board without firmware running never reads: it
stalls once the gadget's few queued output reports are full."""

import os
import select
import threading
import time

import gadget

BOOT_COMMAND = b"Boot"


def _text(report, report_id):
    body = report[1:] if report_id and report[:1] == bytes([report_id]) else report
    return body.split(b"\0", 1)[0]


class _Stopped(Exception):
    pass


def _wait(fd, events, stop_fd):
    """Waits until fd is ready for events; raises _Stopped once stop_fd is
    readable."""
    poller = select.poll()
    poller.register(fd, events)
    if stop_fd is not None:
        poller.register(stop_fd, select.POLLIN)
    while True:
        ready = dict(poller.poll())
        if stop_fd in ready:
            raise _Stopped()
        if fd in ready:
            return


def run(board, echo=False, boot_pid=None, ready_path=None, stop_fd=None, on_ready=None):
    cfg = board.config()
    fd = os.open(board.node(), os.O_RDWR | os.O_NONBLOCK)
    record = open(board.received_path(), "a", buffering=1)
    if ready_path:
        with open(ready_path, "w") as f:
            f.write(str(os.getpid()))
    if on_ready:
        on_ready()
    try:
        while True:
            _wait(fd, select.POLLIN, stop_fd)
            try:
                report = os.read(fd, 4096)
            except BlockingIOError:
                continue
            if not report:
                time.sleep(0.01)
                continue
            record.write(report.hex() + "\n")
            text = _text(report, gadget.output_report_id(cfg))
            if boot_pid is not None and text == BOOT_COMMAND:
                os.close(fd)
                fd = -1
                _enter_bootloader(board, boot_pid)
                fd = os.open(board.node(), os.O_RDWR | os.O_NONBLOCK)
            elif echo:
                reply = board.input_report(text, cfg)
                while True:
                    _wait(fd, select.POLLOUT, stop_fd)
                    try:
                        os.write(fd, reply)
                        break
                    except BlockingIOError:
                        pass
    except _Stopped:
        pass
    finally:
        if fd >= 0:
            os.close(fd)
        record.close()


def start_thread(board, echo=False, boot_pid=None, timeout=10.0):
    """Runs the firmware on a thread of this process until the board's
    stop_firmware(); returns once it reads."""
    stop_r, stop_w = os.pipe()
    ready = threading.Event()
    failure = []

    def body():
        try:
            run(board, echo=echo, boot_pid=boot_pid, stop_fd=stop_r, on_ready=ready.set)
        except Exception as e:
            failure.append(e)
            with open(os.path.join(board.state, "firmware.log"), "a") as log:
                log.write("firmware of %s ended: %r\n" % (board.name, e))
        finally:
            ready.set()

    thread = threading.Thread(target=body, name="firmware " + board.name, daemon=True)

    def stop():
        os.write(stop_w, b"x")
        thread.join(timeout=30)
        os.close(stop_w)
        if not thread.is_alive():
            os.close(stop_r)

    thread.start()
    gadget.register_firmware_thread(board.name, stop)
    if not ready.wait(timeout) or failure:
        board.stop_firmware()
        raise gadget.BoardError("firmware of %s did not start: %s"
                                % (board.name, failure[0] if failure else "timed out"))


def _enter_bootloader(board, pid):
    # Leave the bus as a resetting board does, come back as another device.
    # The firmware keeps running, so the bus is left by hand, not unplug().
    gadget._write(board.gadget + "/UDC", "\n")
    board.set_product(pid)
    time.sleep(0.1)
    board.plug(wait=10.0)
