#!/usr/bin/env bash
# The radio switched off, or restarted, in the middle of a write: the write ends with
# "Program write failed - please repeat"; closing and reopening the update window and
# switching the radio on then completes the update in the same program run, byte for byte.
source "$(dirname "$0")/lib.sh"
: "${Q42_IMAGE:?}"
e2e_begin

# what the radio is told | the frame it strikes | shortest and longest time from the last
# acknowledged frame to the report (ms)
# Switched off, the radio answers nothing and the 3 s acknowledgement time-out ends the write;
# restarted, its greeting arrives in place of the acknowledgement and ends it at once.
while IFS="|" read -r -u 3 control frame least_ms most_ms; do
    e2e_case "radio_$control"
    sim_start radio 1 --image "$Q42_IMAGE"
    app_start
    update_open
    update_handshake radio
    ui click "$UPDATE" "Update now"
    sim_wait radio "^event ack block=$((frame - 1)) value=13" 60
    sim_send radio "$control"
    struck=$(date +%s%N)
    ui wait-text "$UPDATE" Edit "Program write failed - please repeat" 30000 ||
        e2e_fail "$control at frame $frame: no failure report"
    waited_ms=$((($(date +%s%N) - struck) / 1000000))
    echo "$control at frame $frame: reported ${waited_ms} ms later"
    [ "$waited_ms" -ge "$least_ms" ] && [ "$waited_ms" -le "$most_ms" ] ||
        e2e_fail "$control: reported after ${waited_ms} ms, expected ${least_ms}-${most_ms} ms"
    expect_lines "$control: list" "Sending new Q42 firmware..." "Program write failed - please repeat"
    expect_button 0 "after the failed write"

    e2e_step "the update repeated in the same run"
    ui close "$UPDATE"
    ui wait-gone "$UPDATE" 5000 || e2e_fail "the update window did not close"
    update_open
    update_handshake radio
    ui click "$UPDATE" "Update now"
    ui wait-text "$UPDATE" Edit "Repeat programming if required." 60000 ||
        e2e_fail "$control: the repeated update did not complete"
    sim_save radio "$E2E_WORK/flash.bin"
    power_on_events radio "$E2E_WORK/repeat.events"
    expect_flash "$E2E_WORK/flash.bin" "$Q42_IMAGE" "$E2E_WORK/repeat.events"
    ui close "$UPDATE"
    ui wait-gone "$UPDATE" 5000 || e2e_fail "the update window did not close"
    e2e_case_end
done 3<<'ROWS'
off|10|2500|6000
on|40|0|2000
ROWS
echo "PASS"
