#!/usr/bin/env python3
"""Checks the built wendrel.exe as a user would receive it.

check_exe.py EXE OBJDUMP VERSION MAX_BYTES ARCH

A GUI program of the given architecture (i386, x86-64), no larger than
MAX_BYTES, importing only DLLs that every Windows has (and not hid.dll,
which it loads itself), with the version resource VERSION and a manifest
that asks for common controls 6, asInvoker and DPI awareness.
"""
import re
import struct
import subprocess
import sys

SYSTEM_DLLS = {
    "advapi32.dll", "comctl32.dll", "comdlg32.dll", "gdi32.dll", "imm32.dll",
    "kernel32.dll", "msvcrt.dll", "ntdll.dll", "ole32.dll", "oleaut32.dll",
    "setupapi.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "uxtheme.dll",
    "version.dll", "ws2_32.dll", "cfgmgr32.dll", "dwmapi.dll", "bcrypt.dll",
}

failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what)
    if not ok:
        failures.append(what)


def fixed_file_version(data):
    """FILEVERSION of the VS_FIXEDFILEINFO (signature 0xFEEF04BD)."""
    at = data.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        return None
    ms, ls = struct.unpack_from("<II", data, at + 8)
    return f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}"


def main():
    exe, objdump, version, max_bytes, arch = sys.argv[1:6]
    data = open(exe, "rb").read()

    check(len(data) <= int(max_bytes), f"size {len(data)} bytes <= {max_bytes}")

    headers = subprocess.run([objdump, "-p", exe], capture_output=True, text=True,
                             check=True).stdout
    fmt = "pei-i386" if arch == "i386" else "pei-x86-64"
    check(f"file format {fmt}" in headers, f"format {fmt}")
    check(re.search(r"^Subsystem\s+0*2\s+\(Windows GUI\)", headers, re.M) is not None,
          "GUI subsystem")
    dlls = sorted({m.lower() for m in re.findall(r"DLL Name: (\S+)", headers)})
    print("     imports: " + ", ".join(dlls))
    check(bool(dlls) and all(d in SYSTEM_DLLS for d in dlls), "imports system DLLs only")
    check("hid.dll" not in dlls, "hid.dll loaded at run time, not imported")

    check(fixed_file_version(data) == version,
          f"version resource {fixed_file_version(data)} == {version}")
    for text in (b"FileVersion", b"ProductVersion"):
        check(text.decode().encode("utf-16-le") + b"\0\0" in data
              and version.encode("utf-16-le") in data, f"{text.decode()} string {version}")

    # The .rc is UTF-8: its Japanese reached the binary intact.
    check("バージョン情報 Wendrel(&A)...".encode("utf-16-le") in data, "string 101 in UTF-16")

    m = re.search(rb"<assembly.*?</assembly>", data, re.S)
    check(m is not None, "manifest embedded")
    manifest = m.group(0).decode("utf-8") if m else ""
    check(re.search(r'name="Microsoft\.Windows\.Common-Controls"\s+version="6\.0\.0\.0"',
                    manifest) is not None, "manifest: common controls 6.0.0.0")
    check('level="asInvoker"' in manifest, "manifest: asInvoker")
    check(re.search(r"<dpiAware[^>]*>\s*true\s*</dpiAware>", manifest) is not None,
          "manifest: DPI aware")
    if arch == "i386":
        check(re.search(r'<assemblyIdentity[^>]*name="Wendrel"[^>]*processorArchitecture="x86"',
                        manifest) is not None, "manifest: x86")

    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
