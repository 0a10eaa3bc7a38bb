#!/bin/sh
# Makes a fresh Wine prefix for the end-to-end case, on the host:
#   prepare_prefix.sh WINE_RUN PREFIX
# winebus must read hidraw nodes, which Wine 8 does only with its SDL bus
# off. The Japanese dialog font is substituted by IPAPGothic.
set -eu
run=$1
prefix=$2
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
rm -rf "$prefix" "$prefix.lock"
sh "$run" "$prefix" reg.exe add 'HKLM\System\CurrentControlSet\Services\winebus' \
  /v 'Enable SDL' /t REG_DWORD /d 0 /f
sh "$run" "$prefix" reg.exe add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
  /v 'MS UI Gothic' /t REG_SZ /d IPAPGothic /f
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true

# A host whose kernel cannot run Wine's 32-bit half (the guest's can) made
# the prefix without it: give 32-bit programs Wine's own DLLs and the
# common controls 6 assembly, which is all wendrel.exe needs there.
if ! sh "$(dirname "$run")/wine32.sh" >/dev/null; then
  for lib in /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/wine/i386-windows; do
    [ -d "$lib" ] || continue
    wow=$prefix/drive_c/windows/syswow64
    mkdir -p "$wow"
    for f in "$lib"/*; do
      [ -e "$wow/${f##*/}" ] || ln -s "$f" "$wow/${f##*/}"
    done
    sxs=$prefix/drive_c/windows/winsxs
    for m in "$sxs"/manifests/amd64_microsoft.windows.common-controls_*.manifest; do
      [ -f "$m" ] || continue
      name=$(basename "$m" .manifest)
      x86=x86_${name#amd64_}
      sed 's/processorArchitecture="amd64"/processorArchitecture="x86"/' "$m" \
        > "$sxs/manifests/$x86.manifest"
      mkdir -p "$sxs/$x86"
      ln -sf "$lib/comctl32.dll" "$sxs/$x86/comctl32.dll"
    done
    break
  done
  echo "prefix: 32-bit half filled in from Wine's own DLLs"
fi

# Nothing of Wine may keep running into the boot.
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
echo "prefix ready: $prefix"
