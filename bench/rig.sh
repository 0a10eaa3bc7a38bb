#!/bin/sh
# Runs inside the rig's VM (bench/run.sh boots it): every benchmark row in
# turn, on the guest's real USB HID stack and the virtual board. Each
# figure goes to OUT as one JSON line; the programs' own output goes to
# the console. With BEFORE_DIR (a build of an earlier version, whose
# console_bench is built from this bench's source), the console's rows run
# for it too, side by side, tagged "build":"before".
#   rig.sh BUILD_DIR OUT [BEFORE_DIR]
set -u
build=${1:?usage: rig.sh BUILD_DIR OUT [BEFORE_DIR]}
out=${2:?usage: rig.sh BUILD_DIR OUT [BEFORE_DIR]}
before=${3:-}
board=${RIG_BOARD:?RIG_BOARD is not set}
here=$(cd "$(dirname "$0")" && pwd)
bin=$build/bench
wendrel=$build/src/app/wendrel
count=${BENCH_COUNT:-10000}
state=${WENDREL_BOARD_STATE:-/run/wendrel-board}
tmp=$(mktemp -d)
: > "$out"

. "$here/idle.sh"
say() { echo "bench: $*"; }
tool() { python3 "$board" "$@"; }

# Keeps the "BENCH {...}" lines of a program's output, tagged with the row
# (and with the build, when a third argument names it).
emit() {
    if [ -n "${3:-}" ]; then
        sed -n "s/^BENCH {/{\"row\":\"$1\",\"build\":\"$3\",/p" "$2" >> "$out"
    else
        sed -n "s/^BENCH {/{\"row\":\"$1\",/p" "$2" >> "$out"
    fi
}
wait_file() {
    i=0
    while [ ! -e "$1" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done
    [ -e "$1" ]
}

tool setup
tool remove --all
echo "{\"row\":\"guest\",\"kernel\":\"$(uname -r)\",\"cpus\":$(nproc),\"mem_mb\":$(( $(sed -n 's/^MemTotal: *\([0-9]*\).*/\1/p' /proc/meminfo) / 1024 )),\"clk_tck\":$(getconf CLK_TCK)}" >> "$out"

# ---- 1. Bursts: each reader opens first, then the board sends ------------
say "burst of $count reports to each reader"
tool plug burst >/dev/null || exit 1
burst_row() {
    name=$1
    shift
    rm -f "$tmp/ready"
    "$@" > "$tmp/$name.out" 2>&1 &
    reader=$!
    if ! wait_file "$tmp/ready"; then
        say "$name never got ready"
        kill "$reader" 2>/dev/null
    else
        # usbhid drops what comes in the first ~50 ms after an open.
        sleep 0.3
        $board_pin "$bin/burst" "$state/burst/hidg" ${burst_args:-$count} > "$tmp/$name.board" 2>&1
        cat "$tmp/$name.board"
        emit "board-$name" "$tmp/$name.board"
    fi
    wait "$reader"
    cat "$tmp/$name.out"
    tag= as=${row:-burst}
    case $name in *-before*) tag=before ;; esac
    case $name in *-times*) as=$as-times ;; esac
    case $name in *-views*) as=$as-views ;; esac
    case $name in *-quiet*) as=$as-quiet ;; esac
    case $name in *-pinned) as=$as-pinned ;; esac
    emit "$as" "$tmp/$name.out" $tag
}
board_pin=
burst_row bare "$bin/bare_read" "$count" "$tmp/ready"
QT_QPA_PLATFORM=offscreen burst_row console "$bin/console_bench" receive "$count" "$tmp/ready"
[ -n "$before" ] && QT_QPA_PLATFORM=offscreen burst_row console-before \
    "$before/bench/console_bench" receive "$count" "$tmp/ready"
QT_QPA_PLATFORM=offscreen burst_row console-times \
    "$bin/console_bench" receive "$count" "$tmp/ready" times
[ -n "$before" ] && QT_QPA_PLATFORM=offscreen burst_row console-before-times \
    "$before/bench/console_bench" receive "$count" "$tmp/ready" times
# Everything a row can show at once: times, bytes, and the connection and
# sends among the rows.
QT_QPA_PLATFORM=offscreen burst_row console-views \
    "$bin/console_bench" receive "$count" "$tmp/ready" times views
# Without the gap probe's 1 ms timer, whose wake-ups are not the console's:
# its CPU time and rate alone.
QT_QPA_PLATFORM=offscreen burst_row console-quiet \
    "$bin/console_bench" receive "$count" "$tmp/ready" quiet
[ -n "$before" ] && QT_QPA_PLATFORM=offscreen burst_row console-before-quiet \
    "$before/bench/console_bench" receive "$count" "$tmp/ready" quiet
# The same two with the board on one vCPU and the reader on the other, so
# that the reader's work does not slow the board that feeds it.
if [ "$(nproc)" -ge 2 ] && command -v taskset > /dev/null; then
    board_pin="taskset -c 0"
    burst_row bare-pinned taskset -c 1 "$bin/bare_read" "$count" "$tmp/ready"
    QT_QPA_PLATFORM=offscreen burst_row console-pinned \
        taskset -c 1 "$bin/console_bench" receive "$count" "$tmp/ready"
    [ -n "$before" ] && QT_QPA_PLATFORM=offscreen burst_row console-before-pinned \
        taskset -c 1 "$before/bench/console_bench" receive "$count" "$tmp/ready"
    QT_QPA_PLATFORM=offscreen burst_row console-times-pinned \
        taskset -c 1 "$bin/console_bench" receive "$count" "$tmp/ready" times
    [ -n "$before" ] && QT_QPA_PLATFORM=offscreen burst_row console-before-times-pinned \
        taskset -c 1 "$before/bench/console_bench" receive "$count" "$tmp/ready" times
    QT_QPA_PLATFORM=offscreen burst_row console-views-pinned \
        taskset -c 1 "$bin/console_bench" receive "$count" "$tmp/ready" times views
    board_pin=
fi
# Lone reports, 100 ms apart: each shown at once, not a frame later.
burst_args="100 64 100" row=lone
QT_QPA_PLATFORM=offscreen burst_row lone "$bin/console_bench" receive 100 "$tmp/ready"
[ -n "$before" ] && QT_QPA_PLATFORM=offscreen burst_row lone-before \
    "$before/bench/console_bench" receive 100 "$tmp/ready"
# A full ring of 1000 rows, gone through as its user would.
burst_args=1000 row=browse
QT_QPA_PLATFORM=offscreen burst_row browse "$bin/console_bench" browse 1000 "$tmp/ready"
burst_args= row=
burst_row python-hidraw /usr/bin/python3 "$here/python_read.py" "$count" "$tmp/ready" hidraw
# Last: this module detaches usbhid from the board while it reads.
burst_row python-hid /usr/bin/python3 "$here/python_read.py" "$count" "$tmp/ready" hid
tool remove burst

# ---- 4. The user-interface thread while a write is stuck ----------------
say "console pressing Bootloder on a board that never reads"
tool plug stalled >/dev/null || exit 1
rm -f "$tmp/ready"
QT_QPA_PLATFORM=offscreen "$bin/console_bench" stall 5 "$tmp/ready" > "$tmp/stall.out" 2>&1
cat "$tmp/stall.out"
emit "stall" "$tmp/stall.out"
tool remove stalled

# ---- 3. Plug and unplug as the status shows them -------------------------
say "20 plug/unplug cycles"
tool plug hotplug >/dev/null || exit 1
udc=$(cat /sys/kernel/config/usb_gadget/hotplug/UDC)
tool unplug hotplug
for which in after before; do
    cb=$bin/console_bench tag=
    if [ $which = before ]; then
        [ -n "$before" ] || continue
        cb=$before/bench/console_bench tag=before
    fi
    # Beside it, a bare 1 ms timer loop: the gaps the machine itself makes.
    rm -f "$tmp/ready"
    "$bin/loop_probe" "$tmp/ready" > "$tmp/loop.out" 2>&1 &
    lpid=$!
    wait_file "$tmp/ready"
    QT_QPA_PLATFORM=offscreen "$cb" hotplug 20 hotplug "$udc" > "$tmp/hotplug.out" 2>&1
    kill "$lpid"
    wait "$lpid"
    cat "$tmp/hotplug.out" "$tmp/loop.out"
    emit "hotplug" "$tmp/hotplug.out" $tag
    emit "loop-hotplug" "$tmp/loop.out" $tag

    # Our board plugged while another device's write is stuck in the kernel.
    say "plug during another device's stuck write ($which)"
    # On another controller than the one our board comes and goes on.
    otherudc=$(ls /sys/class/udc | grep -vx "$udc" | head -n 1)
    other=$(tool plug other --pid 0x0b0b --udc "$otherudc") || exit 1
    QT_QPA_PLATFORM=offscreen "$cb" stuckplug "$other" hotplug "$udc" > "$tmp/stuck.out" 2>&1
    cat "$tmp/stuck.out"
    emit "stuckplug" "$tmp/stuck.out" $tag
    tool remove other
done

# ---- The user-interface loop during a storm of unrelated device events ---
for which in after before; do
    cb=$bin/console_bench tag=
    if [ $which = before ]; then
        [ -n "$before" ] || continue
        cb=$before/bench/console_bench tag=before
    fi
    say "50,000 unrelated device events ($which)"
    echo "$udc" > /sys/kernel/config/usb_gadget/hotplug/UDC
    QT_QPA_PLATFORM=offscreen "$cb" storm 50000 > "$tmp/storm.out" 2>&1
    cat "$tmp/storm.out"
    emit "storm" "$tmp/storm.out" $tag
    echo > /sys/kernel/config/usb_gadget/hotplug/UDC
done
tool remove hotplug

# ---- 6. The console's logic through 1,000 plug/unplug cycles ------------
say "soak: 1000 plug/unplug cycles with 4 boards"
"$build/tests/e2e/robustness/e2e_soak" 1000 > "$tmp/soak.out" 2>&1
cat "$tmp/soak.out"
emit "soak" "$tmp/soak.out"
tool remove --all

# ---- 2 and 5. Start-up, memory and idle CPU on an X display --------------
say "start-up, memory and idle CPU under Xvfb"
start_xvfb 77 "$tmp/xvfb.log"

# A first start of each fills the caches; the second is measured.
progs="$wendrel $bin/idle_dialog"
[ -n "$before" ] && progs="$progs $before/src/app/wendrel"
for prog in $progs; do
    set -- $("$bin/window_probe" "$prog") && kill "$1" && wait "$1" 2>/dev/null
done
# The second yardstick: a bare dialog with the console's kinds of controls
# and Japanese texts, which loads the same fonts. Measured alone, before
# the others start.
set -- $("$bin/window_probe" "$bin/idle_dialog" controls) && kill "$1" && wait "$1" 2>/dev/null
set -- $("$bin/window_probe" "$bin/idle_dialog" controls) || exit 1
kpid=$1 kms=$2
sleep 3
krss=$(rss_kb "$kpid")
kill "$kpid"
wait "$kpid" 2>/dev/null
set -- $("$bin/window_probe" "$wendrel") || exit 1
cpid=$1 cms=$2
set -- $("$bin/window_probe" "$bin/idle_dialog") || exit 1
ipid=$1 ims=$2
opid= oms=null orss=null
if [ -n "$before" ]; then
    set -- $("$bin/window_probe" "$before/src/app/wendrel") || exit 1
    opid=$1 oms=$2
fi
sleep 3
crss=$(rss_kb "$cpid") irss=$(rss_kb "$ipid")
[ -n "$opid" ] && orss=$(rss_kb "$opid")
echo "{\"row\":\"start\",\"console_shown_ms\":$cms,\"idle_shown_ms\":$ims,\"console_rss_kb\":$crss,\"idle_rss_kb\":$irss,\"before_shown_ms\":$oms,\"before_rss_kb\":$orss,\"controls_shown_ms\":$kms,\"controls_rss_kb\":$krss}" >> "$out"

measure_cpu cpu disconnected 10
tool plug cpu >/dev/null || exit 1
# The bare loop's own idle cost, connected to the same board: hidapi's
# blocking read.
rm -f "$tmp/ready"
"$bin/bare_read" idle "$tmp/ready" &
bpid=$!
wait_file "$tmp/ready"
sleep 2
measure_cpu cpu connected 10
# The same consoles holding a full ring: 1000 rows of 63 characters.
i=1 rows=
while [ $i -le 1000 ]; do
    rows="$rows $(printf '%04d' $i)-abcdefghijklmnopqrstuvwxyz-ABCDEFGHIJKLMNOPQRSTUVWXYZ-0123456"
    i=$((i + 1))
done
tool send cpu $rows
sleep 3
orss=null
[ -n "$opid" ] && orss=$(rss_kb "$opid")
echo "{\"row\":\"memory-rows\",\"rows\":1000,\"row_chars\":63,\"console_rss_kb\":$(rss_kb "$cpid"),\"before_rss_kb\":$orss,\"controls_rss_kb\":$krss}" >> "$out"
kill "$cpid" "$ipid" "$bpid" $opid 2>/dev/null
wait "$cpid" "$ipid" "$bpid" $opid 2>/dev/null
tool remove cpu
stop_xvfb

say "figures:"
cat "$out"
rm -rf "$tmp"
