#!/usr/bin/env bash
# Lints the configured man pages: no @NAME@ left unconfigured, then groff (warnings on)
# and, where installed, mandoc. Exits 77 (reported as skipped) when neither is installed.
#
#   man_lint.sh PAGE...
set -euo pipefail
[ "$#" -gt 0 ] || { echo "no man page given" >&2; exit 1; }
linted=0
for page in "$@"; do
    if grep -n '@[A-Z_]*@' "$page" >&2; then
        echo "$page: placeholder left unconfigured" >&2
        exit 1
    fi
    if command -v groff >/dev/null; then
        warnings=$(groff -ww -z -man "$page" 2>&1)
        [ -z "$warnings" ] || { echo "$warnings" >&2; exit 1; }
        linted=1
    fi
    if command -v mandoc >/dev/null; then
        mandoc -T lint -W style "$page"
        linted=1
    fi
done
[ "$linted" -eq 1 ] || { echo "neither groff nor mandoc is installed"; exit 77; }
echo "$# man page(s) lint clean"
