#!/usr/bin/env bash
# The ZIP for users made with a (throwaway) signing key: the four programs in it verify, the
# two window programs carry the built product's container unchanged and readable, its image's SHA-256 holding, and are
# what its checksums name; one changed byte in a container breaks the signature and the SHA-256; a wrong password or an untrusted
# certificate fails make-dist and leaves no ZIP.
#   tests/packaging/check_signed_dist.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
q42pack=$build/bin/q42pack
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$here/throwaway-signer.sh" "$work/signer"
export Q42_SIGN_PKCS12=$work/signer/signer.p12
export Q42_SIGN_PASSWORD_FILE=$work/signer/password
export Q42_SIGN_CA_FILE=$work/signer/signer.pem
unset Q42_SIGN_TIMESTAMP_URL
zip=$("$here/../../tools/dist/make-dist" "$build" "$work/dist")
mkdir "$work/unpacked"
(cd "$work/unpacked" && unzip -q "$zip")
(cd "$work/unpacked" && tr -d '\r' <SHA256SUMS.txt | sha256sum --quiet -c) || fail "the checksums do not hold"

# The offset of the first container marker in a file.
marker_at() { grep -obUaF HTRSW "$1" | head -n 1 | cut -d: -f1; }

for exe in q42flash.exe q42flash-x64.exe; do
    osslsigncode verify -CAfile "$Q42_SIGN_CA_FILE" -in "$work/unpacked/$exe" >"$work/verify.log" 2>&1 ||
        { cat "$work/verify.log" >&2; fail "$exe does not verify"; }
done
for exe in Q42Update.exe Q42Update-x64.exe; do
    signed=$work/unpacked/$exe
    product=$build/$exe
    osslsigncode verify -CAfile "$Q42_SIGN_CA_FILE" -in "$signed" >"$work/verify.log" 2>&1 ||
        { cat "$work/verify.log" >&2; fail "$exe does not verify"; }
    ! cmp -s "$signed" "$product" || fail "$exe in the ZIP is not signed"
    [ "$("$q42pack" --show "$signed")" = "$("$q42pack" --show "$product")" ] &&
        "$q42pack" --show "$signed" | grep -q ', SHA-256 [0-9a-f]\{64\}$' ||
        fail "$exe: q42pack --show reads $("$q42pack" --show "$signed" 2>&1)"
    at=$(marker_at "$product")
    [ "$(marker_at "$signed")" = "$at" ] || fail "$exe: the container moved"
    cmp -s -n $(($(stat -c %s "$product") - at)) <(tail -c +$((at + 1)) "$signed") <(tail -c +$((at + 1)) "$product") ||
        fail "$exe: the container's bytes changed"
    # One image byte, inverted.
    cp "$signed" "$work/changed.exe"
    offset=$((at + 13 + 1000))
    byte=$(od -An -tu1 -j "$offset" -N 1 "$signed" | tr -d ' ')
    printf '%b' "\\x$(printf '%02x' $((255 - byte)))" | dd of="$work/changed.exe" bs=1 seek="$offset" conv=notrunc status=none
    ! cmp -s "$signed" "$work/changed.exe" || fail "$exe: the image byte was not changed"
    ! osslsigncode verify -CAfile "$Q42_SIGN_CA_FILE" -in "$work/changed.exe" >/dev/null 2>&1 ||
        fail "$exe still verifies with a byte of its container changed"
    [ "$("$q42pack" --show "$work/changed.exe")" = "damaged firmware image at offset $at: it does not match its \
SHA-256 (the program will not use it)" ] ||
        fail "$exe: q42pack --show takes the changed image for whole"
done
echo "signed ZIP: $(basename "$zip"), $(stat -c %s "$zip") bytes; all four programs verify, \
$(stat -c %s "$work/unpacked/Q42Update.exe") and $(stat -c %s "$work/unpacked/Q42Update-x64.exe") bytes"

# Refusals: make-dist fails and no ZIP is left behind, not even one made before.
printf 'not the password\n' >"$work/wrong-password"
for refusal in "a wrong password" "a certificate not trusted"; do
    case $refusal in
        "a wrong password") password=$work/wrong-password ca=$Q42_SIGN_CA_FILE ;;
        *) password=$work/signer/password ca="" ;;  # the system's certificates only
    esac
    if Q42_SIGN_PASSWORD_FILE=$password Q42_SIGN_CA_FILE=$ca \
        "$here/../../tools/dist/make-dist" "$build" "$work/dist" >"$work/refused.log" 2>&1; then
        fail "make-dist signed with $refusal"
    fi
    [ ! -e "$zip" ] || fail "a ZIP is left after signing failed with $refusal"
    echo "refused, $refusal: $(tail -n 1 "$work/refused.log")"
done
