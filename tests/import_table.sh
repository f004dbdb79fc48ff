#!/usr/bin/env bash
# Regenerates one bundled table from its glibc charmap with the built maptool, as
# scripts/import_tables.sh does, and compares it with the committed file byte for byte.
# Exits 77 (reported as skipped) when the charmap is not installed.
#
#   import_table.sh MAPTOOL TABLE.dsc
set -euo pipefail
tool=$(realpath "$1")
table=$2
name=$(basename "$table" .dsc)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
bash "$(dirname "$0")/../scripts/import_tables.sh" "$tool" "$work" "$name" >/dev/null
if ! cmp -s "$table" "$work/$name.dsc"; then
    diff "$table" "$work/$name.dsc" >&2 || true
    echo "$name: the table imported from its charmap differs from the committed one" >&2
    exit 1
fi
echo "$name: imported from its charmap, byte for byte as committed"
