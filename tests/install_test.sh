#!/usr/bin/env bash
# Installs the build into a scratch prefix, then converts an installed table with the
# installed tool, has the installed maptool find the installed table it was built from,
# and checks that the man page is where man looks for it, configured for
# this prefix and version, and that the licence is installed; and runs the installed
# maptool's language server in the editors' tests. A tool built for another
# system is run by the RUNNER command (its output line then may end in CR LF); its man
# pages and licence are packaged otherwise.
#
#   install_test.sh BUILD_DIR VERSION [TOOL_FILE_NAME [RUNNER...]]     (default mapmaker)
set -euo pipefail
build=$1
version=$2
tool=${3:-mapmaker}
runner=("${@:4}")
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
fail() { echo "install: $*" >&2; exit 1; }
[ -x "$prefix/bin/$tool" ] || fail "no bin/$tool"
if [ ${#runner[@]} -eq 0 ]; then
    page=$prefix/share/man/man1/mapmaker.1.gz
    [ -f "$page" ] || fail "no share/man/man1/mapmaker.1.gz"
    # Read whole first: under pipefail, `zcat | grep -q` fails when grep stops reading early.
    text=$(zcat "$page")
    grep -q "^\.TH MAPMAKER 1 .*\"mapmaker $version\"" <<<"$text" ||
        fail "man page is not for $version"
    grep -qF "$prefix/share/mapmaker/" <<<"$text" ||
        fail "man page does not name $prefix/share/mapmaker"
    [ -f "$prefix/share/doc/mapmaker/copyright" ] || fail "no share/doc/mapmaker/copyright"
    for script in bash-completion/completions/maptool zsh/vendor-completions/_maptool \
        fish/vendor_completions.d/maptool.fish; do
        [ ! -x "$prefix/bin/maptool" ] || [ -s "$prefix/share/$script" ] || fail "no share/$script"
    done
fi
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
    [ ${#runner[@]} -gt 0 ] || [ -f "$prefix/share/man/man1/maptool.1.gz" ] ||
        fail "no share/man/man1/maptool.1.gz"
    (cd "$prefix/work" && "${runner[@]}" "$maptool" check koi8r.dsc >/dev/null) ||
        fail "maptool check failed"
    (cd "$prefix/work" && "${runner[@]}" "$maptool" build -o again.map koi8r.dsc >/dev/null) ||
        fail "maptool build failed"
    cmp -s "$prefix/work/koi8r.map" "$prefix/work/again.map" || fail "maptool built other bytes"
    (cd "$prefix/work" && "${runner[@]}" "$maptool" chart -o koi8r.html koi8r.dsc) ||
        fail "maptool chart failed"
    [ "$(grep -c '<tr><th scope="row">' "$prefix/work/koi8r.html")" = 8 ] ||
        fail "the chart of koi8r.dsc has not its 8 rows"
    chart=$(cd "$prefix/work" && "${runner[@]}" "$maptool" chart --format=text koi8r.dsc)
    [ "$(head -1 <<<"$chart" | tr -d '\r')" = "koi8r.dsc: 128 entries" ] ||
        fail "unexpected text chart: $(head -1 <<<"$chart")"
    # which finds the installed tables from the program's folder, whatever the prefix.
    found=$(cd "$prefix/work" && "${runner[@]}" "$maptool" which -n 1 koi8r.map)
    [ "${found%$'\r'}" = "koi8r: 0 bytes differ" ] || fail "maptool which found: $found"
    # A table by name, and the list of them, from the installed tables.
    # The whole output is taken: a pipe closed early would end maptool by SIGPIPE.
    named=$(cd "$prefix/work" && "${runner[@]}" "$maptool" dump cp866)
    named=${named%%$'\n'*}
    [ "${named%$'\r'}" = "//cp866 -> UNICODE" ] || fail "maptool dump cp866 gave: $named"
    listed=$(cd "$prefix/work" && "${runner[@]}" "$maptool" list | grep -c ' entries  ' || true)
    [ "$listed" = "$tables" ] || fail "maptool list lists $listed tables of $tables"
    # The language server from the installed tree, in each editor installed here (the
    # lsp_* tests say which are not).
    if [ ${#runner[@]} -eq 0 ]; then
        for editor in neovim emacs; do
            status=0
            bash "$(dirname "$0")/lsp_$editor.sh" "$maptool" >"$prefix/lsp.log" 2>&1 || status=$?
            [ $status = 0 ] || [ $status = 77 ] ||
                fail "maptool lsp in $editor: $(cat "$prefix/lsp.log")"
        done
    fi
fi
echo "install: $tables tables, the man page and a working tool under $prefix"
