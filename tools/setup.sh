#!/bin/sh
# One entry for a fresh Debian 12 machine:
#   tools/setup.sh run    install what the console needs, build it, start it
#   tools/setup.sh test   install what the tests need (the USB rig included),
#                         build, and run the whole suite through ctest: once
#                         as built for use, then under ASan+UBSan and TSan
#   tools/setup.sh bench  install what the benchmarks need and run them
#                         (bench/RESULTS.md)
#   tools/setup.sh windows  install the MinGW-w64 and Wine tool chain, build
#                         the 32-bit wendrel.exe and run the Windows tests
#                         (the test mode runs them too)
# Installing is idempotent: apt-get is asked only for what is missing.
set -eu
mode=${1:-run}
top=$(cd "$(dirname "$0")/.." && pwd)
build=${WENDREL_BUILD_DIR:-$top/build}

run_pkgs="cmake ninja-build g++ pkg-config qt6-base-dev libhidapi-dev libudev-dev
  libgl-dev fonts-ipafont-gothic"
test_pkgs="$run_pkgs libgtest-dev clang libclang-rt-14-dev libxcb1-dev
  qemu-system-x86 busybox-static cpio kmod python3
  xvfb xauth xdotool dbus at-spi2-core python3-gi python3-pyatspi gir1.2-atspi-2.0"
bench_pkgs="$test_pkgs python3-hid"

# The Windows program: cross tool chain, GoogleTest's sources, Wine (its
# 32-bit half is wine32:i386, installed below) and what the window tests
# need.
windows_pkgs="cmake ninja-build python3 g++-mingw-w64-i686-posix
  g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-i686
  googletest wine wine64 fonts-wine xvfb xauth fonts-ipafont-gothic"

case $mode in
  run) pkgs=$run_pkgs ;;
  test) pkgs="$test_pkgs $windows_pkgs" ;;
  bench) pkgs=$bench_pkgs ;;
  windows) pkgs=$windows_pkgs ;;
  *) echo "usage: $0 run|test|bench|windows" >&2; exit 2 ;;
esac

sudo=
[ "$(id -u)" = 0 ] || sudo=sudo
missing=
for p in $pkgs; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing="$missing $p"
done
if [ "$mode" = test ] || [ "$mode" = windows ]; then
  # 32-bit Windows programs run on Wine's 32-bit half, an i386 package.
  if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'ok installed'; then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
      $sudo dpkg --add-architecture i386
    fi
    missing="$missing wine32:i386"
  fi
fi
if [ -n "$missing" ]; then
  echo "installing:$missing"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
fi

# The Windows suite: the 32-bit program as shipped (checked on the host),
# and every unit test cross-built and run under headless Wine. A kernel
# without 32-bit support cannot start Wine's 32-bit loader: then the unit
# tests run from a 64-bit build of the same sources.
windows_suite() {
  wstart=$(date +%s)
  wbuild=$build-windows
  wok=1
  wine32=ON
  wine --version >/dev/null 2>&1 || wine32=OFF
  echo "=== Windows suite in $wbuild (unit tests under 32-bit Wine: $wine32)"
  wtrees="$wbuild:i686:$wine32"
  [ "$wine32" = ON ] || wtrees="$wtrees $build-windows64:x86_64:ON"
  for t in $wtrees; do
    dir=${t%%:*}; rest=${t#*:}; arch=${rest%%:*}; winetests=${rest#*:}
    if ! cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
           -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-$arch.cmake" \
           -DWENDREL_WINE_TESTS=$winetests || ! cmake --build "$dir"; then
      wok=0; continue
    fi
    # One Wine server for the whole run, its services started before the
    # first test rather than inside it.
    export WINEPREFIX="$dir/wineprefix"
    # (Debian's wineserver script adds -p0, which undoes -p: the binary.)
    if [ "$winetests" = ON ]; then
      sh "$top/tools/wine-run.sh" "$WINEPREFIX" cmd.exe /c exit >/dev/null 2>&1 || true
      wineserver -k 2>/dev/null || true
      ws=wineserver
      for w in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver32; do
        [ -x "$w" ] && { ws=$w; break; }
      done
      "$ws" -p 2>/dev/null || true
      sh "$top/tools/wine-run.sh" "$WINEPREFIX" cmd.exe /c exit >/dev/null 2>&1 || true
    fi
    (cd "$dir" && ctest --output-on-failure --timeout 1800) || wok=0
    [ "$winetests" = ON ] && wineserver -k 2>/dev/null || true
    unset WINEPREFIX
  done
  exe=$(find "$wbuild" -name wendrel.exe -not -path '*/wineprefix/*' | head -n 1)
  echo "=== Windows suite: $(( $(date +%s) - wstart )) s; program: ${exe:-not built}"
  [ "$wok" = 1 ]
}

if [ "$mode" = windows ]; then
  windows_suite
  exit
fi

if [ "$mode" = run ]; then
  # The board's hidraw node is root's alone until this rule gives the user
  # at the seat access to it (it applies from the next plug).
  rule=/etc/udev/rules.d/70-wendrel.rules
  if ! cmp -s "$top/res/70-wendrel.rules" "$rule"; then
    $sudo install -m 644 "$top/res/70-wendrel.rules" "$rule"
    $sudo udevadm control --reload 2>/dev/null || true
  fi
  cmake -S "$top" -B "$build" -G Ninja -DWENDREL_TESTS=OFF
  cmake --build "$build"
  exec "$build/src/app/wendrel"
fi

if [ "$mode" = bench ]; then
  exec sh "$top/bench/run.sh" "$build-bench"
fi

# The rig's guest kernel is fetched into a cache, never installed here.
if ! python3 "$top/tools/vm/kernel.py" >/dev/null 2>&1; then
  $sudo apt-get update -q
  python3 "$top/tools/vm/kernel.py"
fi

# The suite three times: as shipped, then under the sanitizers (the
# libFuzzer runs are sanitized builds of their own and run once).
passed=0
failed=0
suite() {  # suite DIR [cmake options...]
  dir=$1; shift
  echo "=== test suite in $dir $*"
  rm -f "$dir/e2e-results/e2e.log"
  if cmake -S "$top" -B "$dir" -G Ninja "$@" && cmake --build "$dir" &&
     (cd "$dir" && ctest --output-on-failure --timeout 1800 $ctest_args); then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
  fi
  # ctest keeps a passing test's output to itself: name every end-to-end
  # case and its result here.
  if [ -f "$dir/e2e-results/e2e.log" ]; then
    echo "=== end-to-end cases ($dir)"
    grep -E '^(===== e2e|PASS |FAIL |soak: |\[       OK \]|\[  FAILED  \])' "$dir/e2e-results/e2e.log" || true
  fi
}
ctest_args=
suite "$build" -DWENDREL_TESTS=ON
if [ "${WENDREL_SANITIZERS:-on}" != off ]; then
  ctest_args="-E ^fuzz_"
  suite "$build-asan" -DWENDREL_TESTS=ON -DWENDREL_SANITIZE=address,undefined \
    -DCMAKE_BUILD_TYPE=Debug
  suite "$build-tsan" -DWENDREL_TESTS=ON -DWENDREL_SANITIZE=thread
fi
if windows_suite; then
  passed=$((passed + 1))
else
  failed=$((failed + 1))
fi
echo "test suites: $passed passed, $failed failed"
[ "$failed" = 0 ]
