#!/bin/sh
# Installs what is needed on a fresh Debian 12 machine and builds:
#   tools/setup.sh [run]   the console: build it in build/ and start it
#   tools/setup.sh bench   the benchmarks on the rig (bench/RESULTS.md)
#   tools/setup.sh windows the 32-bit wendrel.exe, with its tests (the same
#                          as tools/test.sh windows)
#   tools/setup.sh test    the whole test suite (the same as tools/test.sh)
# Packages come from apt-get (through sudo when not root), and only those
# missing. Each step prints a line when it starts and one with its result
# and time; its output is kept in build-logs/.
set -eu
# shellcheck source=tools/lib.sh
. "$(dirname "$0")/lib.sh"

# The board's hidraw node is root's alone until this rule gives the user
# at the seat access to it; a board already plugged in gets it at once.
udev_rule() {
  rule=/etc/udev/rules.d/70-wendrel.rules
  if ! cmp -s "$top/res/70-wendrel.rules" "$rule"; then
    $sudo install -m 644 "$top/res/70-wendrel.rules" "$rule"
  fi
  [ -d /run/udev ] || return 0
  $sudo udevadm control --reload-rules || return 0
  for dev in /sys/bus/usb/devices/*; do
    [ "$(cat "$dev/idVendor" 2>/dev/null)" = 04d8 ] || continue
    [ "$(cat "$dev/idProduct" 2>/dev/null)" = 003f ] || continue
    $sudo udevadm trigger --action=change --parent-match="$dev"
  done
}

build_console() {
  cmake -S "$top" -B "$build" -G Ninja -DBUILD_TESTING=OFF && cmake --build "$build"
}

run() {
  # shellcheck disable=SC2086
  step "packages" install_packages $pkgs_run || finish 1
  step "udev rule for the board" udev_rule || true
  step "build" build_console || finish 1
  echo "total: $(( $(date +%s) - began )) s; starting $build/src/app/wendrel"
  exec "$build/src/app/wendrel"
}

bench() {
  # shellcheck disable=SC2086
  step "packages" install_packages $pkgs_bench || finish 1
  exec sh "$top/bench/run.sh" "$build-bench"
}

case ${1:-run} in
  run) run ;;
  bench) bench ;;
  windows) exec sh "$top/tools/test.sh" windows ;;
  test) exec sh "$top/tools/test.sh" ;;
  *) echo "usage: $0 [run|bench|windows|test]" >&2; exit 2 ;;
esac
