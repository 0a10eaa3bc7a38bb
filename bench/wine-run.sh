#!/bin/sh
# The Windows rows: the Windows program and its yardsticks under Wine in
# the rig's VM, one boot; the table goes to the Windows section of
# bench/RESULTS.md (the Linux rows are bench/run.sh's).
#   bench/wine-run.sh [BUILD_DIR]
# BUILD_DIR (default build-bench-windows beside this folder) gets the
# 32-bit cross build; two Wine prefixes are made in /tmp on the host, as
# the end-to-end case makes its one: the console and the bare window each
# run in a prefix of their own, so that each has a Wine server of its own.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
build=${1:-$top/build-bench-windows}
python=/usr/bin/python3

cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$top/cmake/toolchain-mingw-i686.cmake" \
    -DWENDREL_BENCH=ON -DWENDREL_WINE_TESTS=OFF
cmake --build "$build" --target wendrel wendrel_driver win32_console_bench win32_bare_read \
    win32_idle_window

results=$build/bench-results
rm -rf "$results"
mkdir -p "$results"
# The board's side of a burst runs in the guest, a Linux program.
cc -O2 -Wall -o "$results/burst" "$here/burst.c"
prefix_a=/tmp/wendrel-bench-wine-a
prefix_b=/tmp/wendrel-bench-wine-b
for p in "$prefix_a" "$prefix_b"; do
    sh "$top/tests/e2e/wine/prepare_prefix.sh" "$top/tools/wine-run.sh" "$p"
done

started=$(date +%s)
status=0
"$python" "$top/tools/vm/vmrun.py" --cache "$build/vm-cache" --results "$results" \
    --timeout 3000 --mem 1536 --log "$results/vm.log" --env RIG_BOARD="$top/tools/board/board.py" \
    -- "$python" "$here/wine_rig.py" --build "$build" --burst "$results/burst" \
    --prefix-a "$prefix_a" --prefix-b "$prefix_b" --out "$results/wine.jsonl" || status=$?
echo "bench: VM run took $(( $(date +%s) - started )) s (status $status)"
"$python" "$here/wine_report.py" "$results/wine.jsonl" "$here/RESULTS.md"
exit "$status"
