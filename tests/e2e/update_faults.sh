#!/usr/bin/env bash
# Writes that the radio does not accept: a wrong acknowledgement, and none at all, at some
# block. Each ends with "Program write failed - please repeat" and nothing more is sent; the
# log says why, and how many frames the radio took.
source "$(dirname "$0")/lib.sh"
: "${Q42_IMAGE:?}"
e2e_begin

# fault | frame at which it strikes | shortest time from that frame to the report (ms) | the log's reason
while IFS="|" read -r -u 3 fault frame least_ms reason; do
    e2e_case "write_${fault%%=*}"
    log_clear
    sim_start radio 1 --fault "$fault"
    app_start
    update_open
    update_handshake radio
    ui click "$UPDATE" "Update now"
    # Frames are counted from 0; the one the fault strikes is number $frame.
    sim_wait_count radio "^event frame " $((frame + 1)) 60
    struck=$(date +%s%N)
    ui wait-text "$UPDATE" Edit "Program write failed - please repeat" 30000 ||
        e2e_fail "$fault: no failure report"
    waited_ms=$((($(date +%s%N) - struck) / 1000000))
    echo "$fault: reported ${waited_ms} ms after the frame"
    [ "$waited_ms" -ge "$least_ms" ] || e2e_fail "$fault: reported after only ${waited_ms} ms"
    expect_lines "$fault: list" "Sending new Q42 firmware..." "Program write failed - please repeat"
    expect_button 0 "after the failed write"
    # Anything still to be sent would reach the radio well within this time.
    sleep 1
    [ "$(sim_count radio '^event frame ')" = $((frame + 1)) ] ||
        e2e_fail "$fault: $(sim_count radio '^event frame ') frames sent, expected $((frame + 1))"
    ui close "$UPDATE"
    ui wait-gone "$UPDATE" 5000 || e2e_fail "the update window did not close"
    expect_log_line '"port":"COM1"' "\"image_sha256\":\"$(image_sha256 "$Q42_IMAGE")\"" '"result":"write failed"' \
        "\"frames\":$frame," "\"reason\":\"$reason\"" '"exit_code":1}'
    e2e_case_end
done 3<<'ROWS'
nack=5|5|0|refused
no-ack=3|3|2500|no answer
ROWS
echo "PASS"
