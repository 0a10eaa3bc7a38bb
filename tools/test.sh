#!/bin/sh
# The test suite on a fresh Debian 12 machine, packages included:
#   tools/test.sh           everything: three Linux builds (as built for use,
#                           ASan+UBSan, TSan) with their unit tests, the
#                           end-to-end programs of both sanitizer builds on
#                           the USB rig, and the Windows suite
#   tools/test.sh windows   the Windows suite alone: the 32-bit wendrel.exe
#                           (build-windows/src/app/wendrel.exe) and the unit
#                           tests under Wine
# WENDREL_SANITIZERS=off runs the build for use alone, the end-to-end
# programs included. WENDREL_WINE32=no runs it as on a host whose kernel
# cannot run 32-bit programs (tools/wine32.sh). Packages come from apt-get
# (through sudo when not root), and only those missing. Each step prints a
# line when it starts and one with its result, time and CPU time; the end
# the total of both. Its output is kept in build-logs/.
set -eu
# shellcheck source=tools/lib.sh
. "$(dirname "$0")/lib.sh"

# A suite's result: one step line, counted here.
passed=0
failed=0
tally() {  # tally STATUS
  if [ "$1" = 0 ]; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}

# Builds and host tests run niced: the rig's VMs, the longest chain of the
# run, get the CPU whenever they need it, and the rest fills the gaps.
configure() {  # configure DIR [cmake options...]
  dir=$1
  shift
  cmake -S "$top" -B "$dir" -G Ninja -DBUILD_TESTING=ON -DWENDREL_REQUIRE_TEST_TOOLS=ON "$@"
}
configure_and_build() {  # configure_and_build DIR [cmake options...]
  configure "$@" && nice -n 10 cmake --build "$1"
}
run_ctest() {  # run_ctest DIR [ctest options...]
  dir=$1
  shift
  (cd "$dir" && nice -n 10 ctest --output-on-failure --timeout 1800 -j2 "$@")
}

# The rig's guest kernel is fetched into a cache, never installed here.
fetch_kernel() {
  python3 "$top/tools/vm/kernel.py" ||
    { $sudo apt-get update -q && python3 "$top/tools/vm/kernel.py"; }
}

# Whether Wine's 32-bit half runs here, asked once (after Wine is
# installed) and passed on: every script of the run decides alike.
ask_wine32() {
  WENDREL_WINE32=$(sh "$top/tools/wine32.sh" || true)
  export WENDREL_WINE32
  echo "Wine's 32-bit half runs on this host: $WENDREL_WINE32"
}

# What only runs (the rig, the fuzzers, the desktop), with the kernel for
# the rig: installed while the first build is made.
packages_to_run() {
  extra=
  # Wine's 32-bit half cannot start on a kernel without 32-bit support.
  [ "$WENDREL_WINE32" = yes ] || extra=$pkgs_windows64
  # shellcheck disable=SC2086
  install_packages $pkgs_test_run $extra
}

# One boot of the rig's VM for a build's end-to-end programs (the Wine
# prefix they use is made apart, beforehand). Not niced: the rest yields.
rig() {  # rig DIR
  rm -f "$1/e2e-results/e2e.log"
  (cd "$1" && ctest --output-on-failure --timeout 3200 -R '^e2e_rig$' -FS e2e_wine_prefix)
}
# ctest keeps a passing test's output to itself: name every end-to-end
# case, its result and its time here.
show_e2e() {  # show_e2e DIR
  [ -f "$1/e2e-results/e2e.log" ] || return 0
  grep -E '^(===== e2e|soak: [0-9]+ plug|soak: (passed|failed|FAILED)|PASS |FAIL |vmrun: )' \
    "$1/e2e-results/e2e.log" | grep -v '^===== e2e: [^ ]*$' | sed 's/^/    /' || true
}
# The packages and the kernel for the rig, installed in the background:
# waited for once, by whoever needs them first.
prep_status=
prep_ready() {
  if [ -z "$prep_status" ]; then
    prep_status=0
    wait "$prep" || prep_status=$?
  fi
  [ "$prep_status" = 0 ]
}
# A build's rig, in the background: sets rig_pid.
start_rig() {  # start_rig DIR NAME
  step "$2" rig "$1" &
  rig_pid=$!
}
wait_rig() {  # wait_rig PID DIR
  status=0
  wait "$1" || status=$?
  show_e2e "$2"
  tally "$status"
}

# The Windows suite: the 32-bit program as shipped (checked on the host),
# and every unit test cross-built and run under headless Wine: one cross
# build. A kernel without 32-bit support cannot start Wine's 32-bit loader:
# there the 32-bit build makes only the program for its checks (the
# installer's then runs in the rig's guest), and the unit tests run from a
# 64-bit build of the same sources.
windows_suite() {
  wbuild=$build-windows
  wok=1
  wine32=ON
  [ "$WENDREL_WINE32" = yes ] || wine32=OFF
  echo "=== Windows suite in $wbuild (unit tests under 32-bit Wine: $wine32)"
  if [ "$wine32" = ON ]; then
    windows_tree "$wbuild" i686 ON || wok=0
  else
    windows_tree "$wbuild" i686 OFF --target wendrel -- -L '^(host|installer)$' || wok=0
    windows_tree "$build-windows64" x86_64 ON -- -LE '^installer$' || wok=0
  fi
  exe=$(find "$wbuild" -name wendrel.exe -not -path '*/wineprefix/*' | head -n 1)
  echo "=== Windows program: ${exe:-not built}"
  [ "$wok" = 1 ]
}
# windows_tree DIR ARCH WINE_TESTS [build options...] [-- ctest options...]
windows_tree() {
  dir=$1 arch=$2 winetests=$3
  shift 3
  targets=
  while [ $# -gt 0 ] && [ "$1" != -- ]; do targets="$targets $1"; shift; done
  [ $# -eq 0 ] || shift
  # shellcheck disable=SC2086
  cmake -S "$top" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-$arch.cmake" \
      -DWENDREL_WINE_TESTS="$winetests" &&
    nice -n 10 cmake --build "$dir" $targets || return 1
  export WINEPREFIX="$dir/wineprefix"
  [ "$winetests" = OFF ] || wine_server_start
  status=0
  (cd "$dir" && nice -n 10 ctest --output-on-failure --timeout 1800 "$@") || status=1
  [ "$winetests" = OFF ] || wineserver -k 2>/dev/null || true
  unset WINEPREFIX
  return "$status"
}
# One Wine server for the whole run, its services started before the first
# test rather than inside it. (Debian's wineserver script adds -p0, which
# undoes -p: the binary is started.)
wine_server_start() {  # in $WINEPREFIX
  sh "$top/tools/wine-run.sh" "$WINEPREFIX" cmd.exe /c exit >/dev/null 2>&1 || true
  wineserver -k 2>/dev/null || true
  ws=wineserver
  for w in /usr/lib/wine/wineserver64 /usr/lib/wine/wineserver32; do
    [ -x "$w" ] && { ws=$w; break; }
  done
  "$ws" -p 2>/dev/null || true
  sh "$top/tools/wine-run.sh" "$WINEPREFIX" cmd.exe /c exit >/dev/null 2>&1 || true
}

# The three builds. The rig's VMs start as soon as their build is made and
# run beside everything else: the ASan+UBSan build's programs in one, the
# TSan build's in another. The Windows program for the rig's Wine case is
# cross-built by the ASan+UBSan build, in the Windows suite's build tree,
# which then builds the rest while the other builds are made.
all_with_sanitizers() {
  asan=$build-asan
  tsan=$build-tsan
  asan_built='' tsan_built='' asan_rig='' tsan_rig=''
  # Line tables here too: a sanitizer's report needs no more.
  if step "configure (ASan+UBSan)" configure "$asan" -DCMAKE_BUILD_TYPE=Debug \
       -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1 \
       -DWENDREL_SANITIZE=address,undefined -DWENDREL_E2E_ALSO= \
       -DWENDREL_WINDOWS_BUILD="$build-windows"; then
    # Wine's prefix for the Wine case is made on the host, while building.
    step "Wine prefix for the rig" run_ctest "$asan" -R '^e2e_wine_prefix$' &
    prefix=$!
    step "build (ASan+UBSan)" nice -n 10 cmake --build "$asan" && asan_built=1
    if wait "$prefix" && [ -n "$asan_built" ] && prep_ready; then
      start_rig "$asan" "rig (ASan+UBSan programs)"
      asan_rig=$rig_pid
    else
      tally 1
    fi
  fi
  [ -n "$asan_built" ] || tally 1
  # Wine's tests run one at a time and mostly wait: the suite runs in the
  # background, beside the VMs and the other builds. It starts once the
  # ASan+UBSan build has made its part of the Windows tree. (Where Wine's
  # 32-bit half cannot run here, its installer check needs the rig.)
  prep_ready || true
  step "Windows suite" windows_suite &
  windows_pid=$!
  # Line tables are all a sanitizer's report needs (inlined frames
  # included); full debug info made the optimised TSan build a quarter
  # slower to compile.
  if step "build (TSan)" configure_and_build "$tsan" -DWENDREL_SANITIZE=thread \
       "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
       "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"; then
    tsan_built=1
    if prep_ready; then
      start_rig "$tsan" "rig (TSan programs)"
      tsan_rig=$rig_pid
    else
      tally 1
    fi
  else
    tally 1
  fi
  # Line tables here too. The benchmark programs are built where they run
  # (bench/run.sh), not in a build that never runs them.
  if step "build (as built)" configure_and_build "$build" -DWENDREL_E2E=OFF \
       "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
       "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
  then
    prep_ready || true  # the fuzzers need clang
    status=0
    step "tests (as built)" run_ctest "$build" || status=$?
    tally "$status"
  else
    tally 1
  fi
  if [ -n "$tsan_built" ]; then
    status=0
    step "tests (TSan)" run_ctest "$tsan" -E '^(e2e_.*|fuzz_.*)$' || status=$?
    tally "$status"
  fi
  if [ -n "$asan_built" ]; then
    status=0
    step "tests (ASan+UBSan)" run_ctest "$asan" -E '^(e2e_.*|fuzz_.*)$' || status=$?
    tally "$status"
  fi
  status=0
  wait "$windows_pid" || status=$?
  tally "$status"
  [ -z "$tsan_rig" ] || wait_rig "$tsan_rig" "$tsan"
  [ -z "$asan_rig" ] || wait_rig "$asan_rig" "$asan"
}

# Only the build for use: it runs the end-to-end programs itself.
all_without_sanitizers() {
  if step "build (as built)" configure_and_build "$build" -DWENDREL_BENCH=ON -DWENDREL_E2E=ON \
       -DWENDREL_WINDOWS_BUILD="$build-windows"
  then
    rig_pid=
    if step "Wine prefix for the rig" run_ctest "$build" -R '^e2e_wine_prefix$' &&
       prep_ready; then
      start_rig "$build" "rig (as built)"
    else
      tally 1
    fi
    prep_ready || true  # the fuzzers need clang
    status=0
    step "tests (as built)" run_ctest "$build" -E '^e2e_.*$' || status=$?
    tally "$status"
    status=0
    step "Windows suite" windows_suite || status=$?
    tally "$status"
    [ -z "$rig_pid" ] || wait_rig "$rig_pid" "$build"
  else
    tally 1
  fi
}

all() {
  # shellcheck disable=SC2086
  step "packages for the builds" install_packages $pkgs_test_builds $pkgs_windows || finish 1
  ask_wine32
  { step "packages for the rig and the fuzzers" packages_to_run &&
      step "guest kernel for the rig" fetch_kernel; } &
  prep=$!
  if [ "${WENDREL_SANITIZERS:-on}" = off ]; then
    all_without_sanitizers
  else
    all_with_sanitizers
  fi
  # Whatever still runs in the background after a failure.
  wait || true
  echo "test suites: $passed passed, $failed failed"
  [ "$failed" = 0 ] || finish 1
  finish 0
}

windows() {
  # shellcheck disable=SC2086
  step "packages" install_packages $pkgs_windows || finish 1
  ask_wine32
  [ "$WENDREL_WINE32" = yes ] || {
    # A 64-bit build for the unit tests; the rig for the installer's check.
    # shellcheck disable=SC2086
    step "packages for a 64-bit build and the rig" install_packages $pkgs_windows64 $pkgs_rig &&
      step "guest kernel for the rig" fetch_kernel || finish 1
  }
  step "Windows suite" windows_suite || finish 1
  finish 0
}

case ${1:-all} in
  all) all ;;
  windows) windows ;;
  *) echo "usage: $0 [all|windows]" >&2; exit 2 ;;
esac
