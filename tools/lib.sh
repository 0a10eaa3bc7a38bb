# shellcheck shell=sh disable=SC2034 # the package lists are for the scripts that source this
# What tools/setup.sh and tools/test.sh share: the Debian packages each
# task needs, the package installer and the step runner. Sourced, not run.
#
# A step prints a line when it starts and one with its result and time
# when it ends, each after the time since the script began. Its output
# goes to a log in $logs, whose end is shown when the step fails.

top=$(cd "$(dirname "$0")/.." && pwd)
build=${WENDREL_BUILD_DIR:-$top/build}
logs=$build-logs
mkdir -p "$logs" && : > "$logs/cpu" && : > "$logs/failed"
began=$(date +%s)
sudo=
[ "$(id -u)" = 0 ] || sudo=sudo

# ---- packages -------------------------------------------------------------
# The console: build and run.
pkgs_run="cmake ninja-build g++ pkg-config qt6-base-dev libhidapi-dev libudev-dev
  libgl-dev fonts-ipafont-gothic fonts-symbola qt6-translations-l10n udev"
# The Linux builds of the test suite (as built, ASan+UBSan, TSan), the
# benchmarks' programs and the command-line checks.
pkgs_test_builds="$pkgs_run libgtest-dev libxcb1-dev python3 appstream"
# The Windows program: cross tool chain, GoogleTest's sources, Wine (its
# 32-bit half is wine32:i386), what its window tests need (ImageMagick
# turns their screenshots into PNG) and NSIS for the installer. The ASan
# build cross-builds the program for the rig's Wine case, and looks for
# Wine when it is configured.
pkgs_windows="cmake ninja-build python3 g++-mingw-w64-i686-posix mingw-w64-tools
  binutils-mingw-w64-i686 googletest wine wine64 fonts-wine xvfb xauth
  fonts-ipafont-gothic imagemagick nsis wine32:i386"
# Where the kernel cannot run Wine's 32-bit half, the Windows unit tests
# run from a 64-bit build.
pkgs_windows64="g++-mingw-w64-x86-64-posix"
# Only run, not built against: the rig (qemu; the guest kernel is fetched
# apart), the fuzzers (clang), the desktop the console's end-to-end case
# drives (X, D-Bus, AT-SPI) and its fonts; the locale sources the Wine
# case's Japanese locale is made from.
pkgs_test_run="clang libclang-rt-14-dev qemu-system-x86 busybox-static cpio kmod locales
  xvfb xauth xdotool dbus at-spi2-core python3-gi python3-pyatspi
  gir1.2-atspi-2.0 fonts-ipafont-gothic fonts-symbola qt6-translations-l10n"
# The rig alone (the installer's check runs there where this host cannot
# run 32-bit programs).
pkgs_rig="qemu-system-x86 busybox-static cpio kmod"
pkgs_bench="$pkgs_test_builds $pkgs_test_run python3-hid"

# install_packages PACKAGE...: installs those not installed yet; apt-get is not
# asked at all when none is missing. NAME:i386 adds the architecture first.
install_packages() {
  missing=
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' ||
      missing="$missing $p"
  done
  [ -n "$missing" ] || { echo "all installed"; return 0; }
  echo "installing:$missing"
  case $missing in
    *:i386*)
      dpkg --print-foreign-architectures | grep -qx i386 ||
        $sudo dpkg --add-architecture i386 ;;
  esac
  # One update a run: a later call (in a background step too) has it.
  if [ -z "${apt_updated:-}" ]; then
    $sudo apt-get update -q || return 1
    apt_updated=1
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 \
    install -y -q --no-install-recommends $missing
}

# ---- steps ----------------------------------------------------------------
# say WORD NAME [DETAIL]: one line, after the time since the start.
say() {
  printf '%4d s  %-7s %-40s %s\n' "$(( $(date +%s) - began ))" "$1" "$2" "${3:-}"
}

# step NAME COMMAND...: runs COMMAND with its output in the step's log;
# returns its status. The line at the end has the step's time and the CPU
# time its processes used, which a busy machine stretches less; the CPU
# times are added up in $logs/cpu for the total.
step() {
  name=$1
  shift
  mkdir -p "$logs"
  log=$logs/$(printf '%s' "$name" | tr -cs 'A-Za-z0-9' '-' | sed 's/-$//').log
  say start "$name"
  t0=$(date +%s)
  status=0
  # In a subshell, whose `times` (second line: its children's user and
  # system time) counts this step's processes alone.
  ( s=0; "$@" || s=$?; times > "$log.cpu"; exit "$s" ) > "$log" 2>&1 || status=$?
  cpu=$(sed -n '2s/\([0-9]*\)m\([0-9.]*\)s \([0-9]*\)m\([0-9.]*\)s/\1 \2 \3 \4/p' "$log.cpu" 2>/dev/null |
    awk '{printf "%d", $1 * 60 + $2 + $3 * 60 + $4 + 0.5}')
  rm -f "$log.cpu"
  echo "${cpu:-0}" >> "$logs/cpu"
  t=$(( $(date +%s) - t0 ))
  if [ "$status" = 0 ]; then
    say ok "$name" "$(printf '%4d s  %4s s CPU' "$t" "${cpu:-?}")"
  else
    say FAILED "$name" "$(printf '%4d s  %4s s CPU  (exit %d; log %s)' "$t" "${cpu:-?}" "$status" "$log")"
    tail -n 60 "$log" | sed 's/^/    /'
    echo "$log" >> "$logs/failed"  # a step may run in a background shell
  fi
  return "$status"
}

# what_failed LOG: the lines that say what failed, wherever they are in a
# long log (a failing test's own output comes long before ctest's tail).
what_failed() {
  grep -a -E -A8 ': Failure$|^ *FAIL[ :]|^ *FAILED |Assertion|ERROR: AddressSanitizer|WARNING: ThreadSanitizer|runtime error:|timed out|Timeout' "$1" |
    head -n 120 | sed 's/^/    /'
}

# finish [STATUS]: the total time and CPU time; exits with STATUS (default 0).
finish() {
  if [ -s "$logs/failed" ]; then
    while read -r log; do
      echo "what failed in $log:"
      what_failed "$log"
    done < "$logs/failed"
  fi
  echo "total: $(( $(date +%s) - began )) s, $(awk '{s += $1} END {print s + 0}' "$logs/cpu" 2>/dev/null || echo '?') s CPU"
  exit "${1:-0}"
}
