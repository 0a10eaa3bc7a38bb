#!/bin/sh
# Builds the descriptor fuzzer with clang (libFuzzer, ASan, UBSan) and runs
# it for a short while from the test table's descriptors.
#   run_fuzzer.sh SOURCE_DIR WORK_DIR SEED_WRITER SECONDS
set -eu
src=$1 work=$2 seeds=$3 seconds=$4

cxx=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$cxx" ]; then
    echo "clang++ not found: cannot build the fuzzer" >&2
    exit 1
fi

mkdir -p "$work/corpus" "$work/seeds"
"$seeds" "$work/seeds"
"$cxx" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined \
    -fno-sanitize-recover=undefined -I"$src/src/hid" \
    "$src/tests/fuzz/fuzz_report_descriptor.cpp" "$src/src/hid/report_descriptor.cpp" \
    -o "$work/fuzz_report_descriptor"
cd "$work"
exec ./fuzz_report_descriptor -max_total_time="$seconds" -print_final_stats=1 \
    -max_len=4096 corpus seeds
