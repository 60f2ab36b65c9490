#!/usr/bin/env bash
# A program file that carries no firmware container: the image version reads "None" and a
# write ends with "Cannot locate code data" before anything is sent.
source "$(dirname "$0")/lib.sh"
: "${Q42_IMAGE:?}"
e2e_begin

# The packed program ends with its container: "HTRSW", length, 4 reserved bytes, the image,
# "S256" and the image's SHA-256.
packed_size=$(stat -c %s "$Q42_UPDATE_EXE")
plain_size=$((packed_size - 13 - $(stat -c %s "$Q42_IMAGE") - 36))
[ "$(tail -c +$((plain_size + 1)) "$Q42_UPDATE_EXE" | head -c 5)" = HTRSW ] ||
    e2e_fail "the packed program does not end with the image's container"
mkdir -p "$Q42_BUILD/e2e"
head -c "$plain_size" "$Q42_UPDATE_EXE" >"$Q42_BUILD/e2e/plain.exe"

e2e_case update_no_container "$Q42_BUILD/e2e/plain.exe"
sim_start radio 1
app_start
update_open
ui_expect "image version" "None" text "$UPDATE" "$UPDATE_IMAGE_LABEL"
update_handshake radio
ui click "$UPDATE" "Update now"
ui wait-text "$UPDATE" Edit "Cannot locate code data" 5000 || e2e_fail "no \"Cannot locate code data\""
expect_lines "list" "Cannot locate code data"
expect_button 0 "after the write"
[ "$(sim_count radio '^event frame ')" = 0 ] || e2e_fail "frames were sent without an image"
ui close "$UPDATE"
ui wait-gone "$UPDATE" 5000 || e2e_fail "the update window did not close"
e2e_case_end
echo "PASS"
