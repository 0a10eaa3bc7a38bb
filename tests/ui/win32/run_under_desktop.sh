#!/bin/sh
# Runs a Windows program that opens windows under Wine on a private X
# server (Xvfb), in a Wine virtual desktop so that windows get frames and
# captions, with a Japanese locale:
#   run_under_desktop.sh [OPTION...] PREFIX SCREENSHOT_DIR PROGRAM [ARG...]
# Options set up the prefix the first time it is made:
#   --dpi N             the screen's scale (LogPixels; 96 unless given)
#   --substitute F=T    FontSubstitutes entry: face F drawn with font T;
#                       repeatable. Without any, "MS UI Gothic" (the
#                       dialog font, which is not free) is drawn with the
#                       proportional IPAPGothic
#   --no-substitute     no FontSubstitutes entry of ours: the dialog font
#                       is missing, as on most Windows outside Japan
# The prefix is this script's own (made on first use, for one set of
# options). Bitmaps the program leaves in SCREENSHOT_DIR are converted to
# PNG. Exits with the program's status.
set -eu
dpi=96
substitutes=
own_substitutes=0
while [ $# -gt 0 ]; do
  case $1 in
    --dpi) dpi=$2; shift 2 ;;
    --substitute) substitutes="$substitutes
$2"; own_substitutes=1; shift 2 ;;
    --no-substitute) own_substitutes=1; shift ;;
    *) break ;;
  esac
done
[ "$own_substitutes" = 1 ] || substitutes="MS UI Gothic=IPAPGothic"
prefix=$1 shots=$2; shift 2
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
unset WAYLAND_DISPLAY
work="$prefix.work"
# Debian's `wine` prefers the 32-bit loader, which a kernel without 32-bit
# support cannot start; 64-bit programs then run on the 64-bit one.
if [ -z "${WINE:-}" ]; then
  WINE=$(sh "$(dirname "$0")/../../../tools/wine32.sh" --loader)
  [ "$WINE" = wine ] || export WINELOADER="$WINE"
fi
mkdir -p "$work" "$shots"

# A Japanese locale without touching the system's.
if [ ! -d "$work/locale/ja_JP.UTF-8" ]; then
  mkdir -p "$work/locale"
  localedef -i ja_JP -f UTF-8 "$work/locale/ja_JP.UTF-8" >/dev/null 2>&1 || true
fi
if [ -d "$work/locale/ja_JP.UTF-8" ]; then
  export LOCPATH="$work/locale" LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
fi

Xvfb_pid=
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$Xvfb_pid" ] && kill "$Xvfb_pid" 2>/dev/null || true
  rm -f "$work/displayfd"
}
trap cleanup EXIT INT TERM

# A display of our own: Xvfb picks a free number and writes it to a pipe.
rm -f "$work/displayfd"
mkfifo "$work/displayfd"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/displayfd" >/dev/null 2>&1 &
Xvfb_pid=$!
read -r display <"$work/displayfd"
export DISPLAY=":$display"

# A prefix made for other options is made again.
config="dpi=$dpi substitutes=$(echo "$substitutes" | tr '\n' ';')"
if [ -f "$prefix/.wendrel-desktop" ] && [ "$(cat "$prefix/.wendrel-desktop")" != "$config" ]; then
  rm -rf "$prefix"
fi
if [ ! -f "$prefix/system.reg" ]; then
  "$WINE" wineboot -i >/dev/null 2>&1 || true
fi
if [ ! -f "$prefix/.wendrel-desktop" ]; then
  # Every window in one virtual desktop, which draws frames and captions.
  "$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
  echo "$substitutes" | while IFS='=' read -r face font; do
    [ -n "$face" ] || continue
    "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
      /v "$face" /d "$font" /f >/dev/null 2>&1
  done
  "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f \
    >/dev/null 2>&1
  # Caption buttons are drawn with Marlett, which Debian's Wine may miss.
  fonts="$prefix/drive_c/windows/Fonts"
  for f in /usr/share/wine/fonts/marlett.ttf /usr/lib/wine/fonts/marlett.ttf; do
    if [ -f "$f" ] && [ ! -f "$fonts/marlett.ttf" ]; then mkdir -p "$fonts" && cp "$f" "$fonts/"; fi
  done
  # A crash ends the program instead of waiting in a debugger.
  "$WINE" reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
    /v Debugger /f >/dev/null 2>&1 || true
  wineserver -w
  echo "$config" >"$prefix/.wendrel-desktop"
fi

status=0
"$WINE" "$@" || status=$?
wineserver -w || true

for bmp in "$shots"/*.bmp; do
  [ -f "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
exit "$status"
