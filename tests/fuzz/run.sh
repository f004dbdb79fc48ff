#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, the DSC reader's and that of the other table
# sources (maps, mapping files, charmaps, .ucm files, gzip), and fuzzes each for half the
# time, starting from its saved corpus. Exits non-zero on any finding.
#
#   tests/fuzz/run.sh [seconds]     (default 60, for both together)
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)

can_build_fuzzer() {
    echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' |
        clang++ -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null
}
if ! can_build_fuzzer; then
    bash "$root/scripts/setup.sh" clang libclang-rt-14-dev
    can_build_fuzzer || { echo "fuzzer: clang cannot build a libFuzzer target here" >&2; exit 1; }
fi

build="$root/build-fuzz"
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -g -O1"
CXX=clang++ cmake -S "$root" -B "$build" -DMAPMAKER_FUZZER=ON -DMAPMAKER_STATIC_RUNTIME=OFF \
    -DCMAKE_BUILD_TYPE=None -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" -j --target dsc_fuzzer source_fuzzer >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fuzz() { # target, corpus folder, seconds
    mkdir "$work/$1"
    cd "$work/$1" # findings are written here, so a failed run names them below
    if "$build/tests/fuzz/$1" -max_total_time="$3" -max_len=4096 -print_final_stats=1 \
        "$work/$1" "$2" 2>fuzz.log; then
        grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units)' fuzz.log || true
        echo "fuzzer $1: no finding in ${3}s"
    else
        tail -n 40 fuzz.log
        for finding in crash-* leak-* timeout-* oom-*; do
            [ -e "$finding" ] && { echo "finding $finding:"; od -c "$finding" | head -n 20; }
        done
        exit 1
    fi
}
fuzz dsc_fuzzer "$root/tests/fuzz/corpus" $((seconds - seconds / 2))
fuzz source_fuzzer "$root/tests/fuzz/source_corpus" $((seconds / 2))
