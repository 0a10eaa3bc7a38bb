#!/bin/sh
# The long fuzz run: both libFuzzer targets (the report descriptor parser
# and the input path), each for SECONDS (default 600), on the host; their
# figures go into bench/RESULTS.md. The test suite runs the same targets
# for 20 s each.
#   bench/fuzz-long.sh [SECONDS] [BUILD_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
seconds=${1:-600}
build=${2:-$top/build-bench}
work=$build/fuzz-long
python=/usr/bin/python3

if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$top" -B "$build" -G Ninja
fi
cmake --build "$build" --target write_descriptor_seeds
mkdir -p "$work"

run() {  # name command...
    name=$1
    shift
    echo "fuzz-long: $name for $seconds s"
    status=0
    "$@" > "$work/$name.log" 2>&1 || status=$?
    tail -n 4 "$work/$name.log"
    "$python" - "$name" "$seconds" "$status" "$work/$name.log" "$work/$name.json" <<'PY'
import json, re, sys
name, seconds, status, log, out = sys.argv[1:]
text = open(log, errors="replace").read()
def stat(key):
    m = re.search(r"stat::%s:\s+(\d+)" % key, text)
    return int(m.group(1)) if m else None
last = re.findall(r"#(\d+)\s+\w+\s+cov: (\d+) ft: (\d+) corp: (\d+)", text)
execs, cov, ft, corp = (last[-1] if last else (None,) * 4)
crashes = len(re.findall(r"==\d+==ERROR|deadly signal|Test unit written to", text))
json.dump({"target": name, "seconds": int(seconds),
           "execs": stat("number_of_executed_units") or execs,
           "execs_per_sec": stat("average_exec_per_sec"),
           "cov": cov, "ft": ft, "corpus": corp,
           "crashes": crashes if crashes or status == "0" else "exit %s" % status},
          open(out, "w"))
PY
}
run fuzz_report_descriptor sh "$top/tests/fuzz/run_fuzzer.sh" "$top" "$work/descriptor" \
    "$build/tests/fuzz/write_descriptor_seeds" "$seconds"
run fuzz_input_path sh "$top/tests/fuzz/run_input_fuzzer.sh" "$top" "$work/input" "$seconds"

"$python" -c 'import json, sys; json.dump([json.load(open(p)) for p in sys.argv[2:]], open(sys.argv[1], "w"))' \
    "$work/summary.json" "$work/fuzz_report_descriptor.json" "$work/fuzz_input_path.json"
"$python" "$here/report.py" fuzz "$work/summary.json" "$here/RESULTS.md"
