#!/usr/bin/env bash
# Reads every bundled table's code page as iconv:CHARSET through maptool (on Windows: the
# system's own code pages, under Wine Wine's) and compares it with the table: lists every
# byte where they differ, and fails unless the differences are exactly those expected
# (EXPECTED: "table: +XX, YYYY" lines, as maptool diff writes them for the two tables
# dumped without names, in any order).
#
#   code_pages_test.sh MAPTOOL TABLES_DIR EXPECTED [RUNNER...]
set -euo pipefail
tool=$1
tables=$2
expected=$3
runner=("${@:4}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for table in "$tables"/*.dsc; do
    name=$(basename "$table" .dsc)
    charset=$(sed -n 's|^// charset \([^;]*\);.*|\1|p' "$table")
    for side in "$table" "iconv:$charset"; do
        # Wine now and then fails to start a program under load, saying nothing: tried again.
        for try in 1 2 3 4 5; do
            "${runner[@]}" "$tool" dump --no-names "$side" >"$work/$([ "$side" = "$table" ] && echo a || echo b).dsc" 2>"$work/err" &&
                break
            [ "$try" -lt 5 ] && [ ! -s "$work/err" ] ||
                { echo "$name: maptool dump $side failed: $(cat "$work/err")" >&2; exit 1; }
        done
    done
    status=0
    "${runner[@]}" "$tool" diff "$work/a.dsc" "$work/b.dsc" >"$work/out" 2>&1 || status=$?
    [ "$status" -le 1 ] || { echo "$name: maptool diff failed: $(cat "$work/out")" >&2; exit 1; }
    tr -d '\r' <"$work/out" | grep '^[-+][0-9A-F]' | sed "s|^|$name: |" >>"$work/found" || true
done
touch "$work/found"
echo "Where iconv:CHARSET differs from the bundled table (- table, + code page):"
cat "$work/found"
sort "$expected" >"$work/expected.sorted"
sort "$work/found" >"$work/found.sorted"
diff -u "$work/expected.sorted" "$work/found.sorted" >&2 || { echo "code pages: not the differences expected" >&2; exit 1; }
echo "code pages: $(ls "$tables"/*.dsc | wc -l) tables, $(wc -l <"$work/found") lines differ, as expected"
