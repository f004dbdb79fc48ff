#!/usr/bin/env bash
# maptool's completion for one shell, as installed, in the real shell: bash with
# bash-completion (the completion function called on typed words, COMPREPLY checked) and
# fish (`complete -C`) complete the words of a table of cases, and every option that
# `maptool help VERB` lists, for every verb `maptool help` lists; zsh loads it with compinit
# without a word on standard error. Exits 77 (skipped) when the shell, or bash-completion,
# is not installed.
#
#   completion_test.sh bash|fish|zsh MAPTOOL COMPLETION_FILE TABLES_DIR
set -euo pipefail
shell=$1
maptool=$(realpath "$2")
script=$(realpath "$3")
tables=$(realpath "$4")
command -v "$shell" >/dev/null || { echo "$shell is not installed"; exit 77; }
bash_completion=/usr/share/bash-completion/bash_completion
if [ "$shell" = bash ] && [ ! -f "$bash_completion" ]; then
    echo "bash-completion is not installed"
    exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The maptool being tested is the one the completion asks, and its tables the known ones.
mkdir "$work/bin" "$work/run"
ln -s "$maptool" "$work/bin/maptool"
export PATH=$work/bin:$PATH MAPTOOL_TABLES=$tables
cd "$work/run"
touch a.dsc b.map c.txt d.html
mkdir sub

if [ "$shell" = zsh ]; then
    mkdir functions
    cp "$script" functions/_maptool
    said=$(zsh -f -c 'fpath=(functions $fpath); autoload -Uz compinit; compinit -u -d dump;
        [[ $_comps[maptool] == _maptool ]] || print "compinit did not take _maptool";
        autoload +X _maptool' 2>&1)
    [ -z "$said" ] || { echo "zsh: $said" >&2; exit 1; }
    echo "completion: zsh loads _maptool with compinit"
    exit 0
fi

# The candidates the shell offers for a command line, sorted, one a line.
offered() {
    if [ "$shell" = bash ]; then
        bash -c 'source "$1"; source "$2"; compopt() { :; }
            COMP_LINE=$3; COMP_POINT=${#COMP_LINE}
            read -ra COMP_WORDS <<<"$COMP_LINE"
            [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
            COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); COMPREPLY=()
            _maptool; printf "%s\n" "${COMPREPLY[@]}"' _ "$bash_completion" "$script" "$1"
    else
        fish --no-config -c 'source $argv[1]; complete -C $argv[2]' "$script" "$1" | cut -f1
    fi | sort -u | grep -v '^$' || true
}

failures=0
expect() { # line, the candidates expected (bash's, fish's)
    local want=$2
    [ "$shell" = bash ] || want=$3
    local got
    got=$(offered "$1" | tr '\n' ' ')
    if [ "$got" != "$(tr ' ' '\n' <<<"$want" | sort -u | grep -v '^$' | tr '\n' ' ')" ]; then
        echo "'$1': offered '$got', not '$want'" >&2
        failures=$((failures + 1))
    fi
}

t=$tables
# line                                bash                             fish
expect "maptool ch"                   "chart check"                    "chart check"
expect "maptool check --format "      "json sarif text"                "json sarif text"
expect "maptool check --format=j"     "json"                           "--format=json"
expect "maptool check -Wno-du"        "-Wno-duplicate-byte -Wno-duplicate-code" \
                                      "-Wno-duplicate-byte -Wno-duplicate-code"
expect "maptool build -W ext"         "extra"                          "extra"
# Every class, the first and the last too.
no=(ascii ctrl-z duplicate-byte duplicate-code lone-cr long-line name-mismatch noncharacter nul
    surrogate truncated-field unmapped)
expect "maptool check -Wno-" "${no[*]/#/-Wno-}" "${no[*]/#/-Wno-}"
expect "maptool check "               "a.dsc sub"                      "a.dsc sub/"
expect "maptool chart "               "a.dsc b.map c.txt iconv: sub"   "a.dsc b.map c.txt iconv: sub/"
expect "maptool chart cp86"           "$t/cp862.dsc $t/cp866.dsc $t/cp869.dsc" \
                                      "$t/cp862.dsc $t/cp866.dsc $t/cp869.dsc"
expect "maptool diff a.dsc iconv:KOI8-" "KOI8-R KOI8-RU KOI8-T KOI8-U" \
                                      "iconv:KOI8-R iconv:KOI8-RU iconv:KOI8-T iconv:KOI8-U"
expect "maptool import --iconv koi8-r" "KOI8-R KOI8-RU"                "KOI8-R KOI8-RU"
expect "maptool convert -f iconv:cp125" \
    "CP1250 CP1251 CP1252 CP1253 CP1254 CP1255 CP1256 CP1257 CP1258" \
    "iconv:CP1250 iconv:CP1251 iconv:CP1252 iconv:CP1253 iconv:CP1254 iconv:CP1255 iconv:CP1256 iconv:CP1257 iconv:CP1258"
expect "maptool help ex"              "export"                         "export"
expect "maptool which --tables "      "sub"                            "sub/"
expect "maptool build -o "            "a.dsc b.map c.txt d.html sub"   "a.dsc b.map c.txt d.html sub/"
expect "maptool export --format "     "charmap dsc ucm unicode"        "charmap dsc ucm unicode"
expect "maptool dump --no-names --color " "always auto never"          "always auto never"

# Every verb maptool lists, and every option its help lists, are offered.
verbs=$("$maptool" help | sed -n '/^Verbs:/,/^$/s/^  \([a-z]\+\) .*/\1/p')
[ -n "$verbs" ] || { echo "maptool help lists no verbs" >&2; exit 1; }
for verb in $verbs; do
    [ "$(offered "maptool ${verb:0:3}" | grep -cx "$verb")" = 1 ] ||
        { echo "verb $verb is not offered" >&2; failures=$((failures + 1)); }
    listed=$("$maptool" help "$verb" | grep -o '^  -[^ ,[]*\(, --[^ []*\)\?' | tr ',' '\n' | tr -d ' ')
    options=$(offered "maptool $verb -" | sed 's/=$//')
    for option in $listed; do
        grep -qx -- "$option" <<<"$options" ||
            { echo "$verb: $option is not offered" >&2; failures=$((failures + 1)); }
    done
done
[ "$failures" -eq 0 ] || exit 1
echo "completion: $shell completes every verb, option and case"
