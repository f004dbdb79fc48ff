#!/usr/bin/env bash
# Runs a tool with every allocation failing from the start of main on, and checks that it
# says so with its own message and status, and nothing on standard error.
#
#   out_of_memory.sh PRELOAD_LIBRARY EXPECTED_STATUS EXPECTED_OUTPUT TOOL ARGS...
set -u
preload=$1 expected_status=$2 expected_output=$3
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '80, 0410\n' >"$work/cp866.dsc"
cd "$work"
LD_PRELOAD=$preload "$@" >out 2>err
status=$?
printf '%s\n' "$expected_output" >expected
fail=0
[ "$status" = "$expected_status" ] || { echo "status $status, expected $expected_status"; fail=1; }
cmp -s out expected || { echo "standard output:"; od -c out | head; fail=1; }
[ ! -s err ] || { echo "standard error:"; head err; fail=1; }
[ ! -e cp866.map ] || [ ! -s cp866.map ] || { echo "a map file was written"; fail=1; }
exit $fail
