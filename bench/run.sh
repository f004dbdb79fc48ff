#!/usr/bin/env bash
# Times mapmaker against wc -l and cat on the same files, and measures its peak memory.
#
#   bench/run.sh [build/mapmaker] [runs]
#
# Generates in a temporary folder: a 256-entry table, a 1 MB and a ~512 MB DSC file of
# comment and empty lines with 256 entries spread through them. Needs GNU time
# (Debian package `time`) for the memory figures.
set -euo pipefail

tool=$(realpath "${1:-build/mapmaker}")
runs=${2:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# Comment lines of 5 to 94 characters after "// ", and one line in five empty.
awk 'BEGIN {
    srand(1)
    pad = sprintf("%100s", ""); gsub(/ /, "c", pad)
    for (i = 0; i < 46000; i++)
        if (rand() < 0.2) print ""; else print "// " substr(pad, 1, 5 + int(rand() * 90))
}' >comments.txt

make_dsc() { # file, copies of comments.txt per entry
    for ((i = 0; i < 256; i++)); do
        printf '%02X, %04X // entry %d\n' "$i" $((0x0400 + i)) "$i"
        for ((k = 0; k < $2; k++)); do cat comments.txt; done
    done >"$1"
}
for ((i = 0; i < 256; i++)); do printf '%02X, %04X // entry %d\n' "$i" $((0x0400 + i)) "$i"; done >table.dsc
head -c $((1 << 20)) comments.txt >small.body
{ cat table.dsc; cat small.body; } >small.dsc
make_dsc big.dsc 1

median_seconds() { # command...
    local times=()
    for ((r = 0; r < runs; r++)); do
        local start end
        start=$(date +%s%N)
        "$@" >/dev/null
        end=$(date +%s%N)
        times+=($((end - start)))
    done
    printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { printf "%.4f", t[int((NR + 1) / 2)] / 1e9 }'
}

peak_kb() { /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -n 1; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

printf 'machine: %s, %s cores; %s runs each, medians\n' "$(uname -m)" "$(nproc)" "$runs"
printf 'big.dsc: %s bytes, %s lines\n' "$(stat -c %s big.dsc)" "$(wc -l <big.dsc)"
cat big.dsc >/dev/null # into the page cache

big_tool=$(median_seconds "$tool" big.dsc)
big_wc=$(median_seconds wc -l big.dsc)
big_cat=$(median_seconds cat big.dsc)
printf 'big.dsc    mapmaker %ss  wc -l %ss  cat %ss  mapmaker/wc -l %s\n' \
    "$big_tool" "$big_wc" "$big_cat" "$(ratio "$big_tool" "$big_wc")"

runs=$((runs * 10))
table_tool=$(median_seconds "$tool" table.dsc)
table_cat=$(median_seconds cat table.dsc)
printf 'table.dsc  mapmaker %ss  cat %ss  mapmaker/cat %s\n' \
    "$table_tool" "$table_cat" "$(ratio "$table_tool" "$table_cat")"

small_kb=$(peak_kb "$tool" small.dsc)
big_kb=$(peak_kb "$tool" big.dsc)
printf 'peak memory  small.dsc (%s bytes) %s KB  big.dsc %s KB  big/small %s\n' \
    "$(stat -c %s small.dsc)" "$small_kb" "$big_kb" "$(ratio "$big_kb" "$small_kb")"
