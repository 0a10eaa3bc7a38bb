#!/bin/sh
# Runs a Windows program under headless Wine in a prefix of its own:
#   wine-run.sh PREFIX PROGRAM [ARG...]
# ctest uses it as the emulator of the cross build. The prefix is made on
# first use (under a lock: tests may start in parallel). A run of many
# short tests should hold one server for the whole run (wineserver -p
# before, wineserver -k after, as tools/setup.sh does): a second
# "wineserver -p" while one runs waits for that one to end.
set -eu
prefix=$1; shift
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
# Headless: Wine must not reach for a display, nor offer to install Mono
# or Gecko into the prefix.
unset DISPLAY WAYLAND_DISPLAY
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

# Debian's wine starts its 32-bit loader first, which cannot run on a
# kernel without 32-bit support: then only the 64-bit loader (and 64-bit
# programs) will do.
wine=$(sh "$(dirname "$0")/wine32.sh" --loader)
[ "$wine" = wine ] || export WINELOADER="$wine"

if [ ! -f "$prefix/system.reg" ]; then
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    [ -f "$prefix/system.reg" ] || "$wine" wineboot.exe -i >/dev/null 2>&1 || true
  ) 9>"$prefix.lock"
fi
exec "$wine" "$@"
