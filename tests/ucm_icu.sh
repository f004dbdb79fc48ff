#!/usr/bin/env bash
# Every bundled table exported as an ICU .ucm file, built into a converter by ICU's
# makeconv, and every byte the table lists decoded by uconv through it: the text is what
# maptool convert decodes, and the table's own characters, in the table's order. Exits 77 (reported as skipped) where ICU's
# tools (Debian package icu-devtools) are not installed.
#
#   ucm_icu.sh MAPTOOL TABLES_FOLDER
set -euo pipefail
tool=$(realpath "$1")
tables=$(realpath "$2")
for program in makeconv uconv icuinfo; do
    if ! command -v "$program" >/dev/null; then
        echo "skipped: $program is not installed (Debian package icu-devtools)"
        exit 77
    fi
done
# uconv finds a converter of its own in the data folder's package subfolder: icudt72l.
package=$(icuinfo 2>/dev/null | sed -n 's/.*"icudata.name">\([^<]*\)<.*/\1/p')
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/$package"
export LC_ALL=C.UTF-8
count=0
for table in "$tables"/*.dsc; do
    # A name of its own, so that ICU's built-in converter of the same name is not taken.
    name=maptool-$(basename "$table" .dsc)
    "$tool" export --format=ucm --name "$name" "$table" -o "$work/$name.ucm" >/dev/null
    makeconv -d "$work/$package" "$work/$name.ucm"
    bytes=
    expected=
    while read -r line; do
        bytes+="\\x${line:0:2}"
        expected+="\\u${line:4:4}"
    done < <(grep -E '^[0-9A-F]{2}, [0-9A-F]{4}' "$table")
    printf "$bytes" >"$work/in"
    printf "$expected" >"$work/expected"
    ICU_DATA=$work uconv -f "$name" -t UTF-8 --callback stop "$work/in" >"$work/got"
    "$tool" convert -f "$table" "$work/in" >"$work/converted"
    if ! cmp -s "$work/converted" "$work/got"; then
        echo "$(basename "$table"): uconv and maptool convert decode differently" >&2
        exit 1
    fi
    if ! cmp -s "$work/expected" "$work/got"; then
        echo "$(basename "$table"): uconv through the exported .ucm decodes differently" >&2
        cmp "$work/expected" "$work/got" >&2 || true
        exit 1
    fi
    count=$((count + 1))
done
echo "$count tables: makeconv built each exported .ucm, and uconv decodes as the table does"
