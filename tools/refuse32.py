#!/usr/bin/env python3
"""Runs a command on this machine as on one whose kernel cannot run 32-bit
programs: a seccomp filter, inherited by every process the command starts,
kills a 32-bit process at its first system call. 64-bit programs run as
usual (the rig's VM too: its guest's 32-bit programs make their system
calls to the guest kernel).

    refuse32.py COMMAND [ARG...]

For trying the test command's path for such machines for real, e.g.
`python3 tools/refuse32.py sh tools/test.sh`."""

import ctypes
import os
import struct
import sys

PR_SET_NO_NEW_PRIVS = 38
PR_SET_SECCOMP = 22
SECCOMP_MODE_FILTER = 2
AUDIT_ARCH_X86_64 = 0xC000003E
BPF_LD_W_ABS = 0x20
BPF_JEQ_K = 0x15
BPF_RET_K = 0x06
SECCOMP_RET_ALLOW = 0x7FFF0000
SECCOMP_RET_KILL_PROCESS = 0x80000000


def refuse_32bit():
    program = [
        (BPF_LD_W_ABS, 0, 0, 4),  # seccomp_data.arch
        (BPF_JEQ_K, 0, 1, AUDIT_ARCH_X86_64),
        (BPF_RET_K, 0, 0, SECCOMP_RET_ALLOW),
        (BPF_RET_K, 0, 0, SECCOMP_RET_KILL_PROCESS),
    ]
    code = b"".join(struct.pack("HBBI", *insn) for insn in program)
    buf = ctypes.create_string_buffer(code, len(code))

    class Prog(ctypes.Structure):
        _fields_ = [("len", ctypes.c_ushort), ("filter", ctypes.c_void_p)]

    prog = Prog(len(program), ctypes.addressof(buf))
    libc = ctypes.CDLL(None, use_errno=True)
    if libc.prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 or \
            libc.prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, ctypes.byref(prog), 0, 0) != 0:
        raise OSError(ctypes.get_errno(), "seccomp filter not installed")


def main(argv):
    if not argv:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    refuse_32bit()
    os.execvp(argv[0], argv)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
