#!/usr/bin/env bash
# q42flash's Linux downloads, made twice from one build: the same bytes both times; each
# tarball and Debian package holds exactly its files, the built program among them; the
# checksums hold; lintian finds no error or warning; the program says the project's version.
#   tests/packaging/check_linux_dist.sh BUILD_DIR VERSION
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$here/../../tools/dist/make-linux-dist" "$build" "$work/one" >/dev/null
"$here/../../tools/dist/make-linux-dist" "$build" "$work/two" >/dev/null
for file in "$work"/one/*; do
    cmp "$file" "$work/two/$(basename "$file")" || fail "two runs gave different $(basename "$file")"
done

# processor | Debian's name for it
while IFS="|" read -r arch deb_arch; do
    program=$build/linux/$arch/bin/q42flash
    name=q42flash-$version-linux-$arch
    tarball=$work/one/$name.tar.gz
    [ "$(tar -tzf "$tarball" | paste -sd ' ')" = "$name/ $name/README.txt $name/SHA256SUMS $name/q42flash $name/q42flash.1" ] ||
        fail "$name.tar.gz holds $(tar -tzf "$tarball" | paste -sd ' ')"
    mkdir -p "$work/$arch"
    tar -C "$work/$arch" -xzf "$tarball"
    cmp "$work/$arch/$name/q42flash" "$program" || fail "$name.tar.gz does not hold the built program"
    (cd "$work/$arch/$name" && sha256sum --quiet -c SHA256SUMS) || fail "$name.tar.gz: the checksums do not hold"
    ! grep -q '@[A-Z]*@' "$work/$arch/$name/README.txt" "$work/$arch/$name/q42flash.1" ||
        fail "$name.tar.gz: a text still holds a @WORD@"

    deb=$work/one/q42flash_${version}_$deb_arch.deb
    [ "$(dpkg-deb -f "$deb" Package Version Architecture | paste -sd ' ')" = \
        "Package: q42flash Version: $version Architecture: $deb_arch" ] ||
        fail "$(basename "$deb"): control says $(dpkg-deb -f "$deb" Package Version Architecture | paste -sd ' ')"
    files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $1, $2, $6}' | paste -sd ' ')
    [ "$files" = "-rwxr-xr-x root/root ./usr/bin/q42flash -rw-r--r-- root/root ./usr/share/doc/q42flash/changelog.gz -rw-r--r-- root/root ./usr/share/doc/q42flash/copyright -rw-r--r-- root/root ./usr/share/lintian/overrides/q42flash -rw-r--r-- root/root ./usr/share/man/man1/q42flash.1.gz" ] ||
        fail "$(basename "$deb") holds $files"
    dpkg-deb -x "$deb" "$work/$arch/root"
    cmp "$work/$arch/root/usr/bin/q42flash" "$program" || fail "$(basename "$deb") does not hold the built program"
done <<'TABLE'
x86_64|amd64
aarch64|arm64
armhf|armhf
TABLE

lintian --fail-on error,warning --tag-display-limit 0 "$work"/one/*.deb >"$work/lintian.txt" 2>&1 ||
    fail "lintian found errors or warnings: $(grep -v 'root privileges' "$work/lintian.txt")"

[ "$("$build/linux/x86_64/bin/q42flash" --version)" = "q42flash $version" ] ||
    fail "q42flash --version says '$("$build/linux/x86_64/bin/q42flash" --version)', not the project's $version"
echo "Linux downloads reproducible and complete: $(cd "$work/one" && stat -c '%n %s' -- * | paste -sd ',')"
