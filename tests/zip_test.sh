#!/usr/bin/env bash
# Makes the Windows .zip from a cross build with cpack and checks what it holds: both
# programs, the tables, the README, the licence and the man pages as text; then runs the
# unpacked mapmaker.exe (through RUNNER) on an unpacked table. Exits 77 (reported as
# skipped) when unzip is missing.
#
#   zip_test.sh BUILD_DIR CPACK VERSION RUNNER...
set -euo pipefail
build=$1
cpack=$2
version=$3
runner=("${@:4}")
command -v unzip >/dev/null || { echo "unzip is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "zip: $*" >&2; exit 1; }

"$cpack" --config "$build/CPackConfig.cmake" -G ZIP -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
zip=$work/mapmaker-$version-win64.zip
[ -f "$zip" ] || fail "no $(basename "$zip") made"
unzip -q "$zip" -d "$work/unpacked"
top=$work/unpacked/mapmaker-$version-win64
for file in bin/mapmaker.exe bin/maptool.exe README.md LICENSE.txt mapmaker.1.txt maptool.1.txt \
    share/mapmaker/cp866.dsc; do
    [ -f "$top/$file" ] || fail "no $file"
done
tables=$(find "$top/share/mapmaker" -name '*.dsc' | wc -l)
[ "$tables" -eq "$(find "$(dirname "$0")/../tables" -name '*.dsc' | wc -l)" ] ||
    fail "only $tables tables"
grep -q "^MAPTOOL(1)" "$top/maptool.1.txt" || fail "maptool.1.txt is no rendered man page"

cp "$top/share/mapmaker/cp866.dsc" "$work/"
output=$(cd "$work" && "${runner[@]}" "$top/bin/mapmaker.exe" cp866)
[ "${output%$'\r'}" = "Map file 'cp866.map' successfully created [128 characters]." ] ||
    fail "unexpected output: $output"
echo "zip: both programs, $tables tables, README, licence and man pages"
