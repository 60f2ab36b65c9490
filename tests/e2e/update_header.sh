#!/usr/bin/env bash
# What the update window makes of the radio's header and of the user's timing: labels for
# header fields with wrong length bytes, "Update now" before the bootloader is active, and a
# radio that never answers the header read.
source "$(dirname "$0")/lib.sh"
e2e_begin

# name-length version-length | expected name label | expected version label
while IFS="|" read -r -u 3 lengths name_label version_label; do
    set -- $lengths
    e2e_case "header_lengths_$1_$2"
    sim_start radio 1 --name Q42NV --version 02.345 --name-length "$1" --version-length "$2"
    app_start
    update_open
    update_handshake radio
    ui_expect "name label" "$name_label" text "$UPDATE" "$UPDATE_NAME_LABEL"
    ui_expect "version label" "$version_label" text "$UPDATE" "$UPDATE_VERSION_LABEL"
    ui close "$UPDATE"
    ui wait-gone "$UPDATE" 5000 || e2e_fail "the update window did not close"
    e2e_case_end
done 3<<'ROWS'
5 7|Application in unit: Q42NV|Unknown version
4 6|Unknown application in unit|Version: 02.345
0 0|Unknown application in unit|Unknown version
ROWS

e2e_case update_before_bootloader
sim_start radio 1
app_start
update_open
update_handshake radio
# Closed while "Update now" is enabled: it is still enabled when the window opens again.
ui close "$UPDATE"
ui wait-gone "$UPDATE" 5000 || e2e_fail "the update window did not close"
update_open
expect_button 1 "on reopening"
ui click "$UPDATE" "Update now"
ui wait-text "$UPDATE" Edit "Bootloader not active" 3000 || e2e_fail "no \"Bootloader not active\""
expect_lines "list" "Bootloader not active"
expect_button 0 "after the refused write"
[ "$(sim_count radio '^event frame ')" = 0 ] || e2e_fail "a frame was sent without the bootloader"
e2e_step "a greeting that follows still completes the handshake"
sim_send radio off
update_handshake radio
ui close "$UPDATE"
ui wait-gone "$UPDATE" 5000 || e2e_fail "the update window did not close"
e2e_case_end

e2e_case header_silent
sim_start radio 1 --fault silent-header
app_start
update_open
sim_send radio on
sim_wait radio '^event command ' 5
asked=$(date +%s%N)
ui wait-text "$UPDATE" Edit "Cannot read from device. Please try again." 10000 ||
    e2e_fail "no report of the silent header"
waited_ms=$((($(date +%s%N) - asked) / 1000000))
echo "header read gave up after ${waited_ms} ms"
[ "$waited_ms" -ge 4000 ] || e2e_fail "the header read gave up after only ${waited_ms} ms"
# Later 500 ms ticks must neither hide the report nor offer "Update now".
sleep 1.5
expect_lines "list after the silent header" "Cannot read from device. Please try again."
expect_button 0 "after the silent header"
ui close "$UPDATE"
ui wait-gone "$UPDATE" 5000 || e2e_fail "the update window did not close"
e2e_case_end
echo "PASS"
