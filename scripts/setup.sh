#!/usr/bin/env bash
# Installs the Debian packages that building and testing mapmaker need, those that are
# missing and only those, on Debian 12 with nothing but apt. Package names given as
# arguments are added to the list (CI adds clang-format and lintian). Runs apt-get with
# sudo when not run as root.
#
#   scripts/setup.sh [package...]
set -euo pipefail
packages=(
    g++ cmake make git pkg-config # the build
    libicu-dev libcli11-dev nlohmann-json3-dev zlib1g-dev # libraries maptool builds on
    libgtest-dev # unit and end-to-end tests
    libc-bin     # iconv, which the table tests check every table against
    locales      # glibc's charmaps, which maptool import makes the bundled tables from
    icu-devtools # makeconv and uconv, which build and use the .ucm files maptool exports
    patch        # applies what maptool diff prints, as its test does
    groff-base mandoc # man page lint; man pages as text for Windows
    dpkg-dev file     # dpkg-shlibdeps and file, which cpack's Debian package needs
    chromium python3-pil python3-html5lib # maptool chart's pages in a real browser; strict HTML
    bash-completion fish zsh # maptool's completion, tried in each shell
    neovim emacs-nox elpa-eglot # maptool lsp, tried in Neovim's client and Emacs' eglot
    "$@"
)
# npm installs npm's sarif-multitool, which validates check's SARIF logs. A Node.js from
# elsewhere brings its own npm, which Debian's package would conflict with.
command -v npm >/dev/null || packages+=(npm)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$package")
done
if [ "${#missing[@]}" -eq 0 ]; then
    echo "setup: the ${#packages[@]} packages needed are installed"
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null; then
    as_root=(sudo)
else
    echo "setup: neither root nor sudo; as root, run: apt-get install ${missing[*]}" >&2
    exit 1
fi
echo "setup: installing ${missing[*]}"
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "setup: installed ${#missing[@]} packages"
