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
# Nothing of Wine may keep running into the boot.
WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
echo "prefix ready: $prefix"
