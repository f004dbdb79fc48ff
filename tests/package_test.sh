#!/usr/bin/env bash
# Makes the Debian package from the build with cpack, unpacks it with dpkg-deb and checks
# it as it would be installed under /usr: its name and Depends, a man page for every
# program, compressed and configured for this version and /usr, the licence, and the
# unpacked tool converting an unpacked table. Exits 77 (reported as skipped) when a tool
# to make or unpack a .deb is missing (Debian packages dpkg-dev and file).
#
#   package_test.sh BUILD_DIR CPACK VERSION
set -euo pipefail
build=$1
cpack=$2
version=$3
for tool in "$cpack" dpkg-deb dpkg-shlibdeps file; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "package: $*" >&2; exit 1; }

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$work/mapmaker_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $(basename "$deb") made"
depends=$(dpkg-deb -f "$deb" Depends)
[[ $depends == *libc6* ]] || fail "Depends does not name libc6: $depends"

root=$work/root
dpkg-deb -x "$deb" "$root"
for file in bin/mapmaker share/man/man1/mapmaker.1.gz share/doc/mapmaker/copyright \
    share/doc/mapmaker/changelog.gz share/mapmaker/cp866.dsc \
    share/bash-completion/completions/maptool share/zsh/vendor-completions/_maptool \
    share/fish/vendor_completions.d/maptool.fish; do
    [ -f "$root/usr/$file" ] || fail "no /usr/$file"
done
for program in "$root"/usr/bin/*; do
    [ -f "$root/usr/share/man/man1/$(basename "$program").1.gz" ] ||
        fail "no man page for $(basename "$program")"
done
for page in "$root"/usr/share/man/man1/*; do
    [[ $page == *.gz ]] || fail "$(basename "$page") is not compressed"
    # Read whole first: under pipefail, `zcat | grep -q` fails (zcat killed by SIGPIPE) when
    # grep stops at a match before zcat has written the whole page.
    text=$(zcat "$page")
    grep -q "^\.TH [A-Z]* 1 .* $version\"" <<<"$text" || fail "$(basename "$page") is not for $version"
    ! grep -q '/usr/local' <<<"$text" || fail "$(basename "$page") names /usr/local"
done
grep -qF '/usr/share/mapmaker/' <<<"$(zcat "$root/usr/share/man/man1/mapmaker.1.gz")" ||
    fail "mapmaker.1 does not name /usr/share/mapmaker"

mkdir "$work/run"
cp "$root/usr/share/mapmaker/cp866.dsc" "$work/run/"
output=$(cd "$work/run" && "$root/usr/bin/mapmaker" cp866)
[ "$output" = "Map file 'cp866.map' successfully created [128 characters]." ] ||
    fail "unexpected output: $output"
size=$(stat -c %s "$work/run/cp866.map")
[ "$size" -eq $((2 + 3 * 128)) ] || fail "cp866.map has $size bytes, not 386"
echo "package: $(basename "$deb") (Depends: $depends) unpacks to a working tool"
