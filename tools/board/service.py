"""The board service: one long-lived process in the guest that runs board
commands for every client, so that a command costs a round trip on a Unix
socket instead of a fresh interpreter (a second or more under emulation).

A request is the command's arguments, each ended by a NUL byte; the client
then shuts down its sending side. The reply is one line
"STATUS OUT_BYTES ERR_BYTES", the command's standard output and its
standard error; then the service closes the connection.

This module imports little: the command line uses request() before it
loads anything else."""

import os
import socket

STATE = os.environ.get("WENDREL_BOARD_STATE", "/run/wendrel-board")


def socket_path():
    return os.path.join(STATE, "board.sock")


def _receive_all(sock):
    chunks = []
    while True:
        chunk = sock.recv(65536)
        if not chunk:
            return b"".join(chunks)
        chunks.append(chunk)


def request(argv, path=None):
    """(status, out, err) of one command run by the service, or None when no
    service answers at path."""
    s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    try:
        try:
            s.connect(path or socket_path())
        except OSError:
            return None
        s.sendall(b"".join(a.encode() + b"\0" for a in argv))
        s.shutdown(socket.SHUT_WR)
        reply = _receive_all(s)
    finally:
        s.close()
    header, _, body = reply.partition(b"\n")
    try:
        status, n_out, n_err = (int(x) for x in header.split())
    except ValueError:
        return 1, "", "board service: no answer to %r\n" % " ".join(argv)
    return (status, body[:n_out].decode(errors="replace"),
            body[n_out:n_out + n_err].decode(errors="replace"))


def serve(run, path=None):
    """Answers requests until the process ends, one thread per client, so
    that a command that waits (a burst, a wait for reports) holds up no
    other. run(argv, out, err) runs one command and returns its status.
    Returns the server; its serve_forever() is left to the caller."""
    import io
    import socketserver

    class Handler(socketserver.BaseRequestHandler):
        def handle(self):
            data = _receive_all(self.request)
            argv = [a.decode(errors="replace") for a in data.split(b"\0")[:-1]]
            out, err = io.StringIO(), io.StringIO()
            try:
                status = run(argv, out, err)
            except Exception as e:  # a broken command fails, never the service
                err.write("board service: %r\n" % e)
                status = 1
            o, e = out.getvalue().encode(), err.getvalue().encode()
            self.request.sendall(b"%d %d %d\n" % (status, len(o), len(e)) + o + e)

    class Server(socketserver.ThreadingMixIn, socketserver.UnixStreamServer):
        daemon_threads = True

    path = path or socket_path()
    os.makedirs(os.path.dirname(path), exist_ok=True)
    try:
        os.unlink(path)
    except FileNotFoundError:
        pass
    return Server(path, Handler)
