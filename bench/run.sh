#!/usr/bin/env bash
# Times mapmaker, and maptool check and build where maptool stands beside it, against wc -l
# and cat on the same files, and maptool fmt against check, and measures their peak memory; and maptool convert against
# glibc's iconv, decoding and encoding the same 100 MB text through CP1251.
#
#   bench/run.sh [build/mapmaker] [runs] [wall|cpu]
#
# With cpu, each time is processor time (user + system, from GNU time, to 10 ms) rather
# than wall time: on a machine that others share, wall times mostly measure the others.
#
# Generates in a temporary folder: a 256-entry table, a 1 MB and a ~512 MB DSC file of
# comment and empty lines with 256 entries spread through them, and the big one again
# with CR LF line ends and indented comments. Needs GNU time
# (Debian package `time`) for the memory figures.
set -euo pipefail

tables=$(realpath "$(dirname "$0")/../tables")
tool=$(realpath "${1:-build/mapmaker}")
maptool=$(dirname "$tool")/maptool
runs=${2:-7}
clock=${3:-wall}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
here=$(dirname "$(realpath "$0")")
cd "$work"

# Comment lines of 5 to 94 characters after "// ", and one line in five empty.
awk 'BEGIN {
    srand(1)
    pad = sprintf("%100s", ""); gsub(/ /, "c", pad)
    for (i = 0; i < 46000; i++)
        if (rand() < 0.2) print ""; else print "// " substr(pad, 1, 5 + int(rand() * 90))
}' >comments.txt

make_dsc() { # file, copies of comments.txt per entry
    for ((i = 0; i < 256; i++)); do
        printf '%02X, %04X // entry %d\n' "$i" $((0x0400 + i)) "$i"
        for ((k = 0; k < $2; k++)); do cat comments.txt; done
    done >"$1"
}
for ((i = 0; i < 256; i++)); do printf '%02X, %04X // entry %d\n' "$i" $((0x0400 + i)) "$i"; done >table.dsc
head -c $((1 << 20)) comments.txt >small.body
{ cat table.dsc; cat small.body; } >small.dsc
make_dsc big.dsc 1
# As hand-edited tables come: CR LF line ends, and every third line indented when it
# is a comment.
awk '{ printf "%s%s\r\n", (NR % 3 == 0 && substr($0, 1, 2) == "//") ? "    " : "", $0 }' \
    big.dsc >crlf.dsc

seconds() { # command...: wall time (or processor time) of one run, in nanoseconds
    local start end
    if [ "$clock" = cpu ]; then
        /usr/bin/time -o "$work/cpu.txt" -f '%U %S' "$@" >/dev/null
        awk '{ printf "%d\n", ($1 + $2) * 1e9 }' "$work/cpu.txt"
        return
    fi
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    echo $((end - start))
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Runs the tool and its yardstick in turn, so that both meet the same machine load, and
# prints the median seconds of each and the median of their ratios run by run.
# The command measured: the file to read is added at its end.
measured=("$tool")
compare() { # file, yardstick command...
    local file=$1 tool_ns yard_ns
    shift
    for ((r = 0; r < runs; r++)); do
        tool_ns=$(seconds "${measured[@]}" "$file")
        yard_ns=$(seconds "$@" "$file")
        echo "$tool_ns $yard_ns"
    done >times.txt
    medians
}
medians() { # of times.txt: the tool's, the yardstick's, and of their ratios
    printf '%s %s %s\n' \
        "$(awk '{ print $1 / 1e9 }' times.txt | median)" \
        "$(awk '{ print $2 / 1e9 }' times.txt | median)" \
        "$(awk '$2 > 0 { printf "%.3f\n", $1 / $2 }' times.txt | median)"
}

peak_kb() { # median over the runs: a small peak varies by some pages from run to run
    for ((r = 0; r < runs; r++)); do
        /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -n 1
    done | median
}

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

printf 'machine: %s, %s cores; %s runs each, medians of %s time; load average %s\n' \
    "$(uname -m)" "$(nproc)" "$runs" "$clock" "$(cut -d ' ' -f 1-3 /proc/loadavg)"
printf 'big.dsc: %s bytes, %s lines\n' "$(stat -c %s big.dsc)" "$(wc -l <big.dsc)"
cat big.dsc >/dev/null # into the page cache

read -r tool_s wc_s ratio_wc < <(compare big.dsc wc -l)
printf 'big.dsc    mapmaker %ss  wc -l %ss  ratio %s\n' "$tool_s" "$wc_s" "$ratio_wc"
read -r tool_s cat_s ratio_cat < <(compare big.dsc cat)
printf 'big.dsc    mapmaker %ss  cat %ss  ratio %s\n' "$tool_s" "$cat_s" "$ratio_cat"

runs=$((runs * 10)) # a table takes about a millisecond
read -r tool_s cat_s ratio_cat < <(compare table.dsc cat)
printf 'table.dsc  mapmaker %ss  cat %ss  ratio %s\n' "$tool_s" "$cat_s" "$ratio_cat"
runs=$((runs / 10))

small_kb=$(peak_kb "$tool" small.dsc)
big_kb=$(peak_kb "$tool" big.dsc)
printf 'peak memory  small.dsc (%s bytes) %s KB  big.dsc %s KB  ratio %s\n' \
    "$(stat -c %s small.dsc)" "$small_kb" "$big_kb" "$(ratio "$big_kb" "$small_kb")"

[ -x "$maptool" ] || exit 0
for verb in check build; do
    measured=("$maptool" "$verb")
    [ "$verb" = build ] && measured=("$maptool" build -o "$work/out.map")
    read -r tool_s wc_s ratio_wc < <(compare big.dsc wc -l)
    printf 'big.dsc    maptool %s %ss  wc -l %ss  ratio %s\n' "$verb" "$tool_s" "$wc_s" "$ratio_wc"
    small_kb=$(peak_kb "${measured[@]}" small.dsc)
    big_kb=$(peak_kb "${measured[@]}" big.dsc)
    printf 'peak memory  maptool %s  small.dsc %s KB  big.dsc %s KB  ratio %s\n' \
        "$verb" "$small_kb" "$big_kb" "$(ratio "$big_kb" "$small_kb")"
done
cat crlf.dsc >/dev/null
for verb in check build; do
    measured=("$maptool" "$verb")
    [ "$verb" = build ] && measured=("$maptool" build -o "$work/out.map")
    read -r tool_s wc_s ratio_wc < <(compare crlf.dsc wc -l)
    printf 'crlf.dsc   maptool %s %ss  wc -l %ss  ratio %s\n' "$verb" "$tool_s" "$wc_s" "$ratio_wc"
done
measured=("$tool")
read -r tool_s wc_s ratio_wc < <(compare crlf.dsc wc -l)
printf 'crlf.dsc   mapmaker %ss  wc -l %ss  ratio %s\n' "$tool_s" "$wc_s" "$ratio_wc"

# fmt against check on the same file. big.dsc is in fmt's layout already: fmt reads it
# (and a second time to compare) and writes nothing. crlf.dsc has indented comments, which
# fmt rewrites: each run rewrites a fresh copy in place, copied and synced outside the timing.
measured=("$maptool" fmt)
read -r tool_s check_s ratio_check < <(compare big.dsc "$maptool" check)
printf 'big.dsc    maptool fmt %ss  check %ss  ratio %s\n' "$tool_s" "$check_s" "$ratio_check"
measured=("$maptool" fmt --check) # exits 1: the file would change
read -r tool_s check_s ratio_check < <(compare crlf.dsc "$maptool" check)
printf 'crlf.dsc   maptool fmt --check %ss  check %ss  ratio %s\n' "$tool_s" "$check_s" \
    "$ratio_check"
for ((r = 0; r < runs; r++)); do
    cp crlf.dsc fmt.dsc && sync fmt.dsc
    echo "$(seconds "$maptool" fmt fmt.dsc) $(seconds "$maptool" check crlf.dsc)"
done >times.txt
read -r tool_s check_s ratio_check < <(medians)
printf 'crlf.dsc   maptool fmt, rewritten in place %ss  check %ss  ratio %s\n' "$tool_s" \
    "$check_s" "$ratio_check"
printf 'peak memory  maptool fmt  small.dsc %s KB  big.dsc %s KB\n' \
    "$(peak_kb "$maptool" fmt small.dsc)" "$(peak_kb "$maptool" fmt big.dsc)"
rm -f fmt.dsc

# check --fix against check. big.dsc has nothing to fix: --fix checks it once and writes
# nothing. fix.dsc is big.dsc with every entry's byte written 0x80: each run fixes a fresh
# copy, which is checked once, then read again and rewritten in place.
measured=("$maptool" check --fix)
read -r tool_s check_s ratio_check < <(compare big.dsc "$maptool" check)
printf 'big.dsc    maptool check --fix %ss  check %ss  ratio %s\n' "$tool_s" "$check_s" \
    "$ratio_check"
sed 's/^\([0-9A-F][0-9A-F]\), /0x\1, /' big.dsc >fix.dsc
for ((r = 0; r < runs; r++)); do
    cp fix.dsc fixed.dsc && sync fixed.dsc
    echo "$(seconds "$maptool" check --fix fixed.dsc) $(seconds "$maptool" check fix.dsc)"
done >times.txt
read -r tool_s check_s ratio_check < <(medians)
printf 'fix.dsc    maptool check --fix, rewritten in place %ss  check %ss  ratio %s\n' \
    "$tool_s" "$check_s" "$ratio_check"
cp fix.dsc fixed.dsc
printf 'peak memory  maptool check --fix  small.dsc %s KB  big.dsc %s KB  fix.dsc %s KB\n' \
    "$(peak_kb "$maptool" check --fix small.dsc)" "$(peak_kb "$maptool" check --fix big.dsc)" \
    "$(/usr/bin/time -f '%M' "$maptool" check --fix fixed.dsc 2>&1 >/dev/null | tail -n 1)"
rm -f fix.dsc fixed.dsc

# check of a 100 MB file of bad lines, each an error: 6.25 million findings, as text and
# as JSON, which is written as the findings come.
awk 'BEGIN { for (i = 0; i < 6250000; i++) print "80, zz41 // bad" }' >bad.dsc
for format in text json; do
    printf 'bad.dsc    maptool check --format=%s  %s  peak %s KB\n' "$format" \
        "$(/usr/bin/time -f '%e s' "$maptool" check --format="$format" bad.dsc 2>&1 >/dev/null |
            tail -n 1)" \
        "$(/usr/bin/time -f '%M' "$maptool" check --format="$format" bad.dsc 2>&1 >/dev/null |
            tail -n 1)"
done
rm -f bad.dsc

# Import of a ~100 MB charmap, and of a gzip bomb.
bash "$here/import.sh" "$maptool" "$runs"

# convert: about 100 MB of Russian-like CP1251 text (words of E0..FF, one in ten
# capitalised, lines of some 70 bytes), decoded to UTF-8 and encoded back, against iconv
# with the same code page. Both write to standard output.
command -v iconv >/dev/null || exit 0
LC_ALL=C awk 'BEGIN {
    srand(2)
    for (i = 0; i < 16200; i++) {
        word = sprintf("%c", 224 + int(rand() * 32) - (rand() < 0.1 ? 32 : 0))
        for (k = int(rand() * 9); k > 0; k--) word = word sprintf("%c", 224 + int(rand() * 32))
        line = line word (rand() < 0.1 ? ", " : " ")
        if (length(line) > 70) { print line; line = "" }
    }
}' >ru_chunk.txt
for ((i = 0; i < 1000; i++)); do cat ru_chunk.txt; done >ru.txt
head -c $((1 << 20)) ru.txt | head -n -1 >ru_small.txt # whole lines, about 1 MB
iconv -f CP1251 -t UTF-8 ru.txt >ru_utf8.txt
iconv -f CP1251 -t UTF-8 ru_small.txt >ru_small_utf8.txt
cmp -s <("$maptool" convert -f "$tables/cp1251.dsc" ru.txt) ru_utf8.txt ||
    { echo "maptool convert and iconv disagree on ru.txt" >&2; exit 1; }
printf 'ru.txt: %s bytes; ru_utf8.txt: %s bytes\n' "$(stat -c %s ru.txt)" "$(stat -c %s ru_utf8.txt)"
for way in decode encode; do
    if [ "$way" = decode ]; then
        measured=("$maptool" convert -f "$tables/cp1251.dsc") input=ru.txt small=ru_small.txt
        yardstick=(iconv -f CP1251 -t UTF-8)
    else
        measured=("$maptool" convert -t "$tables/cp1251.dsc") input=ru_utf8.txt
        small=ru_small_utf8.txt
        yardstick=(iconv -f UTF-8 -t CP1251)
    fi
    cat "$input" >/dev/null
    read -r tool_s iconv_s ratio_iconv < <(compare "$input" "${yardstick[@]}")
    printf '%s  maptool convert %ss  iconv %ss  ratio %s\n' "$way" "$tool_s" "$iconv_s" "$ratio_iconv"
    printf 'peak memory  %s  maptool convert %s KB  iconv %s KB  (1 MB input: maptool %s KB)\n' \
        "$way" "$(peak_kb "${measured[@]}" "$input")" "$(peak_kb "${yardstick[@]}" "$input")" \
        "$(peak_kb "${measured[@]}" "$small")"
done
