#!/bin/sh
# Builds the input-path fuzzer with clang (libFuzzer, ASan, UBSan) and runs
# it for a while from a few hand-made seeds.
#   run_input_fuzzer.sh SOURCE_DIR WORK_DIR SECONDS [LIBFUZZER_OPTION...]
set -eu
src=$1 work=$2 seconds=$3
shift 3

cxx=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$cxx" ]; then
    echo "clang++ not found: cannot build the fuzzer" >&2
    exit 1
fi

mkdir -p "$work/corpus" "$work/seeds"
# Byte 0 picks the code page (0 UTF-8, 1 Latin-1, 2 EUC-JP, 3 CP932),
# byte 1 the report length (8 + n % 57) and how often each comes
# (1 + n / 57); octal escapes for dash's printf.
seed() { printf "$2" > "$work/seeds/$1"; }
seed hello '\000\070Hello\000junk'
seed utf8-kana '\000\070\343\201\202\343\201\204\343\201\206\000'
seed utf8-bad '\000\070A\377B\300\257C\343\201'
seed utf8-pairs-at-64 '\000\070ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789\360\237\230\200\360\237\230\200'
seed utf8-nonchars '\000\070A\357\267\220B\357\267\221C\360\237\277\276\357\277\277'
seed latin1 '\001\070caf\351 \374ber \377'
seed eucjp '\002\010\244\242\244\244\244\246\000'
seed cp932 '\003\070\202\240\202\242\202\244\201'
seed many-short '\000\000line1\000\000\000line2\000\000\000line3\000\000\000'
"$cxx" -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined \
    -fno-sanitize-recover=undefined \
    -I"$src/src/text" -I"$src/src/ui" -I"$src/src/console" -I"$src/src/console/history" \
    -I"$src/src/base" \
    "$src/tests/fuzz/fuzz_input_path.cpp" \
    "$src/src/text/codepage_decode.cpp" "$src/src/text/codepage_encode.cpp" \
    "$src/src/text/codepage_iconv.cpp" "$src/src/text/codepage_locale.cpp" \
    "$src/src/console/history/line_history.cpp" "$src/src/console/display_mailbox.cpp" \
    "$src/src/console/history_feed.cpp" "$src/src/console/event_log.cpp" \
    "$src/src/console/row_format.cpp" \
    "$src/src/base/local_time.cpp" "$src/src/base/local_time_linux.cpp" \
    "$src/src/ui/row_change.cpp" \
    -o "$work/fuzz_input_path"
cd "$work"
exec ./fuzz_input_path -max_total_time="$seconds" -print_final_stats=1 \
    -max_len=2048 "$@" corpus seeds
