#!/usr/bin/env python3
"""Checks the built wendrel.exe as a user would receive it.

check_exe.py EXE OBJDUMP VERSION MAX_BYTES ARCH

A GUI program of the given architecture (i386, x86-64), no larger than
MAX_BYTES, importing only DLLs that every Windows has (and not hid.dll,
which it loads itself, nor SetDefaultDllDirectories, which it looks up),
with the version resource VERSION and a manifest
that names the same architecture and asks for common controls 6,
asInvoker, per-monitor (v2) DPI awareness with the system-wide one for
older Windows, and the legacy code page.
"""
import re
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

# The architecture a manifest names for each PE format.
MANIFEST_ARCH = {"i386": "x86", "x86-64": "amd64"}
NS_ASM1 = "urn:schemas-microsoft-com:asm.v1"
NS_ASM3 = "urn:schemas-microsoft-com:asm.v3"
NS_2005 = "http://schemas.microsoft.com/SMI/2005/WindowsSettings"
NS_2016 = "http://schemas.microsoft.com/SMI/2016/WindowsSettings"
NS_2019 = "http://schemas.microsoft.com/SMI/2019/WindowsSettings"

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


def setting(root, namespace, name):
    """The text of a windowsSettings entry, or None."""
    node = root.find(f"{{{NS_ASM3}}}application/{{{NS_ASM3}}}windowsSettings/"
                     f"{{{namespace}}}{name}")
    return None if node is None else (node.text or "").strip()


def check_manifest(text, arch, version):
    try:
        root = ET.fromstring(text.encode("utf-8"))
    except ET.ParseError as e:
        check(False, f"manifest is well-formed XML ({e})")
        return
    identity = root.find(f"{{{NS_ASM1}}}assemblyIdentity")
    want_arch = MANIFEST_ARCH[arch]
    got_arch = identity.get("processorArchitecture") if identity is not None else None
    check(got_arch == want_arch, f"manifest: processorArchitecture {got_arch} == {want_arch}")
    got_version = identity.get("version") if identity is not None else None
    check(got_version == version, f"manifest: version {got_version} == {version}")

    controls = [a for a in root.iter(f"{{{NS_ASM1}}}assemblyIdentity")
                if a.get("name") == "Microsoft.Windows.Common-Controls"]
    check(any(a.get("version") == "6.0.0.0" for a in controls),
          "manifest: common controls 6.0.0.0")
    levels = [n.get("level") for n in root.iter(f"{{{NS_ASM3}}}requestedExecutionLevel")]
    check(levels == ["asInvoker"], f"manifest: asInvoker ({levels})")

    # Windows 10 1703 and later read dpiAwareness and ignore dpiAware;
    # older ones read dpiAware alone.
    awareness = setting(root, NS_2016, "dpiAwareness")
    first = (awareness or "").split(",")[0].strip().lower()
    check(first == "permonitorv2", f"manifest: dpiAwareness {awareness!r} starts with PerMonitorV2")
    aware = setting(root, NS_2005, "dpiAware")
    check((aware or "").lower() in ("true", "true/pm"), f"manifest: dpiAware {aware!r} fallback")
    code_page = setting(root, NS_2019, "activeCodePage")
    check(code_page == "Legacy", f"manifest: activeCodePage {code_page!r} == 'Legacy'")


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
    # Systems without it must still start the program.
    check(b"SetDefaultDllDirectories\0" in data
          and not re.search(r"\bSetDefaultDllDirectories\b", headers),
          "SetDefaultDllDirectories looked up at run time, not imported")

    check(fixed_file_version(data) == version,
          f"version resource {fixed_file_version(data)} == {version}")
    for text in (b"FileVersion", b"ProductVersion"):
        check(text.decode().encode("utf-16-le") + b"\0\0" in data
              and version.encode("utf-16-le") in data, f"{text.decode()} string {version}")

    # The .rc is UTF-8: its Japanese reached the binary intact.
    check("バージョン情報 Wendrel(&A)...".encode("utf-16-le") in data, "string 101 in UTF-16")

    m = re.search(rb"<assembly.*?</assembly>", data, re.S)
    check(m is not None, "manifest embedded")
    check_manifest(m.group(0).decode("utf-8") if m else "", arch, version)

    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
