#!/usr/bin/env bash
# Closing the update window while a write runs: the window stays until the write has ended,
# then closes; the radio still gets the whole image.
source "$(dirname "$0")/lib.sh"
: "${Q42_IMAGE:?}"
e2e_begin

e2e_case update_close_during_write
# Paced, so that the write outlasts the second the close is given to show it stays.
sim_start radio 1 --image "$Q42_IMAGE" --flash-out "$E2E_WORK/flash.bin" --baud 115200
app_start
update_open
update_handshake radio
ui click "$UPDATE" "Update now"
sim_wait radio '^event frame block=10 ' 60
ui close "$UPDATE"
sleep 1
ui wait-window "$UPDATE" 0 || e2e_fail "the window closed while the write was running"
ui wait-gone "$UPDATE" 300000 || e2e_fail "the window did not close after the write"
sent_when_closed=$(sim_count radio '^event frame ')
expected=$(image_blocks "$Q42_IMAGE" | wc -l)
[ "$sent_when_closed" = "$expected" ] ||
    e2e_fail "the window closed after $sent_when_closed of $expected frames"
sim_stop radio
expect_flash "$E2E_WORK/flash.bin" "$Q42_IMAGE" "$E2E_WORK/radio.events"
e2e_case_end
echo "PASS"
