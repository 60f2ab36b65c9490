#!/usr/bin/env bash
# The cable pulled during a write (a USB converter unplugged): the radio's line goes as frame
# K begins. The write ends with "Program write failed - please repeat" after the
# acknowledgement time-out; the program stays responsive and idle; once a radio is behind
# the same port again, choosing another port and then this one in the setup window reopens
# it, and a new update in the same run puts the whole image in the radio.
source "$(dirname "$0")/lib.sh"
: "${Q42_IMAGE:?}"
e2e_begin

# cpu_ms PID: the CPU time the process has used so far, all its threads, in ms.
cpu_ms() {
    local ticks
    ticks=$(awk '{ print $14 + $15 }' "/proc/$1/stat") || e2e_fail "process $1 is gone"
    echo $((ticks * 1000 / $(getconf CLK_TCK)))
}

# expect_idle WHAT: the program uses under a tenth of a core over two seconds.
expect_idle() {
    local before after used
    before=$(cpu_ms "$e2e_app_pid")
    sleep 2
    after=$(cpu_ms "$e2e_app_pid")
    used=$((after - before))
    echo "$1: the program used ${used} ms of CPU in 2 s"
    [ "$used" -lt 200 ] || e2e_fail "$1: the program is busy (${used} ms of CPU in 2 s)"
}

frame=4
e2e_case update_cable_pulled
sim_start radio 1 --fault "hangup=$frame"
app_start
update_open
update_handshake radio
ui click "$UPDATE" "Update now"
sim_wait radio "^event hangup block=$frame" 60
pulled=$(date +%s%N)
ui wait-text "$UPDATE" Edit "Program write failed - please repeat" 30000 ||
    e2e_fail "no failure report after the cable was pulled"
waited_ms=$((($(date +%s%N) - pulled) / 1000000))
echo "reported ${waited_ms} ms after the cable was pulled"
[ "$waited_ms" -ge 2500 ] || e2e_fail "reported after only ${waited_ms} ms"
expect_lines "list after the pulled cable" "Sending new Q42 firmware..." "Program write failed - please repeat"
expect_idle "with the cable pulled"
expect_button 0 "with the cable pulled"
ui close "$UPDATE"
ui wait-gone "$UPDATE" 5000 || e2e_fail "the update window did not close"
e2e_step "typing into the terminal with the cable pulled: the writes fail at once"
ui menu "$MAIN" IDM_TEST_PORT
ui wait-window "$TERMINAL" 5000 || e2e_fail "the terminal did not open"
typed=$(date +%s%N)
ui type "$TERMINAL" "Hello, anyone there?" || e2e_fail "cannot type into the terminal"
ui close "$TERMINAL"
ui wait-gone "$TERMINAL" 5000 || e2e_fail "the terminal did not close"
typed_ms=$((($(date +%s%N) - typed) / 1000000))
echo "20 characters typed and the terminal closed in ${typed_ms} ms"
[ "$typed_ms" -lt 5000 ] || e2e_fail "typing with the cable pulled took ${typed_ms} ms"
expect_idle "with the cable pulled and the windows closed"

e2e_step "a radio behind the same port again; setup: another port, then this one"
sim_start radio2 1 --image "$Q42_IMAGE" --flash-out "$E2E_WORK/flash.bin"
ui menu "$MAIN" IDM_SETUP
ui wait-window "$SETUP" 5000 || e2e_fail "the setup window did not open"
ui click "$SETUP" COM2
message=$(ui msgbox 10000) || e2e_fail "no message for COM2, where no cable leads"
[ "$message" = "The selected port COM2 is not available, please choose another if possible or free this port if it is in use by another application." ] ||
    e2e_fail "message for COM2: [$message]"
ui click "$SETUP" COM1
if message=$(ui msgbox 1000 2>/dev/null); then e2e_fail "COM1 did not reopen: $message"; fi
ui click "$SETUP" OK
ui wait-gone "$SETUP" 5000 || e2e_fail "OK did not close the setup window"

e2e_step "a new update in the same run"
update_open
update_handshake radio2
update_write_and_close
sim_stop radio2
expect_flash "$E2E_WORK/flash.bin" "$Q42_IMAGE" "$E2E_WORK/radio2.events"
app_stop
[ "$(e2e_saved_port)" = 0 ] || e2e_fail "saved port: expected 0, saw $(e2e_saved_port)"
e2e_case_end
echo "PASS"
