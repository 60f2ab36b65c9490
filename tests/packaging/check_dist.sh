#!/usr/bin/env bash
# The ZIP for users, made twice from one build: the same bytes both times; the programs in it
# are the built products; its checksums hold; the user text has Windows line ends.
#   tests/packaging/check_dist.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
# Without a key, whatever the caller's environment holds (check_signed_dist.sh signs).
unset Q42_SIGN_PKCS12

first=$("$here/../../tools/dist/make-dist" "$build" "$work/one")
second=$("$here/../../tools/dist/make-dist" "$build" "$work/two")
cmp "$first" "$second" || fail "two runs of make-dist gave different ZIPs"

mkdir "$work/unpacked"
(cd "$work/unpacked" && unzip -q "$first")
[ "$(unzip -Z1 "$first" | paste -sd ' ')" = "Q42Update.exe Q42Update-x64.exe q42flash.exe q42flash-x64.exe README.txt SHA256SUMS.txt" ] ||
    fail "the ZIP holds $(unzip -Z1 "$first" | paste -sd ' ')"
cmp "$work/unpacked/Q42Update.exe" "$build/Q42Update.exe" || fail "Q42Update.exe is not the 32-bit product"
cmp "$work/unpacked/Q42Update-x64.exe" "$build/Q42Update-x64.exe" || fail "Q42Update-x64.exe is not the 64-bit product"
cmp "$work/unpacked/q42flash.exe" "$build/windows/flash/q42flash.exe" || fail "q42flash.exe is not the 32-bit build's"
cmp "$work/unpacked/q42flash-x64.exe" "$build/windows64/flash/q42flash.exe" || fail "q42flash-x64.exe is not the 64-bit build's"
grep -q '^MANY RADIOS' "$work/unpacked/README.txt" || fail "README.txt has no MANY RADIOS paragraph"
(cd "$work/unpacked" && tr -d '\r' <SHA256SUMS.txt | sha256sum --quiet -c) || fail "the checksums do not hold"
[ "$(grep -c $'\r$' "$work/unpacked/README.txt")" -eq "$(wc -l <"$work/unpacked/README.txt")" ] ||
    fail "README.txt has lines without CR LF"
! grep -q '@VERSION@' "$work/unpacked/README.txt" || fail "README.txt does not name the version"
echo "ZIP reproducible and complete: $(basename "$first"), $(stat -c %s "$first") bytes"
