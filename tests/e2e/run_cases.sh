#!/bin/sh
# Runs inside the rig's VM: every registered end-to-end program in turn,
# each with a fresh set of boards and a time limit, then a summary; the
# programs of several builds when given several lists (a command listed
# twice runs once). Exit status 0 only if every program passed.
#   run_cases.sh CASES_FILE...   (lines: NAME 'program' 'arg'...)
# The time limit only catches a hung program; how long each took is
# printed.
[ $# -ge 1 ] || { echo "usage: run_cases.sh CASES_FILE..."; exit 2; }
limit=${E2E_CASE_TIMEOUT:-900}
board=${RIG_BOARD:?RIG_BOARD is not set}
results=${RIG_RESULTS:-/tmp}
for cases in "$@"; do
    [ -r "$cases" ] || { echo "e2e: no case list at $cases"; exit 1; }
done

failed=
passed=
list=$(mktemp)
awk '!seen[substr($0, index($0, " "))]++' "$@" > "$list"
while IFS= read -r line; do
    [ -n "$line" ] || continue
    name=${line%% *}
    rest=${line#"$name"}
    eval "set -- $rest"
    E2E_CASE_RESULTS=$results/$name
    export E2E_CASE_RESULTS
    rm -rf "$E2E_CASE_RESULTS"
    mkdir -p "$E2E_CASE_RESULTS"
    echo "===== e2e: $name"
    start=$(date +%s)
    timeout -k 5 "$limit" "$@" </dev/null
    status=$?
    python3 "$board" remove --all </dev/null >/dev/null 2>&1
    elapsed=$(( $(date +%s) - start ))
    if [ "$status" = 0 ]; then
        echo "===== e2e: $name passed (${elapsed} s)"
        passed="$passed $name"
    else
        [ "$status" = 124 ] && echo "===== e2e: $name timed out after $limit s"
        echo "===== e2e: $name FAILED (exit $status, ${elapsed} s)"
        failed="$failed $name"
    fi
done < "$list"
rm -f "$list"

echo "===== e2e summary: passed:${passed:- none}; failed:${failed:- none}"
[ -z "$failed" ] && [ -n "$passed" ]
