#!/usr/bin/env bash
# A program file whose image was damaged after packing, one bit flipped at the image's first,
# middle or last byte or in its SHA-256: the update window says so as soon as it opens, and
# after the radio's header still offers no "Update now"; damaged while the window is open,
# "Update now" finds it. The radio gets no frame. A program packed before containers carried
# a SHA-256 still writes the radio byte for byte.
source "$(dirname "$0")/lib.sh"
: "${Q42_IMAGE:?}"
e2e_begin

readonly DAMAGED="The firmware inside this program file is damaged: download the program again."
name=$(image_field "$Q42_IMAGE" 17 5)
image_size=$(stat -c %s "$Q42_IMAGE")
packed_size=$(stat -c %s "$Q42_UPDATE_EXE")
# The packed program ends with its container: "HTRSW", length, 4 reserved bytes, the image,
# then "S256" and the image's SHA-256.
image_at=$((packed_size - 36 - image_size))
if [ "$(tail -c +$((image_at - 12)) "$Q42_UPDATE_EXE" | head -c 5)" != HTRSW ] ||
    [ "$(tail -c 36 "$Q42_UPDATE_EXE" | head -c 4)" != S256 ]; then
    e2e_fail "the packed program does not end with the image's container and its SHA-256"
fi

# flip FILE OFFSET: one bit of the byte at OFFSET inverted.
flip() {
    local byte
    byte=$(od -An -tu1 -j "$2" -N 1 "$1" | tr -d ' ')
    printf '%b' "\\x$(printf '%02x' $((byte ^ 1)))" | dd of="$1" bs=1 seek="$2" conv=notrunc status=none
}

expect_no_frame() {
    [ "$(sim_count radio '^event frame ')" = 0 ] || e2e_fail "$1: frames were sent from a damaged image"
}

while read -r where offset; do
    e2e_case "update_damaged_$where"
    flip "$E2E_WORK/Q42Update.exe" "$offset"
    sim_start radio 1 --image "$Q42_IMAGE"
    app_start
    ui menu "$MAIN" IDM_UPDATE
    ui wait-window "$UPDATE" 5000 || e2e_fail "$where: the update window did not open"
    ui wait-text "$UPDATE" Edit "$DAMAGED" 3000 || e2e_fail "$where: the window does not say the image is damaged"
    expect_lines "$where: list when opened" "$DAMAGED"
    sim_send radio on
    sim_wait radio '^event header' 10
    ui wait-text "$UPDATE" "$UPDATE_NAME_LABEL" "Application in unit: $name" 5000 ||
        e2e_fail "$where: the radio's header was not shown"
    ui wait-text "$UPDATE" Edit "$DAMAGED" 3000 || e2e_fail "$where: the damage is no longer said after the header"
    expect_lines "$where: list after the header" "$DAMAGED"
    expect_button 0 "$where: after the header"
    expect_no_frame "$where"
    ui close "$UPDATE"
    ui wait-gone "$UPDATE" 5000 || e2e_fail "$where: the update window did not close"
    e2e_case_end
done <<EOF
image_first $image_at
image_middle $((image_at + image_size / 2))
image_last $((image_at + image_size - 1))
digest $((packed_size - 1))
EOF

e2e_case update_damaged_while_open
sim_start radio 1 --image "$Q42_IMAGE"
app_start
update_open
update_handshake radio
flip "$E2E_WORK/Q42Update.exe" $((image_at + image_size / 3))
ui click "$UPDATE" "Update now"
ui wait-text "$UPDATE" Edit "$DAMAGED" 5000 || e2e_fail "\"Update now\" took the damaged image"
expect_lines "list after \"Update now\"" "$DAMAGED"
expect_button 0 "after \"Update now\""
expect_no_frame "damaged while open"
ui close "$UPDATE"
ui wait-gone "$UPDATE" 5000 || e2e_fail "the update window did not close"
e2e_case_end

mkdir -p "$Q42_BUILD/e2e"
head -c $((packed_size - 36)) "$Q42_UPDATE_EXE" >"$Q42_BUILD/e2e/without-digest.exe"
e2e_case update_without_digest "$Q42_BUILD/e2e/without-digest.exe"
sim_start radio 1 --image "$Q42_IMAGE" --flash-out "$E2E_WORK/flash.bin" --baud 115200
app_start
update_open
ui_expect "image version" "$(image_field "$Q42_IMAGE" 23 6)" text "$UPDATE" "$UPDATE_IMAGE_LABEL"
update_handshake radio
update_write_and_close
sim_stop radio
expect_flash "$E2E_WORK/flash.bin" "$Q42_IMAGE" "$E2E_WORK/radio.events"
e2e_case_end
echo "PASS"
