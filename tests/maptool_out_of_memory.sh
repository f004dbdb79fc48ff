#!/usr/bin/env bash
# Runs each maptool verb with allocations failing at the Nth allocation, for N over the
# whole run of the verb (every N up to 24, where the command line is read, then N growing
# by a quarter to the end, and the last two, where the output is written and said), once
# with memory staying exhausted and once with only the Nth failing; then each of ICU's and
# zlib's own allocations alone (where it loads its names, where it reads a source); then
# under address space limits. Each run either does exactly what the run with enough memory
# does, or stops short of it: what it printed is a beginning of that run's output, its
# last line on standard error is "maptool: out of memory", its status 2. The output
# folder, which holds an old file of every name a verb writes, then holds either what the
# run with enough memory left there or the old files, byte for byte: no temporary file,
# no old file replaced by a cut one.
#
# That exhaustive sweep is some thousand runs, minutes of them: CI runs it as a step of its
# own, with "all". Without it, a sample that an ordinary test run affords: the first
# allocations where the command line is read, then N growing eightfold to the end, each
# failing either on or alone by turns; ICU's and zlib's allocations alone, in the verbs
# whose whole run is short (telling each allocation's library makes a long run slow);
# four limits.
#
#   maptool_out_of_memory.sh PRELOAD_LIBRARY MAPTOOL [all]
set -u
preload=$1 maptool=$2 mode=${3:-sample}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
printf '//t -> UNICODE\n80, 0410 // CYRILLIC CAPITAL LETTER A\n81, 0411 // CYRILLIC CAPITAL LETTER A\n' >t.dsc
printf '\0\2\200\4\20\201\4\21' >t.map
printf '<code_set_name> T\n<escape_char> /\nCHARMAP\n<U0410> /x80 CYRILLIC CAPITAL LETTER A\n<U0411> /x81\nEND CHARMAP\n' >src.txt
printf 'AB\200\201\n' >text.txt
printf '  80,410 x\n' >u.dsc
mkdir tables
cp t.dsc tables/
verbs=(
    "check --format=json t.dsc"
    "build t.dsc -o run/t.map"
    "dump t.map -o run/t.dsc"
    "diff t.dsc t.map"
    "import src.txt -o run/i.dsc"
    "export --format=ucm src.txt -o run/e.ucm"
    "export --format=ucm --name=ibm-866 t.map -o run/e.ucm"
    "convert -f t.dsc -o run/c.txt text.txt"
    "chart t.dsc -o run/c.html"
    "which --tables tables t.map"
    "fmt --diff --names u.dsc"
    "fmt --names run/u.dsc"
    "help check"
)

# The output folder as each run finds it: an old file of every name a verb writes there.
mkdir old
for name in t.map t.dsc i.dsc e.ucm c.txt c.html; do echo old >"old/$name"; done
cp u.dsc old/u.dsc
restore() {
    rm -rf run && cp -R old run
}

# The output folder's files, hidden ones too, and their bytes.
folder() {
    (cd run && cksum -- $(ls -A))
}
restore
folder >old_folder
failures=0
runs=0

# One run of a verb as the last step recorded it; $1 names the case.
judge() {
    local what=$1 status=$2
    runs=$((runs + 1))
    local ok=0
    folder >now_folder
    if [ "$status" = "$ok_status" ] && cmp -s out ok_out && cmp -s err ok_err &&
        cmp -s now_folder ok_folder; then
        ok=1
    elif [ "$status" = 2 ] && [ "$(tail -n 1 err)" = "maptool: out of memory" ] &&
        cmp -s now_folder old_folder; then
        # Standard output may show what a swallowed failure cut short before the run ended.
        head -n -1 err >err_before
        if cmp -s err_before <(head -c "$(wc -c <err_before)" ok_err); then
            ok=1
        fi
    fi
    if [ $ok = 0 ]; then
        failures=$((failures + 1))
        if [ $failures -le 10 ]; then
            echo "$what: status $status; stderr: $(head -c 300 err); files: $(tr '\n' ' ' <now_folder)"
        fi
    fi
    restore
}

# Fails allocation N and on of those made from $from ("" for all), and N alone (the
# sample: one of the two by turns, and only alone within a library).
sweep() {
    local from=$1 n once status turn=0 onces
    # shellcheck disable=SC2086 # the words of the verb
    FAIL_MALLOC_FROM=$from FAIL_MALLOC_AT=0 FAIL_MALLOC_COUNT=count LD_PRELOAD=$preload \
        "$maptool" $verb >out 2>err
    restore
    total=$(cat count)
    if [ "$mode" = all ]; then
        points=$(seq 1 $((total < 24 ? total : 24)))
        for ((n = 25; n < total; n += n / 4)); do points="$points $n"; done
    else
        points=$(seq 1 $((total < 3 ? total : 3)))
        for ((n = 5; n < total && n <= 21; n += n / 2)); do points="$points $n"; done
        for ((n = 168; n < total; n *= 8)); do points="$points $n"; done
    fi
    [ "$total" -gt 24 ] && points="$points $((total - 1)) $total"
    points=$(printf '%s\n' $points | sort -n -u)
    for n in $points; do
        onces="0 1"
        if [ "$mode" != all ]; then
            turn=$((1 - turn))
            onces=$([ -n "$from" ] && echo 1 || echo $turn)
        fi
        for once in $onces; do
            # shellcheck disable=SC2086
            FAIL_MALLOC_FROM=$from FAIL_MALLOC_AT=$n FAIL_MALLOC_ONCE=$once LD_PRELOAD=$preload \
                "$maptool" $verb >out 2>err
            status=$?
            judge "$verb, allocation $n of $total${from:+ in $from} failing$([ $once = 1 ] &&
                echo ' alone')" $status
        done
    done
}

for verb in "${verbs[@]}"; do
    # shellcheck disable=SC2086 # the words of the verb
    "$maptool" $verb >ok_out 2>ok_err
    ok_status=$?
    folder >ok_folder
    restore
    sweep ""
    if [ "$mode" = all ] || [ "$total" -lt 10000 ]; then
        sweep libicuuc
        sweep libz
    fi
    # Address space limits from where the program cannot even be loaded up to where it
    # runs: the loader's own failure (127) is not maptool's to report.
    [ "$verb" = "${verbs[0]}" ] || continue
    limits=$(seq 20000 2000 80000)
    [ "$mode" = all ] || limits="20000 40000 60000 80000"
    for limit in $limits; do
        # shellcheck disable=SC2086
        (ulimit -v "$limit" && exec "$maptool" $verb) >out 2>err
        status=$?
        if [ $status = 127 ] && grep -q 'error while loading shared libraries' err; then
            restore
            continue
        fi
        judge "$verb, ulimit -v $limit" $status
    done
done
echo "$runs runs, $failures wrong"
[ $failures = 0 ]
