#!/usr/bin/env bash
# Makes docs/lsp-neovim.png: Neovim in a real terminal (tmux, 110x22) editing a table with
# maptool lsp, showing the findings and the hover of an entry. The screen is captured with
# its colours (tmux capture-pane -e), turned into HTML by aha and drawn by headless
# Chromium. Not a test; run it again after a change to what the server shows.
# Needs the Debian packages neovim, tmux, aha and chromium.
#
#   docs/lsp_screenshot.sh [build/maptool] [docs/lsp-neovim.png]
set -euo pipefail
maptool=$(realpath "${1:-build/maptool}")
out=$(realpath "${2:-$(dirname "$0")/lsp-neovim.png}")
for program in nvim tmux aha chromium; do
    command -v $program >/dev/null || { echo "lsp_screenshot: no $program" >&2; exit 1; }
done
work=$(mktemp -d)
socket=maptool-screenshot-$$
trap 'tmux -L "$socket" kill-server 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"

# The start of CP866 with three slips: a 0x prefix, a name that is not the code's, and a
# tab between the fields.
cat >cp866.dsc <<'EOF'
//cp866 -> UNICODE
// charset IBM866
80, 0410 // CYRILLIC CAPITAL LETTER A
81, 0411 // CYRILLIC CAPITAL LETTER BE
0x82, 0412 // CYRILLIC CAPITAL LETTER VE
83,	0413 // CYRILLIC CAPITAL LETTER GHE
84, 0414 // CYRILLIC CAPITAL LETTER ZHE
85, 0415 // CYRILLIC CAPITAL LETTER IE
86, 0416 // CYRILLIC CAPITAL LETTER ZHE
87, 0417 // CYRILLIC CAPITAL LETTER ZE
88, 0418 // CYRILLIC CAPITAL LETTER I
89, 0419 // CYRILLIC CAPITAL LETTER SHORT I
EOF
# The setup docs/editors.md gives for Neovim 0.7, with K for hover as newer versions map it.
cat >init.lua <<EOF
vim.o.number = true
vim.o.termguicolors = true
vim.o.shortmess = vim.o.shortmess .. 'I'
vim.cmd('highlight SignColumn guibg=NONE')
vim.cmd('highlight NormalFloat guibg=#2a2a3a guifg=#e8e8e8')
vim.cmd('autocmd BufRead,BufNewFile *.dsc setfiletype dsc')
local client
vim.api.nvim_create_autocmd('FileType', {
  pattern = 'dsc',
  callback = function(args)
    client = client or vim.lsp.start_client({ name = 'maptool', cmd = { '$maptool', 'lsp' } })
    vim.lsp.buf_attach_client(args.buf, client)
  end,
})
vim.keymap.set('n', 'K', vim.lsp.buf.hover)
EOF

screen() { tmux -L "$socket" capture-pane -p -e -t shot; }
wait_for() { # text
    for _ in $(seq 100); do
        screen | grep -q "$1" && return 0
        sleep 0.1
    done
    echo "lsp_screenshot: '$1' never appeared on the screen:" >&2
    screen >&2
    exit 1
}
tmux -L "$socket" -f /dev/null new-session -d -s shot -x 110 -y 22 \
    "env TERM=tmux-256color XDG_STATE_HOME=$work XDG_DATA_HOME=$work nvim --clean -u init.lua cp866.dsc"
wait_for 'hexadecimal'
# The hover of the entry whose comment names another character.
tmux -L "$socket" send-keys -t shot 7G K
wait_for 'U+0414'
sleep 0.3
# aha knows no underline colours (SGR 58): the underline is drawn in the text's colour.
screen | sed 's/\x1b\[58;[0-9;]*m//g' >screen.txt

aha --black --title 'maptool lsp in Neovim' <screen.txt >screen.html
# One character cell of DejaVu Sans Mono at 16 px is about 9.6 x 19 px: the window holds the
# 110 x 22 cells and a margin.
sed -i 's|</head>|<style>body{margin:8px;background:#000}pre{font:16px/19px "DejaVu Sans Mono",monospace;margin:0}</style></head>|' screen.html
chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir="$work/profile" \
    --window-size=1072,434 --screenshot="$out" "file://$work/screen.html" >/dev/null 2>&1
echo "lsp_screenshot: $out"
