#!/bin/sh
# One entry for a fresh Debian 12 machine:
#   tools/setup.sh run    install what the console needs, build it, start it
#   tools/setup.sh test   install what the tests need (the USB rig included),
#                         build, and run the whole suite through ctest
# Installing is idempotent: apt-get is asked only for what is missing.
set -eu
mode=${1:-run}
top=$(cd "$(dirname "$0")/.." && pwd)
build=${WENDREL_BUILD_DIR:-$top/build}

run_pkgs="cmake ninja-build g++ pkg-config qt6-base-dev libhidapi-dev libudev-dev
  libgl-dev fonts-ipafont-gothic"
test_pkgs="$run_pkgs libgtest-dev clang libclang-rt-14-dev
  qemu-system-x86 linux-image-amd64 busybox-static cpio kmod python3
  xvfb xauth xdotool dbus at-spi2-core python3-pyatspi gir1.2-atspi-2.0"

case $mode in
  run) pkgs=$run_pkgs ;;
  test) pkgs=$test_pkgs ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

sudo=
[ "$(id -u)" = 0 ] || sudo=sudo
missing=
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
fi

if [ "$mode" = run ]; then
  cmake -S "$top" -B "$build" -G Ninja -DWENDREL_TESTS=OFF
  cmake --build "$build"
  exec "$build/src/app/wendrel"
fi

cmake -S "$top" -B "$build" -G Ninja
cmake --build "$build"
cd "$build"
exec ctest --output-on-failure --timeout 1800
