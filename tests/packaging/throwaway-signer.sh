#!/usr/bin/env bash
# Makes a code-signing key and self-signed certificate for the signing tests, valid for two
# days, in DIR: signer.p12 (key and certificate, PKCS#12), password (its password on one
# line) and signer.pem (the certificate, which verification must be told to trust).
#   tests/packaging/throwaway-signer.sh DIR
set -euo pipefail
dir=$1
mkdir -p "$dir"
printf 'throwaway %s\n' "$RANDOM$RANDOM" >"$dir/password"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Q42 throwaway test signer" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
    -keyout "$dir/signer.key" -out "$dir/signer.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$dir/signer.key" -in "$dir/signer.pem" -out "$dir/signer.p12" \
    -passout "file:$dir/password"
rm "$dir/signer.key"
