#!/usr/bin/env bash
# Makes the Windows installer from a cross build with cpack and runs it under Wine in a
# Wine prefix of its own, as a user would: installs silently into a folder with a space
# in its name, checks the files, runs the installed maptool.exe, checks that the user's
# PATH (HKCU\Environment) holds the bin folder and that the uninstaller is registered;
# then uninstalls silently and checks that the files, the PATH entry and the registration
# are gone, and that the rest of PATH is as it was. Exits 77 (reported as skipped) when
# NSIS (makensis) is missing.
#
#   installer_test.sh BUILD_DIR CPACK VERSION WINE
set -euo pipefail
build=$1
cpack=$2
version=$3
wine=$4
command -v makensis >/dev/null || { echo "NSIS (makensis) is not installed"; exit 77; }
work=$(mktemp -d)
export WINEPREFIX=$work/wine WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml=
wineserver=$(dirname "$(command -v "$wine")")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver
cleanup() {
    "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "installer: $*" >&2; exit 1; }
run() { "$wine" "$@" </dev/null 2>>"$work/wine.log"; }

"$cpack" --config "$build/CPackConfig.cmake" -G NSIS -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
setup=$work/mapmaker-$version-win64.exe
[ -f "$setup" ] || fail "no $(basename "$setup") made"
file "$setup" | grep -q 'PE32+' || fail "the installer is no 64-bit program: $(file -b "$setup")"

run wineboot --init >/dev/null
# Something of the user's own in PATH, which must stay.
run reg add 'HKCU\Environment' /v PATH /t REG_EXPAND_SZ /d 'C:\mine' /f >/dev/null
user_path() {
    run reg query 'HKCU\Environment' /v PATH | tr -d '\r' |
        sed -n 's/^ *PATH *REG_[A-Z_]* *//p'
}

folder="$work/My Tools/mapmaker"
windows() { echo "Z:${1//\//\\}"; }
windows_folder=$(windows "$folder")
# NSIS takes /D= only last and unquoted, spaces and all, so the command line is written
# whole, for cmd, rather than quoted word by word by wine.
install() { run cmd /c "$(windows "$setup") /S /D=$windows_folder"; }
install
for file in bin/mapmaker.exe bin/maptool.exe LICENSE.txt README.md maptool.1.txt \
    share/mapmaker/cp866.dsc uninstall.exe; do
    [ -f "$folder/$file" ] || fail "no $file installed"
done
tables=$(find "$folder/share/mapmaker" -name '*.dsc' | wc -l)
[ "$tables" -eq "$(find "$(dirname "$0")/../tables" -name '*.dsc' | wc -l)" ] ||
    fail "only $tables tables installed"

version_line=$(run "$folder/bin/maptool.exe" --version | tr -d '\r')
[[ $version_line == "maptool $version (character names from "* ]] ||
    fail "the installed maptool.exe says: $version_line"
[ "$(user_path)" = "C:\\mine;$windows_folder\\bin" ] || fail "the user's PATH is $(user_path)"
run reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\mapmaker' \
    /v UninstallString >/dev/null || fail "no uninstaller registered"

# Installed again over itself: the folder is in PATH once.
install
[ "$(user_path)" = "C:\\mine;$windows_folder\\bin" ] || fail "installed twice, PATH is $(user_path)"

run "$folder/uninstall.exe" /S
# The uninstaller copies itself away and finishes after wine has returned.
for ((i = 0; i < 60; i++)); do
    [ -e "$folder" ] || break
    sleep 1
done
[ ! -e "$folder" ] || fail "left after uninstalling: $(cd "$folder" && find . | head -5)"
[ "$(user_path)" = 'C:\mine' ] || fail "after uninstalling, the user's PATH is $(user_path)"
if run reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\mapmaker' >/dev/null; then
    fail "the uninstaller is still registered"
fi
echo "installer: $tables tables and both programs installed, on PATH, run, uninstalled"
