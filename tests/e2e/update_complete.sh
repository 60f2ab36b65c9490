#!/usr/bin/env bash
# A whole update, as a user does it: the image's version shown, the radio switched on, its
# name and version read, "Update now"; the radio's flash then equals the packed image, the
# gauge is full, the five closing lines follow, a new greeting is no longer taken up (the
# timers have stopped), reopening shows the previous labels, and the log has the write's one
# line; "Open Log Folder" opens the log's folder before any update. The program's folder is
# named outside the ANSI code page, as a user's Downloads folder may be: it must still read
# itself.
source "$(dirname "$0")/lib.sh"
: "${Q42_IMAGE:?}"
e2e_begin

name=$(image_field "$Q42_IMAGE" 17 5)
version=$(image_field "$Q42_IMAGE" 23 6)
size=$(stat -c %s "$Q42_IMAGE")

e2e_case "update_complete_unicode_образ 固件"
sim_start radio 1 --image "$Q42_IMAGE" --flash-out "$E2E_WORK/flash.bin"
log_clear
app_start
ui menu "$MAIN" IDM_OPEN_LOG
if message=$(ui msgbox 1000 2>/dev/null); then e2e_fail "Open Log Folder: $message"; fi
[ -d "$(update_log_folder)" ] || e2e_fail "Open Log Folder made no folder"
update_open
ui_expect "fixed label" "This program contains software version: " \
    text "$UPDATE" "Static=This program contains software version: "
ui_expect "image version" "$version" text "$UPDATE" "$UPDATE_IMAGE_LABEL"
expect_button 0 "before the handshake"
capture "$UPDATE" 1-switch-on >/dev/null

update_handshake radio
ui_expect "name label" "Application in unit: $name" text "$UPDATE" "$UPDATE_NAME_LABEL"
ui_expect "version label" "Version: $version" text "$UPDATE" "$UPDATE_VERSION_LABEL"
expect_lines "list when ready" "Ready to program"
capture "$UPDATE" 2-ready >/dev/null

ui click "$UPDATE" "Update now"
ui wait-text "$UPDATE" Edit "Sending new Q42 firmware..." 5000 || e2e_fail "the write did not start"
sim_wait radio '^event frame block=20 ' 60
capture "$UPDATE" 3-writing >/dev/null
ui wait-text "$UPDATE" Edit "Repeat programming if required." 300000 || e2e_fail "the write did not complete"
expect_lines "list after the write" "Sending new Q42 firmware..." "New Firmware is loaded." "Finished..." \
    "Disconnect RS232 link from device" "and restart device to verify operation." "Repeat programming if required."
read -r position low high < <(ui gauge "$UPDATE")
[ "$position" = "$high" ] && [ "$high" -gt "$low" ] || e2e_fail "gauge not full: $position of $low..$high"
expect_button 0 "after the write"
capture "$UPDATE" 4-done >/dev/null

e2e_step "the window is inert after the write: its timers have stopped"
sim_send radio on
sim_wait_count radio '^event hash' 2 10
# Three 500 ms ticks: with the timers running, the handshake would settle and read the header.
sleep 1.5
[ "$(sim_count radio '^event header')" = 1 ] || e2e_fail "a header read followed the write"
expect_lines "list after a new greeting" "Sending new Q42 firmware..." "New Firmware is loaded." "Finished..." \
    "Disconnect RS232 link from device" "and restart device to verify operation." "Repeat programming if required."
expect_button 0 "after a new greeting"

e2e_step "reopening after the write"
ui close "$UPDATE"
ui wait-gone "$UPDATE" 5000 || e2e_fail "the update window did not close"
update_open
expect_lines "list on reopening" "Switch on Q42"
ui_expect "name label on reopening" "Application in unit: $name" text "$UPDATE" "$UPDATE_NAME_LABEL"
ui_expect "version label on reopening" "Version: $version" text "$UPDATE" "$UPDATE_VERSION_LABEL"
read -r position low high < <(ui gauge "$UPDATE")
[ "$position" = "$high" ] || e2e_fail "gauge on reopening: $position of $low..$high"
ui close "$UPDATE"
ui wait-gone "$UPDATE" 5000 || e2e_fail "the update window did not close"

sim_stop radio
expect_flash "$E2E_WORK/flash.bin" "$Q42_IMAGE" "$E2E_WORK/radio.events"
expect_log_line '"port":"COM1"' "\"application\":\"$name\"" "\"version\":\"$version\"" \
    "\"image_sha256\":\"$(image_sha256 "$Q42_IMAGE")\"" '"result":"written"' \
    "\"frames\":$(image_blocks "$Q42_IMAGE" | wc -l)," '"reason":null' '"exit_code":0}'
echo "image of $size bytes, $(sent_blocks "$E2E_WORK/radio.events" | wc -l) frames"
e2e_case_end
echo "PASS"
