#!/usr/bin/env bash
# Windows ending the session (shut-down, log-off): during a write the program answers "not
# now", to the main window and to the application's window, and the write runs to its end;
# at any other time the session ends with the port choice saved, as the main window's close
# saves it.
source "$(dirname "$0")/lib.sh"
: "${Q42_IMAGE:?}"
e2e_begin

while read -r -u 3 target; do
    e2e_case "write_${target:-main}"
    update_write_under_way
    # shellcheck disable=SC2086
    ui_expect "the answer during the write" "not now" end-session "$MAIN" $target
    frames=$(image_blocks "$Q42_IMAGE" | wc -l)
    sim_wait_count radio '^event ack ' "$frames" 120
    ui wait-text "$UPDATE" Edit "Repeat programming if required." 10000 || e2e_fail "the write did not end as completed"
    # Once the write has ended the session may end.
    # shellcheck disable=SC2086
    ui_expect "the answer after the write" "ends" end-session "$MAIN" $target
    ui close "$UPDATE"
    ui wait-gone "$UPDATE" 5000 || e2e_fail "the update window did not close"
    sim_stop radio
    expect_flash "$E2E_WORK/flash.bin" "$Q42_IMAGE" "$E2E_WORK/radio.events"
    e2e_case_end
done 3<<'ROWS'

owner
ROWS

e2e_case idle_after_choosing_com2
sim_start com1 1 --mode loopback
sim_start com2 2 --mode loopback
app_start
ui menu "$MAIN" IDM_SETUP
ui wait-window "$SETUP" 5000 || e2e_fail "the setup window did not open"
ui click "$SETUP" COM2
if message=$(ui msgbox 1000 2>/dev/null); then e2e_fail "unexpected message: $message"; fi
ui click "$SETUP" OK
ui wait-gone "$SETUP" 5000 || e2e_fail "OK did not close the setup window"
ui_expect "the answer while idle" "ends" end-session "$MAIN"
[ "$(e2e_saved_port)" = 1 ] || e2e_fail "saved port: expected 1 (COM2), saw [$(e2e_saved_port)]"
e2e_case_end
echo "PASS"
