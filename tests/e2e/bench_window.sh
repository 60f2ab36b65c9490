#!/usr/bin/env bash
# The bench window over six ports at once, in one program run: radios written together, one
# refusing a frame, one whose cable is pulled; a second radio after the first with its scanned
# label; Stop during two writes (they end whole), Stop twice (each stops at its next frame),
# the session's end asked during writes (not now), and a converter plugged in with the window
# open. Its record says what q42flash.exe's says for the same radios. COM1 to COM4, COM12 and
# COM23 are mapped while this runs.
source "$(dirname "$0")/lib.sh"
: "${Q42_IMAGE:?}" "${Q42_FLASH_EXE:?}"
ports=(1 2 3 4 12 23)
# The radios' faults by port, as the sim takes them: frame numbers count from 0.
declare -A fault=([2]=nack=7 [3]=hangup=3)
e2e_begin
e2e_map_ports "${ports[@]}"

# start_radios PREFIX PORT... [-- ARGS]: a radio switched off behind each port, named
# PREFIX<port>, its flash in PREFIX<port>.flash.
start_radios() {
    local prefix=$1 port list=()
    shift
    while [ $# -gt 0 ] && [ "$1" != -- ]; do list+=("$1") && shift; done
    [ $# -gt 0 ] && shift
    for port in "${list[@]}"; do
        sim_start "$prefix$port" "$port" --image "$Q42_IMAGE" --flash-out "$E2E_WORK/$prefix$port.flash" "$@" \
            ${fault[$port]:+--fault "${fault[$port]}"}
    done
}

# A record line without what differs from run to run: the times, the run and the computer.
record_fields() { sed -E 's/"time":"[^"]*",//; s/,"seconds":[0-9.]+//; s/,"run":"[^"]*"//; s/,"pc":("[^"]*"|null)//' "$@"; }

# The radio's line hangs up by itself; the others are told to quit.
stop_radios() {
    local id
    for id in "$@"; do
        if kill -0 "${e2e_sim_pid[$id]}" 2>/dev/null; then sim_stop "$id"; fi
    done
}

e2e_case q42flash
start_radios f "${ports[@]}"
e2e_step "q42flash.exe over the six ports, the same faults"
timeout -k 5 60 "$WINESERVER" </dev/null >/dev/null 2>&1 || true
(cd "$E2E_WORK" && exec env LD_PRELOAD="$Q42_SHIM" timeout -k 5 120 "$WINE" "$Q42_FLASH_EXE" \
    --port COM1 --port COM2 --port COM3 --port COM4 --port COM12 --port "COM23=seat 23" --all \
    --from Q42Update.exe --yes --record flash.jsonl </dev/null >flash.out 2>flash.err) &
flash_pid=$!
e2e_pids+=("$flash_pid")
for ((i = 0; i < 600; i++)); do
    grep -q "waiting for the radio" "$E2E_WORK/flash.err" 2>/dev/null && break
    sleep 0.05
done
for port in "${ports[@]}"; do sim_send "f$port" on; done
wait "$flash_pid" || true
reference=$E2E_WORK/flash.jsonl
[ "$(wc -l <"$reference")" -eq 6 ] || e2e_fail "q42flash.exe's record: $(cat "$reference")"
stop_radios "${ports[@]/#/f}"
e2e_case_end

e2e_case bench
work_windows=Z:${E2E_WORK//\//\\}
e2e_ini "[Bench]" "Record=$work_windows\\bench.jsonl" "COM23=seat 23"
start_radios b "${ports[@]}"
app_start
ui menu "$MAIN" IDM_BENCH
ui wait-window "$BENCH" 5000 || e2e_fail "the bench window did not open"

bench_find_rows
for port in "${ports[@]}"; do [ -n "${bench_row[$port]:-}" ] || e2e_fail "no row for COM$port: $(ui list "$BENCH")"; done

row_state() { ui text "$BENCH" "Static!$((bench_row[$1] + 2))"; }
# row_wait PORT REGEX SECONDS: waits until COM<PORT>'s row state matches.
row_wait() {
    local end=$((SECONDS + $3)) state
    while :; do
        state=$(row_state "$1") || state="(unread)"
        [[ $state =~ $2 ]] && return 0
        ((SECONDS < end)) || e2e_fail "COM$1's row says [$state], expected /$2/"
        sleep 0.2
    done
}
# bench_start PORT...: Start pressed; those rows listen.
bench_start() {
    local port
    ui click "$BENCH" Start
    for port in "$@"; do row_wait "$port" "^waiting for the radio's greeting$" 20; done
}
# count_wait LINE MS: waits for the count line.
count_wait() {
    ui wait-text "$BENCH" "Static!1407" "$1" "$2" || e2e_fail "the count line is not [$1]"
}
# A radio's verdict, kept in sight while the port listens for the next and after a Stop.
written="^written $(image_field "$Q42_IMAGE" 23 6) in [0-9]+ s"
refused="^write failed at frame 8: refused by the radio in [0-9]+ s"
next="; connect the next radio$"

e2e_step "six ports at once: one radio refuses frame 8, one's cable is pulled at frame 4"
image=$(ui text "$BENCH" "Static!1401")
sha=$(sha256sum "$Q42_IMAGE" | cut -c1-12)
[[ $image =~ ^Image:\ .+\ $(image_field "$Q42_IMAGE" 23 6),\ ([0-9]+)\ frames,\ SHA-256\ $sha$ ]] ||
    e2e_fail "the image line: [$image]"
image_frames=${BASH_REMATCH[1]}
ui_expect "the count line before Start" "" text "$BENCH" "Static!1407"
bench_start "${ports[@]}"
for port in "${ports[@]}"; do sim_send "b$port" on; done
count_wait "4 written, 2 failed since Start" 120000
for port in 1 4 12 23; do row_wait "$port" "$written$next" 1; done
row_wait 2 "$refused$next" 1
row_wait 3 "^gone; waiting for it to come back$" 1
[ "$(grep -c '^event frame ' "$E2E_WORK/b3.events")" -eq 3 ] || e2e_fail "COM3's radio got other than 3 frames before its cable went"

e2e_step "a second radio on COM1, its label scanned before it greets"
sim_save b1 "$E2E_WORK/b1-first.flash"
sim_send b1 erase
sim_wait b1 '^event erased' 5
ui set-text "$BENCH" "Edit!$((bench_row[1] + 4))" "SN 0042"
sim_send b1 on
count_wait "5 written, 2 failed since Start" 120000
ui_expect "the label field once the radio greeted" "" text "$BENCH" "Edit!$((bench_row[1] + 4))"

record=$E2E_WORK/bench.jsonl
[ "$(wc -l <"$record")" -eq 7 ] || e2e_fail "the record holds other than 7 lines: $(cat "$record")"
# The first line of each port is the radio q42flash.exe wrote with the same fault.
diff <(record_fields "$reference" | sort) <(awk '!seen[$0 ~ /"port":"COM1"/ ? "COM1" : NR]++' "$record" | record_fields | sort) ||
    e2e_fail "the record's lines differ from q42flash.exe's (above)"
second=$(grep '"port":"COM1"' "$record" | tail -n 1)
# An erased radio's header names no application and no version.
[ "$(record_fields <<<"$second")" = "$(grep '"port":"COM1"' "$reference" | record_fields |
    sed 's/"application":"[^"]*"/"application":null/; s/"version":"[^"]*"/"version":null/; s/"label":null/"label":"SN 0042"/')" ] ||
    e2e_fail "the second radio's line: $second"
[ "$(grep -o '"run":"[^"]*"' "$record" | sort -u | wc -l)" -eq 1 ] || e2e_fail "one Start, several runs: $(cat "$record")"
grep -q "\"frames\":$image_frames," <<<"$second" || e2e_fail "the image line's $image_frames frames are not the written radio's: $second"

e2e_step "Stop while listening: every row stops listening, its last verdict in sight"
ui click "$BENCH" Stop
ui wait-enabled "$BENCH" "Button!1405" 1 10000 || e2e_fail "Start was not enabled again after Stop"
for port in 1 4 12 23; do row_wait "$port" "$written$" 1; done
row_wait 2 "$refused$" 1
stop_radios "${ports[@]/#/b}"
size=$(stat -c %s "$Q42_IMAGE")
cmp -n "$size" "$E2E_WORK/b1-first.flash" "$Q42_IMAGE" || e2e_fail "COM1's first radio's flash differs from the image"
power_on_events b1 "$E2E_WORK/b1-second.events"
expect_flash "$E2E_WORK/b1.flash" "$Q42_IMAGE" "$E2E_WORK/b1-second.events"
for port in 4 12 23; do expect_flash "$E2E_WORK/b$port.flash" "$Q42_IMAGE" "$E2E_WORK/b$port.events"; done
[ "$(sed -n 's/^event ack block=\([0-9]*\) value=\([0-9]*\)$/\1:\2/p' "$E2E_WORK/b2.events" | paste -sd' ')" = \
    "0:13 1:13 2:13 3:13 4:13 5:13 6:13 7:21" ] || e2e_fail "COM2's radio was not refused at frame 8 alone"

# Paced so that the writes still run while the test acts.
fault=()
lines=$(wc -l <"$record")
e2e_step "two writes; the session's end asked (not now); Stop: both end whole, no new radio"
start_radios c "${ports[@]}" -- --baud 57600
bench_start "${ports[@]}"
sim_send c1 on
sim_send c2 on
sim_wait c2 '^event frame block=1 ' 30
ui_expect "the answer to the session's end during the writes" "not now" end-session "$BENCH"
ui click "$BENCH" Stop
for ((i = 0; i < 25; i++)); do
    ui text "$BENCH" "Edit!1408" | grep -q "^the write goes on to its end, " && break
    ((i < 24)) || e2e_fail "no note that the writes go on: $(ui text "$BENCH" "Edit!1408")"
    sleep 0.2
done
sim_send c3 on
ui wait-enabled "$BENCH" "Button!1405" 1 120000 || e2e_fail "Start was not enabled again once the writes ended"
for port in 1 2; do row_wait "$port" "$written$" 1; done
for port in 3 4 12 23; do row_wait "$port" "^no longer listened on$" 1; done
stop_radios "${ports[@]/#/c}"
for port in 1 2; do expect_flash "$E2E_WORK/c$port.flash" "$Q42_IMAGE" "$E2E_WORK/c$port.events"; done
! grep -Eq '^event (command|unexpected|frame|read|header)' "$E2E_WORK/c3.events" ||
    e2e_fail "a radio switched on after Stop was sent something"
[ "$(tail -n +$((lines + 1)) "$record" | grep -c '"result":"written"')" -eq 2 ] &&
    [ "$(wc -l <"$record")" -eq $((lines + 2)) ] || e2e_fail "record after Stop: $(tail -n +$((lines + 1)) "$record")"

lines=$(wc -l <"$record")
e2e_step "two writes, Stop twice: each stops at its next frame"
start_radios d 1 2 -- --baud 57600
bench_start 1 2
sim_send d1 on
sim_send d2 on
sim_wait d2 '^event frame block=1 ' 30
ui click "$BENCH" Stop
ui click "$BENCH" Stop
declare -A sent
for port in 1 2; do sent[$port]=$(sim_count "d$port" '^event frame '); done
ui wait-enabled "$BENCH" "Button!1405" 1 30000 || e2e_fail "Start was not enabled again after the second Stop"
stop_radios d1 d2
for port in 1 2; do
    frames=$(sim_count "d$port" '^event frame ')
    ((frames <= sent[$port] + 2 && frames < image_frames)) ||
        e2e_fail "COM$port's write went on: $frames frames, ${sent[$port]} when Stop was pressed twice"
done
[ "$(tail -n +$((lines + 1)) "$record" | grep -c '"result":"stopped"')" -eq 2 ] &&
    [ "$(wc -l <"$record")" -eq $((lines + 2)) ] || e2e_fail "record after two Stops: $(tail -n +$((lines + 1)) "$record")"

e2e_step "a converter plugged in while the window is open: its row comes, ticked"
q42_port_arrives 7
ui port-arrived COM7
bench_find_rows
[ -n "${bench_row[7]:-}" ] || e2e_fail "no row for COM7 after its arrival: $(ui list "$BENCH")"
ui_expect "COM7's tick box" "enabled=1 visible=1 checked=1" state "$BENCH" "Button!${bench_row[7]}"

ui close "$BENCH"
ui wait-gone "$BENCH" 5000 || e2e_fail "the bench window did not close"
e2e_case_end
echo "PASS"
