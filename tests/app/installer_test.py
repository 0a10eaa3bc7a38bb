#!/usr/bin/env python3
"""The Windows downloads as a user gets them, under Wine.

installer_test.py --cpack CPACK --build DIR --wine-run WINE_RUN --work DIR --version V
                  [--vmrun VMRUN --vm-cache DIR]

Runs cpack in the build DIR (the zip and the installer), then, in a fresh
Wine prefix: installs silently (/S) for the current user, checks the files
(the same as the zip's), the Start-menu entry and the Apps entry (HKCU,
none in HKLM); uninstalls silently with the command the Apps entry names,
and checks that all of it is gone; then an upgrade over an earlier version
with a file this one lacks, and a folder outside the profile. The
installer is a 32-bit program: where this host cannot run those
(tools/wine32.sh), everything after cpack runs in the rig's guest (VMRUN),
whose kernel can.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import time
import zipfile

UNINSTALL_KEY = r"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Wendrel"
WINE32 = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "wine32.sh")
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)
    return ok


def run(cmd, env=None, timeout=600):
    started = time.monotonic()
    r = subprocess.run(cmd, env=env, capture_output=True, text=True, timeout=timeout)
    print(f"     {os.path.basename(cmd[0])} {' '.join(cmd[1:])[:100]}: exit {r.returncode}, "
          f"{time.monotonic() - started:.1f} s", flush=True)
    return r


def registry_key(reg_file, key):
    """The values of `key` in a Wine registry file (user.reg, system.reg),
    or None: strings unescaped, DWORDs as ints."""
    if not os.path.exists(reg_file):
        return None
    values = None
    with open(reg_file, encoding="utf-8", errors="replace") as f:
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("["):
                name = line[1:line.rindex("]")] if "]" in line else ""
                if values is not None:
                    break
                if name.lower() == key.lower():
                    values = {}
                continue
            if values is None:
                continue
            m = re.match(r'"((?:[^"\\]|\\.)*)"=(.*)$', line)
            if not m:
                continue
            data = m.group(2)
            if data.startswith("dword:"):
                values[m.group(1)] = int(data[6:], 16)
            elif data.startswith('"'):
                values[m.group(1)] = re.sub(r"\\(.)", r"\1", data[1:-1])
    return values


def unix_path(prefix, windows_path):
    """C:\\x\\y in the prefix, with the case of what is on disk."""
    m = re.match(r"^([A-Za-z]):\\(.*)$", windows_path)
    if not m:
        return None
    path = os.path.join(prefix, "drive_" + m.group(1).lower())
    for part in m.group(2).split("\\"):
        if not part:
            continue
        names = os.listdir(path) if os.path.isdir(path) else []
        path = os.path.join(path, next((n for n in names if n.lower() == part.lower()), part))
    return path


def earlier_installer(out, setup):
    """An installer of an "earlier version" that also installed retired.dll,
    made from the one cpack made; or None where makensis is missing."""
    makensis = shutil.which("makensis")
    script = os.path.join(out, "_CPack_Packages", os.path.basename(setup).split("-")[-2],
                          "NSIS", "project.nsi")
    if not makensis or not os.path.exists(script):
        return None
    text = open(script, encoding="utf-8").read()
    earlier = os.path.join(out, "earlier-setup.exe")
    text = re.sub(r'^OutFile .*$', lambda m: f'OutFile "{earlier}"', text, count=1, flags=re.M)
    text = text.replace('WriteUninstaller "$INSTDIR\\${UNINSTALLER}"',
                        'WriteUninstaller "$INSTDIR\\${UNINSTALLER}"\n'
                        '  FileOpen $9 "$INSTDIR\\retired.dll" w\n  FileClose $9', 1)
    text = text.replace("\nremoved:\n", '\nremoved:\n  Delete "$INSTDIR\\retired.dll"\n', 1)
    path = os.path.join(out, "earlier.nsi")
    open(path, "w", encoding="utf-8").write(text)
    r = run([makensis, "-INPUTCHARSET", "UTF8", path])
    return earlier if r.returncode == 0 and os.path.exists(earlier) else None


def check_upgrade_and_folder(out, setup, shipped, prefix, inst, wine):
    """An upgrade removes what the earlier version installed; a folder
    outside the user's profile gives way to the default one."""
    earlier = earlier_installer(out, setup)
    if not check(earlier is not None, "an earlier version's installer made with makensis"):
        return
    retired = os.path.join(inst, "retired.dll")
    wine(earlier, "/S")
    check(os.path.exists(retired), "the earlier version installed retired.dll")
    r = wine(setup, "/S")
    check(r.returncode == 0, "upgrade exits 0")
    present = sorted(os.listdir(inst)) if os.path.isdir(inst) else []
    check(present == sorted(list(shipped) + ["uninstall.exe"]),
          f"after the upgrade, this version's files alone: {present}")

    # As an administrator's script might: every account may write there.
    outside = unix_path(prefix, "C:\\Wendrel")
    r = wine(setup, "/S", "/D=C:\\Wendrel")
    check(r.returncode == 0 and not os.path.exists(outside) and os.path.isdir(inst),
          f"/D=C:\\Wendrel installs in the profile instead (exit {r.returncode})")
    key = registry_key(os.path.join(prefix, "user.reg"), UNINSTALL_KEY) or {}
    r = wine(key.get("UninstallString", "").strip('"'), "/S")
    check(r.returncode == 0 and gone(inst), "uninstalled again")


def host_runs_wine32():
    try:
        return subprocess.run(["sh", WINE32], capture_output=True).returncode == 0
    except OSError:
        return False


def gone(path, timeout=60):
    """Whether `path` is gone, or goes within `timeout` seconds: the
    uninstaller goes on in a copy of itself, which `wineserver -w` has not
    always waited for."""
    deadline = time.monotonic() + timeout
    while os.path.exists(path) and time.monotonic() < deadline:
        time.sleep(0.5)
    return not os.path.exists(path)


def in_guest(a):
    """The rest of the checks in the rig's guest, on the packages made here."""
    if not a.vmrun:
        check(False, "32-bit programs run here, or the rig is given (--vmrun)")
        return 1
    here = os.path.abspath(__file__)
    # The prefix Wine makes in the guest's /tmp (memory) takes over 1.3 GB.
    cmd = [sys.executable, a.vmrun, "--cpus", "1", "--mem", "4096", "--timeout", "5200",
           "--cache", a.vm_cache or os.path.join(a.work, "vm-cache"), "--results", a.work,
           "--", "python3", here, "--in-guest", *sys.argv[1:]]
    print("     this host cannot run 32-bit programs: the installer runs in the rig's guest",
          flush=True)
    return subprocess.run(cmd).returncode


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cpack", required=True)
    ap.add_argument("--build", required=True)
    ap.add_argument("--wine-run", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--version", required=True)
    ap.add_argument("--vmrun")
    ap.add_argument("--vm-cache")
    # Inside the guest: the packages are made, the prefix goes to its /tmp.
    ap.add_argument("--in-guest", action="store_true", help=argparse.SUPPRESS)
    a = ap.parse_args()

    out = os.path.join(a.work, "packages")
    if not a.in_guest:
        shutil.rmtree(a.work, ignore_errors=True)
        r = run([a.cpack, "--config", os.path.join(a.build, "CPackConfig.cmake"), "-B", out])
        if not check(r.returncode == 0, "cpack makes the packages"):
            print(r.stdout[-3000:], r.stderr[-3000:])
            return 1
        # NSIS installers are 32-bit programs.
        if not host_runs_wine32():
            return in_guest(a)
    arch = "win64" if "win64" in open(os.path.join(a.build, "CPackConfig.cmake")).read() else "win32"
    base = f"wendrel-{a.version}-{arch}"
    zip_path = os.path.join(out, base + ".zip")
    setup = os.path.join(out, base + "-setup.exe")
    check(os.path.exists(zip_path), f"{base}.zip")
    if not check(os.path.exists(setup), f"{base}-setup.exe"):
        return 1

    with zipfile.ZipFile(zip_path) as z:
        shipped = {n.split("/", 1)[1]: z.read(n) for n in z.namelist() if not n.endswith("/")}
    check(sorted(shipped) == ["CHANGELOG.txt", "LICENSE.txt", "README.txt", "wendrel.exe"],
          f"zip holds the program and its texts in {base}/: {sorted(shipped)}")

    data = open(setup, "rb").read()
    check(b'level="asInvoker"' in data and b"requireAdministrator" not in data,
          "installer asks for no administrator rights")
    print(f"     installer {len(data)} bytes, zip {os.path.getsize(zip_path)} bytes")

    prefix = "/tmp/wendrel-installer-prefix" if a.in_guest else os.path.join(a.work, "prefix")
    env = dict(os.environ, WINEPREFIX=prefix)

    def wine(*args):
        # Emulated, the guest's first Wine start alone can take minutes.
        r = run(["sh", a.wine_run, prefix, *args], env=env, timeout=2400 if a.in_guest else 600)
        if r.returncode != 0:
            print((r.stdout[-1500:] + r.stderr[-1500:]).rstrip(), flush=True)
        # The uninstaller goes on in a copy of itself: wait for every
        # program of the prefix, which also writes the registry out.
        run(["wineserver", "-w"], env=env, timeout=300)
        return r

    if a.in_guest:
        # Run from the guest's own disk, not the share with the host.
        local = os.path.join("/tmp", os.path.basename(setup))
        shutil.copy(setup, local)
        setup = local
    r = wine(setup, "/S")
    check(r.returncode == 0, "silent install exits 0")

    users = os.path.join(prefix, "drive_c", "users")
    profiles = [os.path.join(users, u) for u in os.listdir(users) if u.lower() != "public"]
    if not check(len(profiles) == 1, f"one user profile: {profiles}"):
        return 1
    profile = profiles[0]
    inst = os.path.join(profile, "AppData", "Local", "Programs", "Wendrel")
    link = os.path.join(profile, "AppData", "Roaming", "Microsoft", "Windows", "Start Menu",
                        "Programs", "Wendrel.lnk")

    present = sorted(os.listdir(inst)) if os.path.isdir(inst) else []
    check(present == sorted(list(shipped) + ["uninstall.exe"]),
          f"installed in the user's Programs folder: {present}")
    for name, content in shipped.items():
        path = os.path.join(inst, name)
        got = open(path, "rb").read() if os.path.exists(path) else None
        if not check(got == content, f"{name} as in the zip") and got is not None:
            # Where they part says what went wrong: a short copy, or other bytes.
            at = next((i for i, (x, y) in enumerate(zip(got, content)) if x != y),
                      min(len(got), len(content)))
            print(f"     installed {len(got)} bytes, zipped {len(content)}; first difference at {at}")

    key = registry_key(os.path.join(prefix, "user.reg"), UNINSTALL_KEY) or {}
    print(f"     Apps entry: {key}")
    inst_win = key.get("InstallLocation", "")
    check(key.get("DisplayName") == "Wendrel", "Apps entry: DisplayName")
    check(key.get("DisplayVersion") == a.version, "Apps entry: DisplayVersion")
    check(bool(key.get("Publisher")), "Apps entry: Publisher")
    check(unix_path(prefix, inst_win) == inst, f"Apps entry: InstallLocation {inst_win}")
    uninstall = key.get("UninstallString", "")
    check(uninstall == f'"{inst_win}\\uninstall.exe"', f"Apps entry: UninstallString {uninstall}")
    check(key.get("DisplayIcon") == f"{inst_win}\\wendrel.exe,0", "Apps entry: DisplayIcon")
    size_kb = sum(os.path.getsize(os.path.join(inst, n)) for n in present) // 1024
    estimated = key.get("EstimatedSize", 0)
    check(isinstance(estimated, int) and abs(estimated - size_kb) <= len(present),
          f"Apps entry: EstimatedSize {estimated} KB ~ {size_kb} KB")
    check(key.get("NoModify") == 1 and key.get("NoRepair") == 1, "Apps entry: NoModify, NoRepair")
    check(registry_key(os.path.join(prefix, "system.reg"), UNINSTALL_KEY) is None,
          "nothing for all users (HKLM)")

    lnk = open(link, "rb").read() if os.path.exists(link) else b""
    target = f"{inst_win}\\wendrel.exe"
    check(target.encode("ascii").lower() in lnk.lower()
          or target.encode("utf-16-le").lower() in lnk.lower(),
          f"Start-menu entry points at {target}")

    # As the Apps list does: the command it names, here silently.
    r = wine(uninstall.strip('"'), "/S")
    check(r.returncode == 0, "silent uninstall exits 0")
    check(gone(inst), "installation folder gone")
    check(not os.path.exists(link), "Start-menu entry gone")
    check(registry_key(os.path.join(prefix, "user.reg"), UNINSTALL_KEY) is None, "Apps entry gone")

    check_upgrade_and_folder(out, setup, shipped, prefix, inst, wine)

    print(f"{len(failures)} failed" if failures else "all checks passed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
