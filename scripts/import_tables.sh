#!/usr/bin/env bash
# Writes the bundled DSC tables with the built maptool from glibc's charmap files (Debian
# package `locales`, /usr/share/i18n/charmaps; CHARMAPS names another folder):
#
#   import_tables.sh MAPTOOL [DIR [TABLE...]]
#
# writes DIR/TABLE.dsc (DIR is tables/ of the source tree by default) for every bundled
# table, or for the ones named. The tables are committed; `cmake --build build --target
# tables` runs this to regenerate them. Exits 77 when a charmap is not installed.
set -euo pipefail
tool=$1
root=$(cd "$(dirname "$0")/.." && pwd)
out=${2:-$root/tables}
shift $(($# < 2 ? $# : 2))
charmaps=${CHARMAPS:-/usr/share/i18n/charmaps}

# table name (no help trigger characters for mapmaker: ? h / -) and glibc charset
tables="
cp437 IBM437
cp737 CP737
cp775 CP775
cp850 IBM850
cp852 IBM852
cp855 IBM855
cp857 IBM857
cp862 IBM862
cp866 IBM866
cp869 IBM869
cp1250 CP1250
cp1251 CP1251
cp1252 CP1252
cp1253 CP1253
cp1254 CP1254
cp1257 CP1257
koi8r KOI8-R
koi8u KOI8-U
iso88591 ISO-8859-1
iso88592 ISO-8859-2
iso88595 ISO-8859-5
iso885915 ISO-8859-15
"

wanted=" $* "
found=0
while read -r name charset; do
    [ -n "$name" ] || continue
    [ $# -eq 0 ] || [[ $wanted == *" $name "* ]] || continue
    found=$((found + 1))
    charmap=$charmaps/$charset.gz
    [ -e "$charmap" ] || charmap=$charmaps/$charset # some systems keep them uncompressed
    if [ ! -e "$charmap" ]; then
        echo "the charmap $charset is not installed in $charmaps" >&2
        exit 77
    fi
    "$tool" import --name "$name" "$charmap" -o "$out/$name.dsc"
done <<<"$tables"
if [ $# -ne 0 ] && [ "$found" -ne $# ]; then
    echo "not every one of these is a bundled table: $*" >&2
    exit 1
fi
