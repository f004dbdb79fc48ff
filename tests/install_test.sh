#!/usr/bin/env bash
# Installs the build into a scratch prefix, then converts an installed table with the
# installed tool and checks that the man page is where man looks for it. A tool built for
# another system is run by the RUNNER command (its output line then may end in CR LF).
#
#   install_test.sh BUILD_DIR [TOOL_FILE_NAME [RUNNER...]]     (default mapmaker)
set -euo pipefail
build=$1
tool=${2:-mapmaker}
runner=("${@:3}")
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
fail() { echo "install: $*" >&2; exit 1; }
[ -x "$prefix/bin/$tool" ] || fail "no bin/$tool"
[ -f "$prefix/share/man/man1/mapmaker.1" ] || fail "no share/man/man1/mapmaker.1"
tables=$(find "$prefix/share/mapmaker" -name '*.dsc' | wc -l)
[ "$tables" -ge 12 ] || fail "only $tables tables in share/mapmaker"

mkdir "$prefix/work"
cp "$prefix/share/mapmaker/koi8r.dsc" "$prefix/work/"
output=$(cd "$prefix/work" && "${runner[@]}" "$prefix/bin/$tool" koi8r)
[ ${#runner[@]} -eq 0 ] || output=${output%$'\r'}
[ "$output" = "Map file 'koi8r.map' successfully created [128 characters]." ] ||
    fail "unexpected output: $output"
[ "$(od -An -tx1 -N5 "$prefix/work/koi8r.map" | tr -d ' ')" = "0080802500" ] ||
    fail "koi8r.map does not start with 128 entries and 80 -> 2500"
# maptool from the installed tree, named as the tool is (maptool.exe beside mapmaker.exe):
# the table checks clean and builds the same bytes.
maptool=$prefix/bin/maptool${tool#mapmaker}
if [ -x "$maptool" ]; then
    [ -f "$prefix/share/man/man1/maptool.1" ] || fail "no share/man/man1/maptool.1"
    (cd "$prefix/work" && "${runner[@]}" "$maptool" check koi8r.dsc >/dev/null) ||
        fail "maptool check failed"
    (cd "$prefix/work" && "${runner[@]}" "$maptool" build -o again.map koi8r.dsc >/dev/null) ||
        fail "maptool build failed"
    cmp -s "$prefix/work/koi8r.map" "$prefix/work/again.map" || fail "maptool built other bytes"
fi
echo "install: $tables tables, the man page and a working tool under $prefix"
