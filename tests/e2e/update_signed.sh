#!/usr/bin/env bash
# The program as a maker ships it, signed by make-dist (with a throwaway key): it still finds
# its image behind which the signature stands, shows its version, and writes the radio's
# flash byte for byte.
source "$(dirname "$0")/lib.sh"
: "${Q42_IMAGE:?}"
e2e_begin

signed=$Q42_BUILD/e2e/signed-dist
rm -rf "$signed"
"$e2e_dir/../packaging/throwaway-signer.sh" "$signed/signer"
zip=$(Q42_SIGN_PKCS12=$signed/signer/signer.p12 Q42_SIGN_PASSWORD_FILE=$signed/signer/password \
    Q42_SIGN_CA_FILE=$signed/signer/signer.pem "$e2e_dir/../../tools/dist/make-dist" "$Q42_BUILD" "$signed")
# The ZIP's program of the build that runs under Wine here (the 32-bit one where it can).
program=$(basename "$Q42_UPDATE_EXE")
unzip -q -d "$signed/unpacked" "$zip" "$program"
osslsigncode verify -CAfile "$signed/signer/signer.pem" -in "$signed/unpacked/$program" >/dev/null 2>&1 ||
    e2e_fail "$program in the ZIP is not signed"

e2e_case update_signed "$signed/unpacked/$program"
sim_start radio 1 --image "$Q42_IMAGE" --flash-out "$E2E_WORK/flash.bin"
app_start
update_open
ui_expect "image version" "$(image_field "$Q42_IMAGE" 23 6)" text "$UPDATE" "$UPDATE_IMAGE_LABEL"
update_handshake radio
ui click "$UPDATE" "Update now"
ui wait-text "$UPDATE" Edit "Repeat programming if required." 300000 || e2e_fail "the write did not complete"
expect_lines "list after the write" "Sending new Q42 firmware..." "New Firmware is loaded." "Finished..." \
    "Disconnect RS232 link from device" "and restart device to verify operation." "Repeat programming if required."
ui close "$UPDATE"
ui wait-gone "$UPDATE" 5000 || e2e_fail "the update window did not close"
sim_stop radio
expect_flash "$E2E_WORK/flash.bin" "$Q42_IMAGE" "$E2E_WORK/radio.events"
echo "signed program of $(stat -c %s "$signed/unpacked/$program") bytes: image of $(stat -c %s "$Q42_IMAGE") bytes, $(sent_blocks "$E2E_WORK/radio.events" | wc -l) frames"
e2e_case_end
echo "PASS"
