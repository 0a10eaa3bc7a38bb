#!/bin/sh
# Idle CPU of the console on the host's own CPU, beside the same bare Qt
# dialog: the guest's figures are inflated by emulation, and the host has
# no USB, so this is the disconnected state only. Appends one JSON line.
#   host_idle.sh BUILD_DIR OUT
set -u
build=${1:?usage: host_idle.sh BUILD_DIR OUT}
out=${2:?usage: host_idle.sh BUILD_DIR OUT}
bin=$build/bench
command -v Xvfb > /dev/null || { echo "host_idle: no Xvfb"; exit 0; }

display=:78
Xvfb $display -screen 0 1280x800x24 -nolisten tcp > /dev/null 2>&1 &
xvfb=$!
i=0
while [ ! -e /tmp/.X11-unix/X78 ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
export DISPLAY=$display QT_QPA_PLATFORM=xcb

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }

if set -- $("$bin/window_probe" "$build/src/app/wendrel"); then
    cpid=$1
    set -- $("$bin/window_probe" "$bin/idle_dialog") && ipid=$1
    sleep 3
    c0=$(ticks "$cpid") i0=$(ticks "$ipid") t0=$(now_ms)
    sleep 20
    c1=$(ticks "$cpid") i1=$(ticks "$ipid") t1=$(now_ms)
    echo "{\"row\":\"cpu-host\",\"state\":\"disconnected\",\"seconds\":$(( t1 - t0 ))e-3,\"clk_tck\":$(getconf CLK_TCK),\"console_ticks\":$(( c1 - c0 )),\"idle_ticks\":$(( i1 - i0 ))}" >> "$out"
    kill "$cpid" "$ipid" 2>/dev/null
    wait "$cpid" "$ipid" 2>/dev/null
fi
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
exit 0
