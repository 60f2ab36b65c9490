#!/usr/bin/env bash
# A close request for the whole program while a window is up over the main one (the task
# bar's "Close window" on the application's window, or End task reaching the disabled main
# window): what is running finishes, the open windows close, then the main window's close
# saves the setting and the program ends.
source "$(dirname "$0")/lib.sh"
: "${Q42_IMAGE:?}"
e2e_begin

# app_wait_end SECONDS: the program has ended within that time.
app_wait_end() {
    local i
    for ((i = 0; i < $1 * 20; i++)); do
        kill -0 "$e2e_app_pid" 2>/dev/null || { wait "$e2e_app_pid" || true; return 0; }
        sleep 0.05
    done
    e2e_fail "the program did not end within $1 s of the close request"
}

expect_saved_port() {
    [ "$(e2e_saved_port)" = 0 ] || e2e_fail "saved port: expected 0, saw [$(e2e_saved_port)]"
}

# The request during a write, to the main window and to the application's window: the
# write runs to its end, and the program ends soon after the last frame.
while read -r -u 3 target; do
    e2e_case "write_${target:-main}"
    update_write_under_way
    # shellcheck disable=SC2086
    ui end-task "$MAIN" $target || e2e_fail "cannot send the close request"
    sleep 1
    ui wait-window "$UPDATE" 0 || e2e_fail "the update window closed while the write was running"
    kill -0 "$e2e_app_pid" 2>/dev/null || e2e_fail "the program ended while the write was running"
    frames=$(image_blocks "$Q42_IMAGE" | wc -l)
    sim_wait_count radio '^event ack ' "$frames" 120
    app_wait_end 10
    sim_stop radio
    expect_flash "$E2E_WORK/flash.bin" "$Q42_IMAGE" "$E2E_WORK/radio.events"
    expect_saved_port
    e2e_case_end
done 3<<'ROWS'

owner
ROWS

e2e_case header_read
sim_start radio 1 --fault silent-header
app_start
update_open
sim_send radio on
sim_wait radio '^event header withheld' 10
requested=$(date +%s%N)
ui end-task "$MAIN" owner || e2e_fail "cannot send the close request"
app_wait_end 25
waited_ms=$((($(date +%s%N) - requested) / 1000000))
echo "header read: the program ended ${waited_ms} ms after the request"
# The read waits 5 s for the header; the request came at its start.
[ "$waited_ms" -ge 3000 ] || e2e_fail "the program ended before the header read had timed out"
[ "$(sim_count radio '^event frame ')" = 0 ] || e2e_fail "frames were sent after the header read"
expect_saved_port
e2e_case_end

# Each modal window open and idle: both close at once.
while IFS="|" read -r -u 3 name menu caption; do
    e2e_case "idle_$name"
    sim_start radio 1 --mode loopback
    app_start
    ui menu "$MAIN" "$menu"
    ui wait-window "$caption" 5000 || e2e_fail "the $name window did not open"
    ui end-task "$MAIN" owner || e2e_fail "cannot send the close request"
    app_wait_end 10
    expect_saved_port
    e2e_case_end
done 3<<ROWS
update|IDM_UPDATE|$UPDATE
setup|IDM_SETUP|$SETUP
terminal|IDM_TEST_PORT|$TERMINAL
ROWS

e2e_case message_box
sim_start radio 1 --mode loopback
app_start
ui menu "$MAIN" IDM_SETUP
ui wait-window "$SETUP" 5000 || e2e_fail "the setup window did not open"
ui click "$SETUP" COM7
sleep 1.5
ui end-task "$MAIN" || e2e_fail "cannot send the close request"
app_wait_end 10
# The choice of COM7 stands, as after any choice.
[ "$(e2e_saved_port)" = 6 ] || e2e_fail "saved port: expected 6, saw [$(e2e_saved_port)]"
e2e_case_end
echo "PASS"
