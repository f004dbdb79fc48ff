#!/usr/bin/env bash
# Every bundled table exported as a whole code page and read by the tools it is exported
# for: as an ICU .ucm file, built into a converter by ICU's makeconv and used by uconv, and
# as a charmap, read by glibc's iconv from its path. The text holds every byte the table
# lists and every ASCII byte, line ends included; both tools must decode it as maptool
# convert does, and uconv stops at the first byte it cannot decode. Exits 77 (reported as
# skipped) where ICU's tools (Debian package icu-devtools) or iconv are not installed.
#
#   ucm_icu.sh MAPTOOL TABLES_FOLDER
set -euo pipefail
tool=$(realpath "$1")
tables=$(realpath "$2")
for program in makeconv uconv icuinfo iconv; do
    if ! command -v "$program" >/dev/null; then
        echo "skipped: $program is not installed (Debian packages icu-devtools, libc-bin)"
        exit 77
    fi
done
# uconv finds a converter of its own in the data folder's package subfolder: icudt72l.
package=$(icuinfo 2>/dev/null | sed -n 's/.*"icudata.name">\([^<]*\)<.*/\1/p')
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/$package"
export LC_ALL=C.UTF-8
cd "$work"
ascii=
for ((byte = 0; byte < 128; byte++)); do
    ascii+=$(printf '\\x%02x' "$byte")
done
count=0
for table in "$tables"/*.dsc; do
    # A name of its own: ICU and glibc would take their own converter of a name they know.
    name=maptool-$(basename "$table" .dsc)
    "$tool" export --format=ucm --name "$name" "$table" -o "$name.ucm" >/dev/null
    "$tool" export --format=charmap --name "$name" "$table" -o "$name.charmap" >/dev/null
    makeconv -d "$package" "$name.ucm"
    bytes=$ascii
    while read -r line; do
        bytes+="\\x${line:0:2}"
    done < <(grep -E '^[0-9A-F]{2}, [0-9A-F]{4}' "$table")
    printf "$bytes" >in
    "$tool" convert -f "$table" in >expected
    ICU_DATA=$work uconv -f "$name" -t UTF-8 --callback stop in >got_icu
    iconv -f "./$name.charmap" -t UTF-8 in >got_glibc
    for got in got_icu got_glibc; do
        if ! cmp -s expected "$got"; then
            echo "$(basename "$table"): ${got#got_} decodes the export unlike maptool convert" >&2
            cmp expected "$got" >&2 || true
            exit 1
        fi
    done
    count=$((count + 1))
done
echo "$count tables: each exported .ucm built by makeconv and read by uconv, each exported" \
    "charmap read by iconv, as maptool convert reads the table, ASCII included"
