#!/usr/bin/env bash
# maptool check --format=sarif on files with every kind of finding, every warning class and
# error kind, notes, fixes, whole-file findings and names that need escaping in a URI,
# checked by the reference validator, npm's @microsoft/sarif-multitool: no error. The
# validator is installed with npm into CACHE_FOLDER when it is not there yet. Exits 77
# (reported as skipped) where npm is missing or cannot install it.
#
#   sarif_validate.sh MAPTOOL CACHE_FOLDER
set -euo pipefail
tool=$(realpath "$1")
mkdir -p "$2"
cache=$(realpath "$2")
validator=$cache/node_modules/.bin/sarif-multitool
if [ ! -x "$validator" ]; then
    if ! command -v npm >/dev/null; then
        echo "skipped: npm is not installed (Debian package npm)"
        exit 77
    fi
    if ! npm install --no-audit --no-fund --prefix "$cache" @microsoft/sarif-multitool >&2; then
        echo "skipped: npm could not install @microsoft/sarif-multitool"
        exit 77
    fi
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# One file for each error and warning, so that every one is reported; their fixes too.
printf '0x80, 0410\n' >prefix.dsc
printf '80, U+0410\n' >u_plus.dsc
printf '80 , 0410\n' >space_before_comma.dsc
printf '80,\t0410\n' >tab.dsc
printf '84, O414\n' >letter_o.dsc
printf '88;0418\n' >semicolon.dsc
printf '86, 0414,\n' >trailing_comma.dsc
printf '880418 // x\n' >comma_missing.dsc
printf ', 0410\n' >first_empty.dsc
printf '80,\n' >second_empty.dsc
printf '   \n80, 0410\n' >spaces.dsc
printf '// none\n' >no_entry.dsc
printf '\xff\xfe8\x000\x00\n\x00' >utf16.dsc
printf '\xef\xbb\xbf80, 0410\n' >bom.dsc
for i in $(seq 0 256); do printf '%02X, %04X\n' $((i % 256)) $((i + 0x400)); done >many.dsc
printf '1080, 0410\n80, 010410\n80, 0410\n81, 0410\n82, D800\n83, FDD0\n41, 0410\n' >warnings.dsc
printf '84, 0411 // CYRILLIC CAPITAL LETTER A\n85, 0412 // \xd0\x90\n' >>warnings.dsc
printf '86, 0413 %0300d\n87, 0414\r88, 0415\n89, 04\x0016\n8A, 0417\n\x1amore\n' 0 >>warnings.dsc
# Names a URI must escape, a name that is no UTF-8, an absolute path, a file that is none.
printf '0x80, 0410\n' >'a b%#?.dsc'
printf '0x80, 0410\n' >"$(printf 'n\xe9.dsc')"
mkdir folder
report=$work/report.sarif
"$tool" check --format=sarif -Wall ./*.dsc "$work/prefix.dsc" missing.dsc folder >"$report" || true
for id in truncated-field duplicate-byte duplicate-code surrogate noncharacter name-mismatch \
    long-line lone-cr ctrl-z nul ascii unmapped file utf-16 no-entry too-many-entries \
    spaces-only no-separator first-field-empty first-field-bad second-field-empty \
    second-field-bad; do
    if ! grep -q "\"ruleId\":\"$id\"" "$report"; then
        echo "no result of rule $id in the report"
        exit 1
    fi
done
grep -q '"fixes"' "$report"
grep -q '"relatedLocations"' "$report"
output=$("$validator" validate "$report" 2>&1)
echo "$output"
if grep -q ': error ' <<<"$output" || ! grep -q 'Analysis completed successfully' <<<"$output"; then
    echo "the validator found errors in maptool's SARIF log"
    exit 1
fi
