#!/bin/sh
# One entry for a fresh Debian 12 machine:
#   tools/setup.sh run    install what the console needs, build it, start it
#   tools/setup.sh test   install what the tests need (the USB rig included),
#                         build, and run the whole suite through ctest:
#                         as built for use, under ASan+UBSan and under TSan
#   tools/setup.sh bench  install what the benchmarks need and run them
#                         (bench/RESULTS.md)
#   tools/setup.sh windows  install the MinGW-w64 and Wine tool chain, build
#                         the 32-bit wendrel.exe and run the Windows tests
#                         (the test mode runs them too)
# Installing is idempotent: apt-get is asked only for what is missing.
# Every step prints one line with its result and time; its output goes to
# a log (build-logs/), whose end is shown when the step fails.
set -eu
mode=${1:-run}
top=$(cd "$(dirname "$0")/.." && pwd)
build=${WENDREL_BUILD_DIR:-$top/build}
logs=$build-logs

run_pkgs="cmake ninja-build g++ pkg-config qt6-base-dev libhidapi-dev libudev-dev
  libgl-dev fonts-ipafont-gothic fonts-symbola qt6-translations-l10n udev"
test_pkgs="$run_pkgs libgtest-dev clang libclang-rt-14-dev libxcb1-dev
  qemu-system-x86 busybox-static cpio kmod python3 appstream
  xvfb xauth xdotool dbus at-spi2-core python3-gi python3-pyatspi gir1.2-atspi-2.0"
bench_pkgs="$test_pkgs python3-hid"

# The Windows program: cross tool chain, GoogleTest's sources, Wine (its
# 32-bit half is wine32:i386, installed below), what the window tests need
# (ImageMagick turns their screenshots into PNG) and NSIS for the
# installer.
windows_pkgs="cmake ninja-build python3 g++-mingw-w64-i686-posix
  g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-i686
  googletest wine wine64 fonts-wine xvfb xauth fonts-ipafont-gothic imagemagick
  nsis"

sudo=
[ "$(id -u)" = 0 ] || sudo=sudo
began=$(date +%s)

# step NAME COMMAND...: runs one step with its output in $logs/NAME.log and
# prints one line: its name, its result and how long it took. A failed
# step shows the end of its log. Returns the command's status.
step() {
  name=$1
  shift
  mkdir -p "$logs"
  log=$logs/$(echo "$name" | tr ' /' '__').log
  t0=$(date +%s)
  status=0
  "$@" > "$log" 2>&1 || status=$?
  t=$(( $(date +%s) - t0 ))
  if [ "$status" = 0 ]; then
    printf '%-32s ok      %4d s\n' "$name" "$t"
  else
    printf '%-32s FAILED  %4d s  (exit %d, log %s)\n' "$name" "$t" "$status" "$log"
    tail -n 60 "$log" | sed 's/^/    /'
  fi
  return "$status"
}

install_missing() {  # install_missing PACKAGE...
  missing=
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing="$missing $p"
  done
  [ -n "$missing" ] || return 0
  echo "installing:$missing"
  $sudo apt-get update -q
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -q \
    --no-install-recommends $missing
}

case $mode in
  run) pkgs=$run_pkgs ;;
  test) pkgs="$test_pkgs $windows_pkgs" ;;
  bench) pkgs=$bench_pkgs ;;
  windows) pkgs=$windows_pkgs ;;
  *) echo "usage: $0 run|test|bench|windows" >&2; exit 2 ;;
esac
if [ "$mode" = test ] || [ "$mode" = windows ]; then
  # 32-bit Windows programs run on Wine's 32-bit half, an i386 package.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  pkgs="$pkgs wine32:i386"
fi
# shellcheck disable=SC2086
step "packages" install_missing $pkgs

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
  step "install the board's udev rule and apply it to a board already plugged in" udev_rule || true
  build_console() {
    cmake -S "$top" -B "$build" -G Ninja -DBUILD_TESTING=OFF && cmake --build "$build"
  }
  step "build" build_console
  exec "$build/src/app/wendrel"
fi

if [ "$mode" = bench ]; then
  exec sh "$top/bench/run.sh" "$build-bench"
fi

# ---- test ---------------------------------------------------------------
# Three builds: as built for use (with the benchmarks, so that they never
# rot, and the fuzzers), ASan+UBSan and TSan. Each runs its unit tests;
# the end-to-end programs of both sanitizer builds run in one boot of the
# rig's VM, which runs while the build for use is made and the unit tests
# run: the guest spends much of its time waiting on the virtual board.
# A suite reports through step (one line per step) and tally (its result).
passed=0
failed=0
tally() {  # tally STATUS
  if [ "$1" = 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}
configure_and_build() {  # configure_and_build DIR [cmake options...]
  dir=$1
  shift
  cmake -S "$top" -B "$dir" -G Ninja -DBUILD_TESTING=ON -DWENDREL_REQUIRE_TEST_TOOLS=ON "$@" &&
    cmake --build "$dir"
}
run_ctest() {  # run_ctest DIR [ctest options...]
  dir=$1
  shift
  (cd "$dir" && ctest --output-on-failure --timeout 1800 -j2 "$@")
}
run_rig() {  # run_rig DIR: the one boot
  rm -f "$1/e2e-results/e2e.log"
  run_ctest "$1" -R '^e2e_rig$'
}
# ctest keeps a passing test's output to itself: name every end-to-end
# case, its result and its time here.
show_e2e() {  # show_e2e DIR
  [ -f "$1/e2e-results/e2e.log" ] || return 0
  grep -E '^(===== e2e|soak: [0-9]+ plug|soak: (passed|failed|FAILED)|PASS |FAIL )' \
    "$1/e2e-results/e2e.log" | grep -v '^===== e2e: [^ ]*$' | sed 's/^/    /' || true
}

# The rig's guest kernel is fetched into a cache, never installed here.
fetch_kernel() {
  python3 "$top/tools/vm/kernel.py" ||
    { $sudo apt-get update -q && python3 "$top/tools/vm/kernel.py"; }
}
step "guest kernel for the rig" fetch_kernel

if [ "${WENDREL_SANITIZERS:-on}" = off ]; then
  # Only the build for use: it runs the end-to-end programs itself.
  if step "build (as built)" configure_and_build "$build" -DWENDREL_BENCH=ON -DWENDREL_E2E=ON
  then
    status=0
    step "tests (as built)" run_ctest "$build" -E '^e2e_rig$' || status=$?
    tally "$status"
    status=0
    step "Windows suite" windows_suite || status=$?
    tally "$status"
    status=0
    step "rig (as built)" run_rig "$build" || status=$?
    show_e2e "$build"
    tally "$status"
  else
    tally 1
  fi
else
  rig=
  if step "build (TSan)" configure_and_build "$build-tsan" -DWENDREL_SANITIZE=thread &&
     step "build (ASan+UBSan)" configure_and_build "$build-asan" -DCMAKE_BUILD_TYPE=Debug \
       -DWENDREL_SANITIZE=address,undefined \
       "-DWENDREL_E2E_ALSO=$build-tsan/tests/e2e/e2e_cases.txt"
  then
    step "rig (ASan+UBSan and TSan programs)" run_rig "$build-asan" &
    rig=$!
  else
    tally 1
  fi
  if step "build (as built)" configure_and_build "$build" -DWENDREL_BENCH=ON -DWENDREL_E2E=OFF
  then
    status=0
    step "tests (as built)" run_ctest "$build" || status=$?
    tally "$status"
  else
    tally 1
  fi
  # The Windows suite while the rig runs: its builds and Wine's tests need
  # little of what the guest waits on.
  status=0
  step "Windows suite" windows_suite || status=$?
  tally "$status"
  if [ -n "$rig" ]; then
    status=0
    step "tests (TSan)" run_ctest "$build-tsan" -E '^(e2e_rig|fuzz_.*)$' || status=$?
    tally "$status"
    status=0
    step "tests (ASan+UBSan)" run_ctest "$build-asan" -E '^(e2e_rig|fuzz_.*)$' || status=$?
    tally "$status"
    status=0
    wait "$rig" || status=$?
    show_e2e "$build-asan"
    tally "$status"
  fi
fi

echo "test suites: $passed passed, $failed failed, $(( $(date +%s) - began )) s in all"
[ "$failed" = 0 ]
