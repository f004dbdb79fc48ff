#!/usr/bin/env bash
# Times maptool import of a ~100 MB charmap, plain and gzip-compressed, against cat and
# zcat on the same files, and measures its peak memory; then the peak memory and time of
# a gzip bomb (1 GiB of zero bytes, 1 MB compressed), which must fail at once.
#
#   bench/import.sh [build/maptool] [runs]
#
# The charmap is as a multi-byte code set's are: 128 single-byte lines, then 2.2 million
# two-byte ones, which import counts and leaves out. Needs GNU time (Debian package `time`).
set -euo pipefail

tool=$(realpath "${1:-build/maptool}")
runs=${2:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

awk 'BEGIN {
    print "<code_set_name> BENCH-1\n<comment_char> %\n<escape_char> /\nCHARMAP"
    for (b = 128; b < 256; b++) printf "<U%04X>     /x%02x         BENCH CHARACTER %d\n", 0x400 + b, b, b
    for (i = 0; i < 2200000; i++)
        printf "<U%04X>     /x%02x/x%02x     CJK UNIFIED IDEOGRAPH-%04X\n", 0x4E00 + i % 20000, 0x81 + int(i / 190) % 126, 0x40 + i % 190, 0x4E00 + i % 20000
    print "END CHARMAP"
}' >big.charmap
gzip -c big.charmap >big.charmap.gz
head -c $((1 << 30)) /dev/zero | gzip -c >bomb.gz

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Median wall seconds and peak KB of a command over the runs; its exit status is not asked.
measure() {
    for ((r = 0; r < runs; r++)); do
        /usr/bin/time -f '%e %M' "$@" 2>&1 >/dev/null | tail -n 1
    done >measured.txt
    printf '%ss %s KB' "$(awk '{ print $1 }' measured.txt | median)" \
        "$(awk '{ print $2 }' measured.txt | median)"
}

printf 'machine: %s, %s cores; %s runs each, medians\n' "$(uname -m)" "$(nproc)" "$runs"
printf 'big.charmap: %s bytes, %s lines; gzip-compressed %s bytes\n' "$(stat -c %s big.charmap)" \
    "$(wc -l <big.charmap)" "$(stat -c %s big.charmap.gz)"
cat big.charmap >/dev/null # into the page cache
printf 'import big.charmap     %s   cat  %s\n' "$(measure "$tool" import -o out.dsc big.charmap)" \
    "$(measure cat big.charmap)"
printf 'import big.charmap.gz  %s   zcat %s\n' \
    "$(measure "$tool" import -o out.dsc big.charmap.gz)" "$(measure zcat big.charmap.gz)"
printf 'import bomb.gz         %s\n' "$(measure "$tool" import -o out.dsc bomb.gz)"
