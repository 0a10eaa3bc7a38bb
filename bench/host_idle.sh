#!/bin/sh
# Idle CPU of the console on the host's own CPU, beside the same bare Qt
# dialog: the guest's figures are inflated by emulation, and the host has
# no USB, so this is the disconnected state only. Appends one JSON line.
#   host_idle.sh BUILD_DIR OUT
set -u
build=${1:?usage: host_idle.sh BUILD_DIR OUT}
out=${2:?usage: host_idle.sh BUILD_DIR OUT}
here=$(cd "$(dirname "$0")" && pwd)
bin=$build/bench
command -v Xvfb > /dev/null || { echo "host_idle: no Xvfb"; exit 0; }
. "$here/idle.sh"

start_xvfb 78 /dev/null
if set -- $("$bin/window_probe" "$build/src/app/wendrel"); then
    cpid=$1
    if set -- $("$bin/window_probe" "$bin/idle_dialog"); then
        ipid=$1
        sleep 3
        measure_cpu cpu-host disconnected 20
        kill "$ipid" 2>/dev/null
        wait "$ipid" 2>/dev/null
    fi
    kill "$cpid" 2>/dev/null
    wait "$cpid" 2>/dev/null
fi
stop_xvfb
exit 0
