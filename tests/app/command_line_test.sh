#!/bin/sh
# The console's command line: --help and --version print and exit 0, any
# other argument prints the usage and exits 2, and with no display (none
# named, or one that cannot be reached) the program says so in one line and
# exits 1 instead of aborting.
#   command_line_test.sh PROGRAM VERSION
app=${1:?usage: command_line_test.sh PROGRAM VERSION}
version=${2:?usage: command_line_test.sh PROGRAM VERSION}
out=$(mktemp) err=$(mktemp)
trap 'rm -f "$out" "$err"' EXIT
failed=0

fail() { echo "FAIL $case: $*"; failed=1 case_failed=1; }

# check NAME STATUS STDOUT-PATTERN STDERR-PATTERN ONE-LINE -- COMMAND...
# A pattern is a grep -E on the output; "" means the output is empty.
# ONE-LINE "1": what was printed is a single line.
check() {
    case=$1 want=$2 want_out=$3 want_err=$4 one_line=$5 case_failed=0
    shift 6
    "$@" >"$out" 2>"$err" </dev/null
    status=$?
    [ "$status" = "$want" ] || fail "exit status $status, expected $want"
    for stream in out err; do
        eval "file=\$$stream want_text=\$want_$stream"
        if [ -z "$want_text" ]; then
            [ ! -s "$file" ] || fail "unexpected std$stream: $(head -c 300 "$file")"
        elif ! grep -Eq "$want_text" "$file"; then
            fail "std$stream does not match /$want_text/: $(head -c 300 "$file")"
        fi
    done
    if [ "$one_line" = 1 ] && [ "$(cat "$out" "$err" | grep -c '')" != 1 ]; then
        fail "more than one line: $(cat "$out" "$err")"
    fi
    [ "$case_failed" = 1 ] || echo "PASS $case"
}

v=$(echo "$version" | sed 's/\./\\./g')
nodisplay="env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM"

check version 0 "^wendrel $v\$" "" 1 -- $nodisplay "$app" --version
check help 0 "^Usage: wendrel" "" - -- $nodisplay "$app" --help
check help-short 0 "^Usage: wendrel" "" - -- $nodisplay "$app" -h
check help-wins 0 "^Usage: wendrel" "" - -- $nodisplay "$app" --version --help
# The usage follows the complaint.
check unknown-option 2 "" "^Usage: wendrel" - -- $nodisplay "$app" --verbose
grep -q "unknown option '--verbose'" "$err" || fail "the option is not named: $(cat "$err")"
check qt-option 2 "" "unknown option '-platform'" - -- $nodisplay "$app" -platform offscreen
check argument 2 "" "unknown option 'file.txt'" - -- $nodisplay "$app" file.txt

# No display at all, and a display that is named but not there. One line,
# exit status 1: no abort, no core dump.
check no-display 1 "" "^wendrel: .*display" 1 -- $nodisplay "$app"
check unreachable-display 1 "" "^wendrel: .*display" 1 -- \
    env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:9999 XAUTHORITY=/nonexistent "$app"

exit "$failed"
