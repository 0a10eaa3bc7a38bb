# Sourced by rig.sh (in the VM) and host_idle.sh (on the host): an X
# display, and the CPU and memory of two running programs from /proc.
# Uses $out (the JSON lines file) and $cpid / $ipid (console and idle
# dialog).

now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss_kb() { awk '/^VmRSS:/ {print $2}' "/proc/$1/status"; }

start_xvfb() {  # NUMBER LOG: starts Xvfb :NUMBER, sets $xvfb and DISPLAY
    Xvfb ":$1" -screen 0 1280x800x24 -nolisten tcp > "$2" 2>&1 &
    xvfb=$!
    i=0
    while [ ! -e "/tmp/.X11-unix/X$1" ] && [ $i -lt 200 ]; do sleep 0.1; i=$((i + 1)); done
    export DISPLAY=":$1" QT_QPA_PLATFORM=xcb
}

stop_xvfb() {
    kill "$xvfb" 2>/dev/null
    wait "$xvfb" 2>/dev/null
}

measure_cpu() {  # ROW STATE SECONDS: one JSON line of the programs' ticks
    # $opid (an earlier console) and $bpid (the bare read loop) when set.
    c0=$(ticks "$cpid") i0=$(ticks "$ipid") t0=$(now_ms)
    o0=0 b0=0
    [ -n "${opid:-}" ] && o0=$(ticks "$opid")
    [ -n "${bpid:-}" ] && b0=$(ticks "$bpid")
    sleep "$3"
    c1=$(ticks "$cpid") i1=$(ticks "$ipid") t1=$(now_ms)
    extra=
    [ -n "${opid:-}" ] && extra="$extra,\"before_ticks\":$(( $(ticks "$opid") - o0 ))"
    [ -n "${bpid:-}" ] && extra="$extra,\"bare_ticks\":$(( $(ticks "$bpid") - b0 ))"
    echo "{\"row\":\"$1\",\"state\":\"$2\",\"seconds\":$(( t1 - t0 ))e-3,\"clk_tck\":$(getconf CLK_TCK),\"console_ticks\":$(( c1 - c0 )),\"idle_ticks\":$(( i1 - i0 )),\"console_rss_kb\":$(rss_kb "$cpid")$extra}" >> "$out"
}
