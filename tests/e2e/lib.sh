# shellcheck shell=bash
# What every end-to-end scenario shares: a fresh folder with its own copy of the program and
# RADIO.INI, simulated radios on pseudo-terminals, the UI driver, bounded waits, and a clean
# end in which every process started here is ended by its id.
# Inputs (set by CTest, or by hand): Q42_BUILD (native build folder), Q42_UPDATE_EXE,
# Q42_UI_EXE (q42ui.exe), Q42_SIM (q42sim); a scenario may use Q42_IMAGE, Q42_PLAIN_EXE.
# The scenario runs under its own X server (xvfb-run -a), or on $DISPLAY when one is given.
set -euo pipefail

readonly MAIN="Quendar Avionics Q42 Navigation radio firmware updater"
readonly SETUP="Serial port setup"
readonly UPDATE="Q42 Firmware update"
readonly TERMINAL="Simple RS232 terminal"
readonly BENCH="Q42 Bench"

e2e_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
: "${Q42_BUILD:?}" "${Q42_UPDATE_EXE:?}" "${Q42_UI_EXE:?}" "${Q42_SIM:?}"
# shellcheck source=rig/wine-env
source "$e2e_dir/../../rig/wine-env"

e2e_pids=()
e2e_app_pid=""
e2e_ports_mapped=0
declare -A e2e_sim_pid e2e_sim_fd

e2e_fail() {
    echo "FAIL: $*" >&2
    exit 1
}

e2e_step() { echo "-- $*"; }

# e2e_reap PID: waits up to 5 s for a process told to end, then kills it.
e2e_reap() {
    local i
    for ((i = 0; i < 100; i++)); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.05
    done
    kill -KILL "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
}

# Ends what is still running, by id, then waits for the Wine server to go, so that the next
# scenario starts with a server bound to its own X display.
e2e_finish() {
    local status=$? pid
    for pid in "${e2e_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${e2e_pids[@]}"; do e2e_reap "$pid"; done
    timeout 20 "$WINESERVER" -w >/dev/null 2>&1 || true
    if [ "$e2e_ports_mapped" = 1 ] && ! q42_map_ports; then
        echo "FAIL: cannot map the rig's standard ports again" >&2
        status=1
    fi
    if [ "$status" -ne 0 ]; then
        echo "scenario folder kept: $E2E_WORK" >&2
        for log in "$E2E_WORK"/*.events; do
            [ -f "$log" ] && { echo "== $log (last lines)" >&2; tail -n 15 "$log" >&2; }
        done
    fi
    exit "$status"
}

# e2e_begin: once per scenario script, before its first case.
e2e_begin() {
    E2E_WORK=$Q42_BUILD/e2e
    trap e2e_finish EXIT
    q42_prefix
    timeout 20 "$WINESERVER" -w >/dev/null 2>&1 || true
}

# e2e_map_ports N...: the prefix maps exactly COM<N>... for this scenario (and the ports Wine
# finds on the machine itself); the standard ports come back when the scenario ends.
e2e_map_ports() {
    e2e_ports_mapped=1
    q42_map_ports "$@" || e2e_fail "cannot map the ports $*"
}

# e2e_case NAME [EXE]: a fresh folder $E2E_ROOT/NAME (default $Q42_BUILD/e2e/NAME) with a
# copy of the program (or of EXE); no COM port leads anywhere until a radio is started.
e2e_case() {
    E2E_WORK=${E2E_ROOT:-$Q42_BUILD/e2e}/$1
    rm -rf "$E2E_WORK"
    mkdir -p "$E2E_WORK"
    cp "${2:-$Q42_UPDATE_EXE}" "$E2E_WORK/Q42Update.exe"
    mkdir -p "$Q42_PORTS"
    rm -f "$Q42_PORTS"/com*
    e2e_step "case $1"
}

# e2e_case_end: the program and the radios of this case are gone before the next begins.
e2e_case_end() {
    local id
    [ -n "$e2e_app_pid" ] && kill -0 "$e2e_app_pid" 2>/dev/null && app_stop
    for id in "${!e2e_sim_pid[@]}"; do
        kill -0 "${e2e_sim_pid[$id]}" 2>/dev/null && sim_stop "$id"
    done
    e2e_sim_pid=()
    e2e_app_pid=""
    return 0
}

# e2e_ini TEXT: the RADIO.INI the program will find.
e2e_ini() { printf '%s\r\n' "$@" >"$E2E_WORK/RADIO.INI"; }

# The "CommsPort" value that the program left in RADIO.INI.
e2e_saved_port() {
    [ -f "$E2E_WORK/RADIO.INI" ] || e2e_fail "RADIO.INI was not written"
    tr -d '\r' <"$E2E_WORK/RADIO.INI" | sed -n 's/^CommsPort=//p'
}

ui() { "$WINE" "$Q42_UI_EXE" "$@"; }

# ui_expect WHAT EXPECTED ARGS...: runs a reading command and compares its output.
ui_expect() {
    local what=$1 expected=$2 actual
    shift 2
    actual=$(ui "$@") || e2e_fail "$what: q42ui $* failed"
    [ "$actual" = "$expected" ] || e2e_fail "$what: expected [$expected], saw [$actual]"
}

# sim_start ID PORT ARGS...: a simulated radio whose cable leads to COM<PORT>.
sim_start() {
    local id=$1 port=$2 fd
    shift 2
    mkfifo "$E2E_WORK/$id.in"
    # Held open read-write, so the radio's stdin stays open until it is told to quit.
    exec {fd}<>"$E2E_WORK/$id.in"
    e2e_sim_fd[$id]=$fd
    "$Q42_SIM" --link "$Q42_PORTS/com$port" "$@" <"$E2E_WORK/$id.in" >"$E2E_WORK/$id.events" 2>&1 &
    e2e_sim_pid[$id]=$!
    e2e_pids+=($!)
    sim_wait "$id" '^ready' 10
}

sim_send() { printf '%s\n' "$2" >&"${e2e_sim_fd[$1]}"; }

# sim_wait ID REGEX [SECONDS]: waits for an event line of the radio.
sim_wait() {
    local id=$1 pattern=$2 limit=${3:-10} i
    for ((i = 0; i < limit * 20; i++)); do
        grep -Eq -- "$pattern" "$E2E_WORK/$id.events" 2>/dev/null && return 0
        sleep 0.05
    done
    e2e_fail "radio $id: no event matching /$pattern/ within ${limit}s"
}

sim_count() { grep -Ec -- "$2" "$E2E_WORK/$1.events" || true; }

# sim_stop ID: tells the radio to quit (it then writes its --flash-out file) and waits.
sim_stop() {
    local id=$1 pid=${e2e_sim_pid[$1]} i
    sim_send "$id" quit
    for ((i = 0; i < 200; i++)); do
        kill -0 "$pid" 2>/dev/null || { wait "$pid" || true; return 0; }
        sleep 0.05
    done
    e2e_fail "radio $id did not quit"
}

# app_launch: runs the scenario's copy of the program. A message box about the port comes
# before the main window is shown.
app_launch() {
    # The server is started apart and silenced: it prints its object table when a pty that
    # it holds loses its other end (a radio that quits).
    timeout -k 5 60 "$WINESERVER" </dev/null >/dev/null 2>&1 || true
    (cd "$E2E_WORK" && exec env LD_PRELOAD="$Q42_SHIM" "$WINE" Q42Update.exe \
        >"$E2E_WORK/program.log" 2>&1) &
    e2e_app_pid=$!
    e2e_pids+=($!)
}

# app_start: app_launch, then waits for the main window.
app_start() {
    app_launch
    ui wait-window "$MAIN" 30000 || e2e_fail "the main window did not appear"
}

# app_stop: closes the main window as a user would and waits for the program to end.
app_stop() {
    local i
    ui close "$MAIN" || e2e_fail "cannot close the main window"
    for ((i = 0; i < 300; i++)); do
        kill -0 "$e2e_app_pid" 2>/dev/null || { wait "$e2e_app_pid" || true; return 0; }
        sleep 0.05
    done
    e2e_fail "the program did not end after its main window was closed"
}

# ink BMP X Y W H: succeeds when the area holds a dark pixel (text or the cursor mark).
ink() {
    local darkest
    darkest=$(convert "$1" -crop "$4x$5+$2+$3" +repage -colorspace Gray -format '%[fx:minima]' info:)
    awk -v d="$darkest" 'BEGIN { exit !(d < 0.5) }'
}

# The terminal's geometry: the character cell of 1-based column c, row r, and the mark's
# line of pixels under it.
cell_ink() { ink "$1" $((8 * $2 + 8)) $((14 * $3 + 21)) 8 14; }
mark_ink() { ink "$1" $((8 * $2 + 8)) $((14 * $3 + 35)) 8 1; }

capture() {
    ui capture "$1" "$E2E_WORK/$2.bmp" || e2e_fail "cannot capture \"$1\""
    echo "$E2E_WORK/$2.bmp"
}

# The item checked in the setup window's group, if any.
setup_checked_port() {
    local n
    for n in $(seq 1 16); do
        [ "$(ui state "$SETUP" "Button=COM$n")" = "enabled=1 visible=1 checked=1" ] && echo "COM$n"
    done
    return 0
}

# setup_wait_selected TEXT: waits until the setup window's list has TEXT selected.
setup_wait_selected() {
    local i
    for ((i = 0; i < 50; i++)); do
        [ "$(ui selected "$SETUP" ListBox)" = "$1" ] && return 0
        sleep 0.1
    done
    e2e_fail "the list shows [$(ui selected "$SETUP" ListBox)] selected, expected [$1]"
}

# The update window's labels, found where the window's design puts them.
UPDATE_NAME_LABEL="Static@26,298"
UPDATE_VERSION_LABEL="Static@26,314"
UPDATE_IMAGE_LABEL="Static@234,10"
UPDATE_BUTTON="Button=Update now"

# The bench window's rows: bench_row[N] is the id of COM<N>'s row, its tick box; the row's
# state is the id 2 on, its label field 4 on.
declare -A bench_row
bench_find_rows() {
    local id caption
    bench_row=()
    while read -r id caption; do
        if ((id >= 1500 && (id - 1500) % 8 == 0)) && [[ $caption =~ ^COM([0-9]+)$ ]]; then
            bench_row[${BASH_REMATCH[1]}]=$id
        fi
    done < <(ui list "$BENCH" | sed -nE 's/^Button id=([0-9]+) .* "(.*)"$/\1 \2/p')
}

# bench_states: "COMn: state" for each row that has one, COM1 first, in one line.
bench_states() {
    ui list "$BENCH" | awk '
        { id = $2; sub(/^id=/, "", id); id += 0; text = $0; sub(/^[^"]*"/, "", text); sub(/"$/, "", text) }
        id >= 1500 && (id - 1500) % 8 == 0 { port[id] = text }
        id >= 1502 && (id - 1502) % 8 == 0 { state[id - 2] = text }
        END { for (id in port) if (state[id] != "") printf "%d %s: %s\n", id, port[id], state[id] }' |
        sort -n | cut -d' ' -f2- | paste -sd'|' | sed 's/|/; /g'
}

# image_field FILE OFFSET COUNT: characters of the image (the name is at 17, the version at 23).
image_field() { dd if="$1" bs=1 skip="$2" count="$3" status=none; }

# update_open: the update menu item, as a user chooses it.
update_open() {
    ui menu "$MAIN" IDM_UPDATE
    ui wait-window "$UPDATE" 5000 || e2e_fail "the update window did not open"
    ui wait-text "$UPDATE" Edit "Switch on Q42" 3000 || e2e_fail "no \"Switch on Q42\""
}

# update_handshake RADIO: the radio is switched on; the header read ends in "Ready to program".
update_handshake() {
    sim_send "$1" on
    ui wait-text "$UPDATE" Edit "Ready to program" 10000 || e2e_fail "the handshake did not end in \"Ready to program\""
    ui wait-enabled "$UPDATE" "$UPDATE_BUTTON" 1 2000 || e2e_fail "\"Update now\" was not enabled"
}

# The update window's log, in the prefix's user application-data folder; log_clear removes it
# before a case, so that the case's lines are the only ones.
update_log_folder() { echo "$WINEPREFIX"/drive_c/users/*/AppData/Roaming/Q42Update; }
log_clear() { rm -rf "$(update_log_folder)"; }

# expect_log_line FRAGMENT...: the log holds one line, which holds each '"field":value'.
expect_log_line() {
    local log i line fragment
    log=$(update_log_folder)/updates.jsonl
    # Written just after the window's last line.
    for ((i = 0; i < 100; i++)); do
        [ -s "$log" ] && break
        sleep 0.05
    done
    [ -s "$log" ] || e2e_fail "the update log $log was not written"
    [ "$(wc -l <"$log")" = 1 ] || e2e_fail "the update log holds $(wc -l <"$log") lines, expected 1"
    line=$(cat "$log")
    for fragment in "$@"; do
        [[ $line == *"$fragment"* ]] || e2e_fail "the log line lacks $fragment: $line"
    done
}

# The image's SHA-256 as the log gives it.
image_sha256() { sha256sum "$1" | cut -d " " -f 1; }

# expect_lines WHAT LINE...: the update window's message list holds exactly these lines.
# A write under way: the program started, "Update now" pressed and frame 10 sent, the radio
# paced so that the write outlasts the checks made while it runs (unpaced, on an idle
# machine, the frames after the tenth take little more than a second).
update_write_under_way() {
    sim_start radio 1 --image "$Q42_IMAGE" --flash-out "$E2E_WORK/flash.bin" --baud 115200
    app_start
    update_open
    update_handshake radio
    ui click "$UPDATE" "Update now"
    sim_wait radio '^event frame block=10 ' 60
}

# A whole write in the open update window, to its last line, then the window closed.
update_write_and_close() {
    ui click "$UPDATE" "Update now"
    ui wait-text "$UPDATE" Edit "Repeat programming if required." 300000 || e2e_fail "the write did not complete"
    ui close "$UPDATE"
    ui wait-gone "$UPDATE" 5000 || e2e_fail "the update window did not close"
}

expect_lines() {
    local what=$1
    shift
    ui_expect "$what" "$(printf '%s\n' "$@")" text "$UPDATE" Edit
}

expect_button() {
    ui_expect "\"Update now\" $2" "enabled=$1 visible=1 checked=0" state "$UPDATE" "$UPDATE_BUTTON"
}

# The 1024-byte blocks, numbered from 0, of an image that hold a byte other than 0xFF; an
# image's last partial block counts as padded with 0xFF.
image_blocks() {
    local size blocks i
    size=$(stat -c %s "$1")
    blocks=$((size / 1024))
    for ((i = 0; i <= blocks; i++)); do
        if [ "$(dd if="$1" bs=1024 skip="$i" count=1 status=none | tr -d '\377' | wc -c)" -gt 0 ]; then
            echo "$i"
        fi
    done
}

# The block numbers (from the addresses) of the frames the radio received, in order; a frame
# out of sequence or not accepted shows as "bad ..." so that no comparison can pass.
sent_blocks() {
    local expected=0 _event _frame number address verdict
    grep "^event frame " "$1" | while read -r _event _frame number address verdict; do
        number=${number#block=}
        address=${address#address=}
        if [ "$number" != "$expected" ] || [ "$verdict" != ok ]; then
            echo "bad frame $number $verdict"
        else
            echo $(((address - 0x20000) / 1024))
        fi
        expected=$((expected + 1))
    done
}

# expect_flash FLASH IMAGE EVENTS: the radio holds the image byte for byte, 0xFF after it,
# and received one frame per block that is not all 0xFF, in order, at its own address.
expect_flash() {
    local flash=$1 image=$2 size
    size=$(stat -c %s "$image")
    [ -f "$flash" ] || e2e_fail "the radio wrote no flash copy"
    cmp -n "$size" "$flash" "$image" || e2e_fail "the radio's flash differs from the image"
    [ "$(tail -c +$((size + 1)) "$flash" | tr -d '\377' | wc -c)" -eq 0 ] ||
        e2e_fail "the radio's flash holds data beyond the image"
    [ "$(sent_blocks "$3")" = "$(image_blocks "$image")" ] ||
        e2e_fail "frames sent ($(sent_blocks "$3" | wc -l)) are not the image's non-blank blocks ($(image_blocks "$image" | wc -l)) in order"
}

# sim_wait_count ID REGEX N [SECONDS]: waits until N event lines match.
sim_wait_count() {
    local i
    for ((i = 0; i < ${4:-10} * 20; i++)); do
        [ "$(sim_count "$1" "$2")" -ge "$3" ] && return 0
        sleep 0.05
    done
    e2e_fail "radio $1: fewer than $3 events matching /$2/ within ${4:-10}s"
}

# power_on_events ID FILE: the radio's events since it was last switched on, into FILE, so
# that the frames of one update are checked apart from those of an earlier one.
power_on_events() {
    local log=$E2E_WORK/$1.events from
    from=$(grep -n '^event power state=on' "$log" | tail -n 1 | cut -d: -f1)
    [ -n "$from" ] || e2e_fail "radio $1 was never switched on"
    tail -n +"$from" "$log" >"$2"
}

# sim_save ID FILE: the radio's flash so far into FILE (as its --flash-out would be).
sim_save() {
    local saved
    saved=$(sim_count "$1" '^event saved ')
    sim_send "$1" "save $2"
    sim_wait_count "$1" '^event saved ' $((saved + 1)) 10
}
