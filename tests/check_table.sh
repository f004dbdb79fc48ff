#!/usr/bin/env bash
# Converts one bundled table with mapmaker and checks its map file, record by record,
# against the system's iconv: the count, the order (bytes ascending), each byte's UNICODE
# code in both directions, and that every byte the table leaves out is one iconv cannot
# convert either. Exits 77 (reported as skipped) when iconv or the code page is missing.
# A tool built for another system is run by the RUNNER command given after the table
# (its output lines then may end in CR LF).
#
#   check_table.sh MAPMAKER TABLE.dsc [RUNNER...]
set -euo pipefail
tool=$(realpath "$1")
table=$2
runner=("${@:3}")
name=$(basename "$table" .dsc)
charset=$(sed -n 's|^// charset \([^;]*\);.*|\1|p' "$table")

fail() { echo "$name: $*" >&2; exit 1; }
command -v iconv >/dev/null || { echo "iconv is not installed"; exit 77; }
[ -n "$charset" ] || fail "no '// charset' line"
printf 'A' | iconv -f "$charset" -t UTF-16BE >/dev/null 2>&1 ||
    { echo "iconv does not know $charset"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$table" "$work/"
output=$(cd "$work" && "${runner[@]}" "$tool" "$name")
[ ${#runner[@]} -eq 0 ] || output=${output%$'\r'}
count=$(grep -c '^[0-9A-F][0-9A-F], ' "$table")
[ "$output" = "Map file '$name.map' successfully created [$count characters]." ] ||
    fail "unexpected output: $output"

hex() { od -An -v -tx1 | tr -d ' \n'; }
unhex() { printf "$(sed 's/../\\x&/g')"; } # hex digits to bytes
map=$(hex <"$work/$name.map")
[ "$((16#${map:0:4}))" -eq "$count" ] || fail "header says $((16#${map:0:4})), table has $count"
records=${map:4}
[ "${#records}" -eq $((count * 6)) ] || fail "map holds ${#records} hex digits for $count records"

bytes="" unicodes="" listed=" "
previous=-1
for ((i = 0; i < count; i++)); do
    byte=${records:i*6:2}
    [ $((16#$byte)) -gt "$previous" ] || fail "record $i: byte $byte is out of order"
    previous=$((16#$byte))
    bytes+=$byte
    listed+="$byte "
    unicodes+=${records:i*6+2:4}
done

forward=$(unhex <<<"$bytes" | iconv -f "$charset" -t UTF-16BE | hex)
for ((i = 0; i < count; i++)); do
    [ "${forward:i*4:4}" = "${unicodes:i*4:4}" ] ||
        fail "byte ${bytes:i*2:2}: map says ${unicodes:i*4:4}, iconv says ${forward:i*4:4}"
done
backward=$(unhex <<<"$unicodes" | iconv -f UTF-16BE -t "$charset" | hex)
[ "$backward" = "$bytes" ] || fail "the UNICODE codes do not convert back to the bytes"

for ((b = 0x80; b <= 0xFF; b++)); do
    byte=$(printf '%02x' "$b")
    case $listed in *" $byte "*) continue ;; esac
    if printf "\\x$byte" | iconv -f "$charset" -t UTF-16BE >/dev/null 2>&1; then
        fail "byte $byte is left out, but iconv converts it"
    fi
done
echo "$name: $count records agree with iconv's $charset"
