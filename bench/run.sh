#!/bin/sh
# The benchmarks, in one command: builds what they need, boots the rig's VM
# once, runs every row there side by side, prints the table and writes
# bench/RESULTS.md.
#   bench/run.sh [BUILD_DIR [BEFORE_DIR]]
# BUILD_DIR defaults to build-bench beside this folder. BEFORE_DIR is a
# build of an earlier version (its wendrel and a console_bench built from
# this bench's source): the console's rows run for it too, in the same
# boot, and the table shows both.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
build=${1:-$top/build-bench}
before=${2:-}
python=/usr/bin/python3

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWENDREL_BENCH=ON
cmake --build "$build" --target wendrel console_bench idle_dialog bare_read loop_probe burst \
    window_probe e2e_soak

results=$build/bench-results
rm -rf "$results"
mkdir -p "$results"
started=$(date +%s)
status=0
"$python" "$top/tools/vm/vmrun.py" --cache "$build/vm-cache" --results "$results" \
    --timeout 3000 --env RIG_BOARD="$top/tools/board/board.py" \
    -- sh "$here/rig.sh" "$build" "$results/bench.jsonl" $before || status=$?
echo "bench: VM run took $(( $(date +%s) - started )) s (status $status)"
sh "$here/host_idle.sh" "$build" "$results/bench.jsonl"
"$python" "$here/report.py" bench "$results/bench.jsonl" "$here/RESULTS.md"
exit "$status"
