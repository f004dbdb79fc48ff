#!/usr/bin/env bash
# maptool lsp in a real editor: Emacs in batch with eglot and flymake runs
# tests/lsp_emacs.el against the given maptool (the build tree's, or an installed one).
# Exits 77 (skipped) where Emacs or eglot is missing.
#
#   lsp_emacs.sh MAPTOOL
set -euo pipefail
maptool=$(realpath "$1")
here=$(dirname "$(realpath "$0")")

if ! command -v emacs >/dev/null; then
    echo "lsp_emacs: skipped: no emacs (Debian package emacs-nox)"
    exit 77
fi
# -Q leaves out the site start files through which Debian's elpa-eglot is found: the
# package system is started on Debian's folder of packages by hand.
load=(--eval "(progn (require 'package)
  (add-to-list 'package-directory-list \"/usr/share/emacs/site-lisp/elpa\")
  (package-initialize))")
if ! emacs -Q --batch "${load[@]}" --eval "(require 'eglot)" </dev/null >/dev/null 2>&1; then
    echo "lsp_emacs: skipped: Emacs has no eglot (Debian package elpa-eglot)"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
HOME=$work MAPTOOL=$maptool DSC_FILE=$work/faulty.dsc \
    timeout 120 emacs -Q --batch "${load[@]}" -l "$here/lsp_emacs.el" </dev/null
