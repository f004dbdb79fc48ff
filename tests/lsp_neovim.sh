#!/usr/bin/env bash
# maptool lsp in a real editor: Neovim's built-in LSP client, headless, runs
# tests/lsp_neovim.lua against the given maptool (the build tree's, or an installed one),
# once with each position encoding. Exits 77 (skipped) where Neovim 0.7 or later is missing.
#
#   lsp_neovim.sh MAPTOOL [utf-16|utf-8...]       (default: both)
set -euo pipefail
maptool=$(realpath "$1")
shift
encodings=("$@")
[ ${#encodings[@]} -gt 0 ] || encodings=(utf-16 utf-8)
here=$(dirname "$(realpath "$0")")

if ! command -v nvim >/dev/null; then
    echo "lsp_neovim: skipped: no nvim (Debian package neovim)"
    exit 77
fi
if ! nvim --headless --clean -c 'lua if vim.fn.has("nvim-0.7") == 0 then vim.cmd("cquit 3") end' \
    -c 'qall!' </dev/null >/dev/null 2>&1; then
    echo "lsp_neovim: skipped: $(nvim --version | head -1) is older than 0.7"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for encoding in "${encodings[@]}"; do
    # The editor's own state (log, shada) stays in the scratch folder.
    XDG_STATE_HOME=$work/state XDG_CACHE_HOME=$work/cache XDG_DATA_HOME=$work/data \
        MAPTOOL=$maptool DSC_FILE=$work/faulty-$encoding.dsc ENCODING=$encoding \
        timeout 120 nvim --headless --clean -c "luafile $here/lsp_neovim.lua" </dev/null ||
        status=1
done
exit $status
