#!/usr/bin/env bash
# Runs q42flash against the simulated radio on a pseudo-terminal: whole updates checked
# byte for byte in the radio's flash, the radio's faults, bad input, and stopping.
#   q42flash_test.sh update|faults|input|stop|ports|batch|bench|all Q42FLASH Q42SIM Q42PACK MAKE_SAMPLE_FIRMWARE WORKDIR
# Every wait is bounded; every process started here is ended by its id.
set -u
set -m  # background jobs keep Ctrl-C (SIGINT), as they do when started from a terminal
group=$1 flash=$2 sim=$3 pack=$4 make_sample=$5 work=$6/$1
# shellcheck source=tests/lib/radios.sh
source "$(dirname "$0")/../../lib/radios.sh"
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
"$make_sample" image.bin >/dev/null || exit 1
readonly window_lines=("Application in unit: Q42NR" "Version: V2.041" "Ready to program"
    "Sending new Q42 firmware..." "New Firmware is loaded." "Finished..."
    "Disconnect RS232 link from device" "and restart device to verify operation."
    "Repeat programming if required.")

# sim_start ARGS...: a fresh radio behind the link q42; its events in radio.events.
sim_pid=""
sim_start() {
    rm -f radio.in radio.events flash.bin
    mkfifo radio.in
    exec 7<>radio.in
    local args=() arg
    for arg in "$@"; do
        if [ "$arg" = --power-on ]; then power_on_fds+=(7); else args+=("$arg"); fi
    done
    "$sim" --link "$work/q42" --flash-out flash.bin "${args[@]}" <radio.in >radio.events 2>&1 &
    sim_pid=$!
    sim_wait '^ready' 5
}
sim_stop() {
    printf 'quit\n' >&7
    stop_pid "$sim_pid" 5 >/dev/null
    exec 7>&-
}

# hold NAME: a plain cat holds the port open, as a terminal program would; its pid in $holder.
holder=""
hold() {
    cat "$1" >/dev/null &
    holder=$!
    # Holding means having it open: wait until /proc shows that.
    local i fd target
    target=$(readlink -f "$1")
    for ((i = 0; i < 100; i++)); do
        for fd in "/proc/$holder/fd/"*; do
            [ "$(readlink "$fd")" = "$target" ] && return 0
        done
        sleep 0.05
    done
    fail "cat did not open $1"
}
release() {
    kill "$holder" 2>/dev/null
    wait "$holder" 2>/dev/null
}

# start_flash ARGS...: q42flash in the background, stdin from answer.txt if there is one.
flash_pid=""
start_flash() {
    [ -f answer.txt ] || : >answer.txt
    # The background start empties them only later: a wait must not read the last case's lines.
    rm -f out.txt err.txt
    "$flash" "$@" <answer.txt >out.txt 2>err.txt &
    flash_pid=$!
    power_on_when_listening err.txt "$flash_pid"
}
# finish_flash [SECONDS]: its exit status in $code.
finish_flash() {
    stop_pid "$flash_pid" "${1:-30}"
    code=$?
    rm -f answer.txt
}
run_flash() {
    start_flash "$@"
    finish_flash
}
# wait_output LINE SECONDS [FILE]: out.txt unless FILE is given.
wait_output() {
    local i
    for ((i = 0; i < $2 * 20; i++)); do
        grep -qxF -- "$1" "${3:-out.txt}" 2>/dev/null && return 0
        sleep 0.05
    done
    fail "q42flash did not print \"$1\" within $2 s"
}

expect_code() { [ "$code" -eq "$1" ] || fail "exit status $code, expected $1; stderr: $(cat err.txt)"; }
expect_out() {
    [ "$(cat out.txt)" = "$(printf '%s\n' "$@")" ] || fail "printed [$(cat out.txt)], expected [$(printf '%s\n' "$@")]"
}
expect_err() { grep -qF -- "$1" err.txt || fail "stderr lacks \"$1\": $(cat err.txt)"; }
expect_frames() {
    local n
    n=$(grep -c '^event frame ' radio.events)
    [ "$n" -eq "$1" ] || fail "the radio got $n frames, expected $1"
}
case $group in
update)
    begin "plain image, radio switched on after q42flash started"
    sim_start --image image.bin
    # The digest as a maker may publish it, in capitals.
    start_flash --port q42 --image image.bin --sha256 "$(sha256sum image.bin | cut -d' ' -f1 | tr a-f A-F)" --yes
    wait_output "Switch on Q42" 5
    printf 'on\n' >&7
    finish_flash
    sim_stop
    expect_code 0
    expect_out "This image contains software version: V2.041" "Switch on Q42" "${window_lines[@]}"
    expect_flash image.bin
    # Not a terminal: plain lines, each beginning with its port.
    expect_err "q42: written 90488 of 90488 bytes (100%)"

    begin "packed program, the question answered yes"
    seq 1 20000 >program.exe
    "$pack" program.exe image.bin packed.exe >/dev/null || fail "q42pack failed"
    sim_start --power-on --image image.bin
    printf 'yes\n' >answer.txt
    run_flash --port q42 --from packed.exe
    sim_stop
    expect_code 0
    expect_out "This program contains software version: V2.041" "Switch on Q42" "${window_lines[@]}"
    expect_flash image.bin

    begin "the question answered no"
    sim_start --power-on --image image.bin
    printf 'n\n' >answer.txt
    run_flash --port q42 --image image.bin
    sim_stop
    expect_code 5
    expect_frames 0

    begin "the question, its input failing at every read"
    sim_start --power-on --image image.bin
    rm -f out.txt err.txt
    "$flash" --port q42 --image image.bin <. >out.txt 2>err.txt &
    flash_pid=$!
    power_on_when_listening err.txt "$flash_pid"
    finish_flash 10
    sim_stop
    expect_code 5
    expect_frames 0
    # Flushed before the question: its answer comes after the radio's version in a log.
    [ "$(tail -n 1 out.txt)" = "Ready to program" ] || fail "last line [$(tail -n 1 out.txt)]"

    # The application's name in the image against the radio's.
    { seq 1 40 | tr '\n' ' '; echo; } >readme.txt
    cp image.bin other.bin
    printf 'Q42XX' | dd of=other.bin bs=1 seek=17 conv=notrunc status=none
    # image | radio | q42flash's options | answer | exit status | written | on stderr
    while IFS="|" read -r -u 3 image radio options answer status written said; do
        begin "image $image, radio $radio, $options"
        # shellcheck disable=SC2086
        sim_start --power-on $radio
        [ -z "$answer" ] || printf '%s\n' "$answer" >answer.txt
        # shellcheck disable=SC2086
        run_flash --port q42 --image "$image" $options
        sim_stop
        expect_code "$status"
        [ -z "$said" ] || expect_err "$said"
        if [ "$written" = yes ]; then expect_flash "$image"; else expect_frames 0; fi
    done 3<<'ROWS'
readme.txt|--image image.bin|--yes||6|no|the image carries no Q42 application name (at its offset 16): not written
readme.txt|--image image.bin|--yes --force||0|yes|written anyway, as --force asks
other.bin|--image image.bin|--yes||6|no|the image is for application Q42XX, the radio's application is Q42NR: not written
other.bin|--image image.bin||y|6|no|not written (--force writes it
image.bin|--name-length 4|--yes||0|yes|
other.bin|--name-length 4|--yes||0|yes|
ROWS

    # radio's header | the lines --info prints
    while IFS="|" read -r -u 3 header name version; do
        begin "--info, radio $header"
        # shellcheck disable=SC2086
        sim_start --power-on $header
        run_flash --port q42 --info
        sim_stop
        expect_code 0
        expect_out "Switch on Q42" "$name" "$version"
        expect_frames 0
    done 3<<'ROWS'
--image image.bin|Application in unit: Q42NR|Version: V2.041
--name-length 4 --version-length 7|Unknown application in unit|Unknown version
ROWS

    begin "--info with the image of another application: said, exit 6, nothing written"
    sim_start --power-on --image image.bin
    run_flash --port q42 --info --image other.bin --record info.jsonl
    sim_stop
    expect_code 6
    expect_err "the image is for application Q42XX, the radio's application is Q42NR"
    expect_frames 0
    grep -q '"image_version":"V2.041",.*"result":"not written",.*"exit_code":6}$' info.jsonl || fail "record: $(cat info.jsonl)"

    begin "--info without an image: the record's image fields are null"
    sim_start --power-on --image image.bin
    run_flash --port q42 --info --record info2.jsonl
    sim_stop
    expect_code 0
    grep -q '"image_version":null,' info2.jsonl || fail "record: $(cat info2.jsonl)"
    ;;
faults)
    # radio | exit status | last line printed | frames the radio saw | on stderr
    # (when each ends, on the bench's clock, is radio_bench_test's)
    while IFS="|" read -r -u 3 radio status last frames said; do
        begin "radio $radio"
        # shellcheck disable=SC2086
        sim_start --image image.bin $radio
        run_flash --port q42 --image image.bin --yes --wait 1
        sim_stop
        expect_code "$status"
        [ "$(tail -n 1 out.txt)" = "$last" ] || fail "last line [$(tail -n 1 out.txt)], expected [$last]"
        expect_frames "$frames"
        [ -z "$said" ] || expect_err "$said"
    done 3<<'ROWS'
--power-on --fault nack=5|1|Program write failed - please repeat|6|
--power-on --fault no-ack=3|1|Program write failed - please repeat|4|
--power-on --fault hangup=4|1|Program write failed - please repeat|4|q42 has gone: its USB converter was unplugged
--power-on --fault silent-header|3|Cannot read from device. Please try again.|0|
|3|Switch on Q42|0|no greeting from the radio within 1 s
ROWS
    ;;
input)
    head -c 262144 /dev/zero >too_big.bin
    : >empty.bin
    mkfifo pipe.bin
    mkdir images
    seq 1 20000 >program.exe
    { printf 'MZ'; seq 1 2000; } >windows.exe
    "$pack" windows.exe image.bin damaged.exe >/dev/null || fail "q42pack failed"
    printf 'X' | dd of=damaged.exe bs=1 seek=50000 conv=notrunc status=none
    # case | arguments | exit status | stdout's last line or stderr's text
    while IFS="|" read -r -u 3 name args status said; do
        begin "$name"
        sim_start --power-on
        # shellcheck disable=SC2086
        run_flash $args
        sim_stop
        expect_code "$status"
        [ "$(tail -n 1 out.txt)" = "$said" ] || expect_err "$said"
        expect_nothing_sent
    done 3<<'ROWS'
image too big|--port q42 --image too_big.bin --yes|2|a Q42 image must be smaller than 262144 bytes
empty image|--port q42 --image empty.bin --yes|2|empty.bin is empty
missing image|--port q42 --image nothing.bin --yes|2|cannot open nothing.bin (No such file or directory)
image a FIFO|--port q42 --image pipe.bin --yes|2|pipe.bin is not a file
program a FIFO|--port q42 --from pipe.bin --yes|2|pipe.bin is not a file
program without container|--port q42 --from windows.exe --yes|2|q42flash: windows.exe holds no firmware image (Cannot locate code data)
image a folder|--port q42 --image images --yes|2|q42flash: images is a folder, not a file
plain file as program|--port q42 --from program.exe --yes|2|program.exe is not a program file: a plain image is given with --image
program file as image|--port q42 --image windows.exe --yes|2|windows.exe is a program file, not a plain image: give it with --from
image as program|--port q42 --from image.bin --yes|2|image.bin is not a program file: a plain image is given with --image
damaged program|--port q42 --from damaged.exe --yes|8|The firmware inside this program file is damaged: download the program again.
image not of its SHA-256|--port q42 --image image.bin --sha256 0000000000000000000000000000000000000000000000000000000000000000 --yes|8|the image in image.bin does not match the SHA-256 given with --sha256
SHA-256 not 64 digits|--port q42 --image image.bin --sha256 12ab --yes|2|--sha256 takes the image's SHA-256 as 64 hexadecimal digits, not 12ab
image without a name|--port q42 --image program.exe --yes|6|the image carries no Q42 application name (at its offset 16): not written
no firmware named|--port q42 --yes|2|name the firmware with --image FILE or --from PROGRAM.exe
not a terminal|--port /dev/null --image image.bin --yes|4|/dev/null is not a serial port
missing device|--port nothing --image image.bin --yes|4|there is no port nothing (No such file or directory)
ROWS

    begin "port in use by another q42flash"
    sim_start
    start_flash --port q42 --info
    first=$flash_pid
    wait_output "Switch on Q42" 5
    "$flash" --port q42 --info </dev/null >out2.txt 2>err2.txt
    second=$?
    [ "$second" -eq 4 ] || fail "second q42flash: exit status $second, expected 4"
    grep -qF "q42 is in use by another" err2.txt || fail "second q42flash said: $(cat err2.txt)"
    kill -INT "$first"
    finish_flash 5
    sim_stop

    begin "port gone while waiting for the greeting"
    sim_start
    start_flash --port q42 --image image.bin --yes
    wait_output "Switch on Q42" 5
    # The radio's end of the line closes, as when a converter is unplugged.
    kill -TERM "$sim_pid"
    stop_pid "$sim_pid" 5 >/dev/null
    exec 7>&-
    finish_flash 5
    expect_code 4
    # The radio's link went with it, as a converter's node does.
    expect_err "q42 has gone: its USB converter was unplugged"
    ;;
stop)
    begin "Ctrl-C while waiting for the greeting"
    sim_start
    stty -F q42 sane 19200
    before=$(stty -F q42 -a)
    start_flash --port q42 --image image.bin --yes
    wait_output "Switch on Q42" 5
    kill -INT "$flash_pid"
    finish_flash 5
    expect_code 130
    expect_err "stopped; nothing was written"
    [ "$(stty -F q42 -a)" = "$before" ] || fail "the port's settings were not put back"
    sim_stop
    expect_nothing_sent

    head -c 6144 image.bin >small.bin
    # stop requests during a write | their signal | exit status | frames | on stderr
    while IFS="|" read -r -u 3 requests signal status frames said; do
        begin "$requests SIG$signal during a write"
        sim_start --power-on --image small.bin --baud 38400
        start_flash --port q42 --image small.bin --yes
        sim_wait '^event frame block=0 ' 10
        # Apart, so that the second is not merged into the first while that one is pending.
        for ((i = 0; i < requests; i++)); do
            kill -"$signal" "$flash_pid"
            sleep 0.2
        done
        finish_flash 20
        sim_stop
        expect_code "$status"
        expect_err "$said"
        [ "$frames" != 6 ] || expect_flash small.bin
        [ "$frames" = 6 ] || [ "$(grep -c '^event frame ' radio.events)" -lt 6 ] || fail "the write was not stopped"
    done 3<<'ROWS'
1|INT|0|6|the write goes on to its end, since a half-written radio does not start; Ctrl-C again stops at once
2|INT|130|fewer|the radio is half-written
1|TERM|0|6|the write goes on to its end, since a half-written radio does not start; a second SIGTERM stops at once
ROWS

    begin "Ctrl-C while the header is read"
    sim_start --power-on --fault silent-header
    start_flash --port q42 --image image.bin --yes
    sim_wait '^event header withheld' 10
    kill -INT "$flash_pid"
    # Said at once, not when the 5 s read ends.
    for ((i = 0; i < 20; i++)); do
        grep -qF "stopping when the radio's header has been read" err.txt && break
        sleep 0.05
    done
    ((i < 20)) || fail "nothing said within 1 s of Ctrl-C: $(cat err.txt)"
    finish_flash 10
    sim_stop
    expect_code 130
    expect_frames 0

    begin "the user's terminal hung up during a write"
    sim_start --image small.bin --baud 38400
    rm -f flash.pid
    # script gives q42flash a pseudo-terminal of its own as the user's terminal.
    script -qfec "echo \$\$ >flash.pid; exec '$flash' --port q42 --image small.bin --yes" /dev/null \
        </dev/null >terminal.txt 2>&1 &
    terminal_pid=$!
    for ((i = 0; i < 100; i++)); do
        grep -q "waiting for the radio" terminal.txt 2>/dev/null && break
        sleep 0.05
    done
    printf 'on\n' >&7
    sim_wait '^event frame block=1 ' 10
    flash_pid=$(cat flash.pid)
    # The terminal's end closes, so the kernel hangs up the line; then the shell's hang-up.
    kill -KILL "$terminal_pid"
    wait "$terminal_pid" 2>/dev/null
    kill -HUP "$flash_pid"
    for ((i = 0; i < 400; i++)); do
        kill -0 "$flash_pid" 2>/dev/null || break
        sleep 0.05
    done
    ((i < 400)) || { fail "q42flash still running 20 s after the hang-up"; kill -KILL "$flash_pid"; }
    sim_stop
    expect_flash small.bin
    ;;
ports)
    begin "the port held open by another program"
    sim_start --image image.bin
    hold q42
    run_flash --port q42 --image image.bin --yes --wait 3
    release
    sim_stop
    expect_code 4
    expect_err "q42 is in use by another program: cat (pid $holder)"
    expect_nothing_sent

    # Three radios: status packets, a looped-back cable, and a bootloader switched on later.
    # trouble (B held by cat, A's line gone while listening) | on stderr
    while IFS="|" read -r -u 3 trouble said; do
        begin "three ports, trouble: ${trouble:-none}"
        radio_start A --mode app --status-period 100
        radio_start B --mode loopback
        radio_start C --image image.bin
        [ "$trouble" != busy ] || hold B
        start_flash --port A --port B --port C --image image.bin --yes
        wait_output "Switch on Q42" 5
        if [ "$trouble" = gone ]; then
            kill -TERM "${radio_pid[A]}"
            stop_pid "${radio_pid[A]}" 5 >/dev/null
        fi
        sleep 2
        printf 'on\n' >&"${radio_fd[C]}"
        finish_flash 30
        [ "$trouble" != busy ] || release
        for radio in A B C; do radio_stop $radio; done
        expect_code 0
        expect_err "$said"
        expect_err "the radio greeted on C"
        [ "$trouble" != busy ] || expect_err "B is in use by another program: cat (pid $holder)"
        expect_received_nothing A
        expect_received_nothing B
        expect_flash image.bin C.events C.flash
        grep -q '^event status ' A.events || fail "radio A sent no status packets"
    done 3<<'ROWS'
|waiting for the radio's greeting on A, B and C
busy|skipping B: B is in use by another program
gone|the line on A hung up; no longer listening on it
ROWS

    begin "no port left to listen on"
    radio_start B --mode loopback
    hold B
    run_flash --port nothing --port B --image image.bin --yes --wait 3
    release
    radio_stop B
    expect_code 4
    expect_err "skipping nothing: there is no port nothing"
    expect_err "no port left to listen on"
    expect_received_nothing B
    ;;
batch)
    sha=$(sha256sum image.bin | cut -d' ' -f1)
    frames_per_image=$(image_blocks image.bin | wc -l)
    size=$(stat -c %s image.bin)
    bytes_sent=0
    for block in $(image_blocks image.bin); do
        bytes_sent=$((bytes_sent + (size - block * 1024 < 1024 ? size - block * 1024 : 1024)))
    done
    # next_radio [FILE]: the radio just written is kept as first.flash, and a blank one is switched on.
    next_radio() {
        wait_output "Connect the next radio and switch it on" 30 "${1:-out.txt}"
        printf 'save first.flash\nerase\nfault none\n' >&7
        sim_wait '^event erased' 5
        printf 'on\n' >&7
    }

    begin "--repeat --count 2: two radios one after the other, --json beside the record"
    rm -f record.jsonl
    sim_start --image image.bin
    start_flash --port q42 --image image.bin --yes --repeat --count 2 --record record.jsonl --json
    wait_output "Switch on Q42" 5 err.txt
    printf 'on\n' >&7
    next_radio err.txt
    finish_flash 60
    sim_stop
    expect_code 0
    cmp -s -n "$(stat -c %s image.bin)" first.flash image.bin || fail "the first radio's flash differs from the image"
    cmp -s -n "$(stat -c %s image.bin)" flash.bin image.bin || fail "the second radio's flash differs from the image"
    expect_frames $((2 * frames_per_image))
    [ "$(wc -l <record.jsonl)" -eq 2 ] || fail "the record holds $(wc -l <record.jsonl) lines, expected 2"
    cmp -s out.txt record.jsonl || fail "--json printed [$(cat out.txt)], not the record's lines"
    # The first radio held the image before; the second was blank, and is written all the same.
    grep -q '"port":"q42","application":"Q42NR","version":"V2.041","image_version":"V2.041","image_sha256":"'"$sha"'","result":"written","frames":'"$frames_per_image"',"bytes":'"$bytes_sent"',' <(sed -n 1p record.jsonl) ||
        fail "first record line: $(sed -n 1p record.jsonl)"
    grep -q '"application":null,"version":null,.*"result":"written",.*"exit_code":0}$' <(sed -n 2p record.jsonl) ||
        fail "second record line: $(sed -n 2p record.jsonl)"
    grep -Eq '^\{"time":"20[0-9]{2}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z",' record.jsonl || fail "no UTC time in the record"
    expect_err "Application in unit: Q42NR"
    expect_err "Connect the next radio and switch it on"

    begin "--repeat: the first radio fails, the second is written; exit status and table say so"
    sim_start --image image.bin --fault nack=5
    start_flash --port q42 --image image.bin --yes --repeat --count 2 --record record2.jsonl
    wait_output "Switch on Q42" 5
    printf 'on\n' >&7
    next_radio
    finish_flash 60
    sim_stop
    expect_code 1
    cmp -s -n "$(stat -c %s image.bin)" flash.bin image.bin || fail "the second radio's flash differs from the image"
    grep -Eq '^q42 +V2.041 +V2.041 +write failed ' err.txt || fail "no failed row in the table: $(cat err.txt)"
    grep -Eq '^q42 +unknown +V2.041 +written ' err.txt || fail "no written row in the table: $(cat err.txt)"
    expect_err "exit status 1, from the first row that failed"
    [ "$(cut -d, -f7 record2.jsonl | paste -sd' ')" = '"result":"write failed" "result":"written"' ] ||
        fail "record: $(cat record2.jsonl)"

    begin "a record line survives q42flash killed during the next radio"
    rm -f record3.jsonl
    sim_start --image image.bin
    start_flash --port q42 --image image.bin --yes --repeat --record record3.jsonl
    wait_output "Switch on Q42" 5
    printf 'on\n' >&7
    wait_output "Connect the next radio and switch it on" 30
    printf 'erase\non\n' >&7
    sim_wait '^event frame block=1 ' 10
    kill -KILL "$flash_pid"
    finish_flash 5
    sim_stop
    [ "$(wc -l <record3.jsonl)" -eq 1 ] && grep -q '"result":"written",.*}$' record3.jsonl ||
        fail "record after the kill: [$(cat record3.jsonl)]"
    ;;
bench)
    head -c 6144 image.bin >small.bin
    # A radio that misses the programming command, or whose greeting came before q42flash
    # listened, is still written once switched off and on: one radio, and two at once.
    # case | q42flash's options beyond the image | what happens to the radio first
    while IFS="|" read -r -u 3 name options trouble; do
        begin "$name"
        radio_start r1 --image small.bin
        radio_start r2 --image small.bin
        if [ "$trouble" = stale ]; then
            # Its greeting waits in the port, unanswered, and it is switched off.
            printf 'on\n' >&"${radio_fd[r1]}"
            sim_wait '^event greeting' 5 r1.events
            sleep 0.2
            printf 'off\n' >&"${radio_fd[r1]}"
        else
            printf 'fault no-hash\n' >&"${radio_fd[r1]}"
        fi
        # shellcheck disable=SC2086
        start_flash --image small.bin --yes --wait 15 $options
        wait_output "Switch on Q42" 5
        if [ "$trouble" = stale ]; then
            printf 'on\n' >&"${radio_fd[r1]}"
        else
            printf 'on\n' >&"${radio_fd[r1]}"
            sim_wait '^event hash withheld' 5 r1.events
            # A person takes a second or more to switch a radio off and on.
            sleep 1
            printf 'fault none\noff\non\n' >&"${radio_fd[r1]}"
        fi
        [[ "$options" != *--all* ]] || printf 'on\n' >&"${radio_fd[r2]}"
        finish_flash 30
        radio_stop r1
        radio_stop r2
        expect_code 0
        expect_flash small.bin r1.events r1.flash
        [[ "$options" != *--all* ]] || expect_flash small.bin r2.events r2.flash
        [ "$(grep -c '^event command' r1.events)" -eq "$([ "$trouble" = stale ] && echo 1 || echo 2)" ] ||
            fail "r1 got the programming command $(grep -c '^event command' r1.events) times"
    done 3<<'ROWS'
the command missed, the radio switched off and on|--port r1|missed
the command missed, with --all|--port r1 --port r2 --all|missed
a stale greeting in the port at open|--port r1|stale
a stale greeting, with --all|--port r1 --port r2 --all|stale
ROWS

    begin "--repeat: the port goes after the first radio and does not come back; a row and exit 4"
    sim_start --image small.bin
    start_flash --port q42 --image small.bin --yes --repeat --count 3 --wait 2 --record hangup.jsonl
    wait_output "Switch on Q42" 5
    printf 'on\n' >&7
    wait_output "Connect the next radio and switch it on" 30
    sim_stop
    finish_flash 10
    expect_code 4
    expect_err "waiting for q42 to come back (Ctrl-C stops)"
    expect_err "q42 did not come back within 2 s"
    grep -Eq '^q42 +- +V2.041 +hung up ' err.txt || fail "no 'hung up' row: $(cat err.txt)"
    expect_err "1 of 2 radios written; 1 failed: q42 hung up"
    [ "$(cut -d, -f7 hangup.jsonl | paste -sd' ')" = '"result":"written" "result":"hung up"' ] ||
        fail "record: $(cat hangup.jsonl)"

    begin "--repeat: the port goes after the first radio and comes back; the next radio is written"
    sim_start --image small.bin
    start_flash --port q42 --image small.bin --yes --repeat --count 2 --record back.jsonl
    wait_output "Switch on Q42" 5
    printf 'on\n' >&7
    wait_output "Connect the next radio and switch it on" 30
    sim_stop
    wait_output "q42flash: waiting for q42 to come back (Ctrl-C stops)" 5 err.txt
    sim_start --image small.bin
    wait_output "q42flash: q42 is back; listening on it again" 5 err.txt
    printf 'on\n' >&7
    finish_flash 30
    sim_stop
    expect_code 0
    expect_flash small.bin
    [ "$(cut -d, -f7 back.jsonl | paste -sd' ')" = '"result":"written" "result":"written"' ] ||
        fail "record: $(cat back.jsonl)"

    # A record line that cannot be written whole: said at once, exit 7, no further radio.
    # case | the record | what becomes of it during the first write
    while IFS="|" read -r -u 3 name record trouble said; do
        begin "$name"
        rm -rf gone
        mkdir gone
        # Paced, so that the write is still under way when the record's folder goes.
        sim_start --image small.bin --baud 9600
        start_flash --port q42 --image small.bin --yes --repeat --count 2 --record "$record"
        wait_output "Switch on Q42" 5
        printf 'on\n' >&7
        sim_wait '^event frame block=1 ' 10
        [ -z "$trouble" ] || eval "$trouble"
        finish_flash 20
        sim_stop
        expect_code 7
        expect_err "$said"
        expect_err "no further radio is started"
        expect_flash small.bin
        [ "$(grep -c '^event greeting' radio.events)" -eq 1 ] || fail "a second radio was started"
    done 3<<'ROWS'
the record on a full device|/dev/full||cannot write the record /dev/full (No space left on device)
the record's folder removed during the write|gone/record.jsonl|rm -rf gone|the record gone/record.jsonl was removed
ROWS

    begin "--skip-current: a radio that holds the image's version is not rewritten"
    sim_start --image image.bin
    start_flash --port q42 --image image.bin --yes --skip-current --repeat --count 2 --record current.jsonl
    wait_output "Switch on Q42" 5
    printf 'on\n' >&7
    wait_output "Connect the next radio and switch it on" 30
    # The next one reports an older version: it is written.
    printf 'erase\non\n' >&7
    finish_flash 60
    sim_stop
    expect_code 0
    expect_frames "$(image_blocks image.bin | wc -l)"
    expect_err "already current: it holds Q42NR V2.041"
    [ "$(cut -d, -f7 current.jsonl | paste -sd' ')" = '"result":"already current" "result":"written"' ] ||
        fail "record: $(cat current.jsonl)"

    begin "--ask-label: each radio's label, typed before it, goes into its record"
    sim_start --image small.bin
    printf 'RADIO-0017\n\n' >answer.txt
    start_flash --port q42=bench1 --image small.bin --yes --ask-label --repeat --count 2 --record label.jsonl
    wait_output "Switch on Q42" 5
    printf 'on\n' >&7
    wait_output "Connect the next radio and switch it on" 30
    printf 'erase\non\n' >&7
    finish_flash 30
    sim_stop
    expect_code 0
    expect_err "Scan or type the radio's label"
    # The position's name in the progress too, as in every other line.
    expect_err "bench1: written "
    # The bench position names the port in the table; the record keeps the device too.
    grep -Eq '^bench1 +V2.041 +V2.041 +written ' err.txt || fail "no row for bench1: $(cat err.txt)"
    [ "$(grep -o '"port":"q42",.*"position":"bench1","label":[^,]*' label.jsonl | sed 's/.*"label"://' | paste -sd' ')" = \
        '"RADIO-0017" null' ] || fail "record: $(cat label.jsonl)"

    begin "one port named twice"
    sim_start --image small.bin
    run_flash --port q42 --port "$work/q42" --image small.bin --yes
    sim_stop
    expect_code 2
    expect_nothing_sent
    expect_err "are one port, named twice"
    ;;
all)
    # A short image keeps three writes at the cable's own speed to about 10 s.
    head -c 9000 image.bin >small.bin
    begin "--all: three radios at 9600 baud at once, one refusing frame 7, one port with none"
    rm -f record.jsonl
    radio_start r1 --image small.bin --baud 9600
    radio_start r2 --image small.bin --baud 9600 --fault nack=7
    radio_start r3 --image small.bin --baud 9600
    radio_start r4 --image small.bin --baud 9600
    start_flash --port r1 --port r2 --port r3 --port r4 --all --image small.bin --yes --wait 6 --record record.jsonl
    wait_output "Switch on Q42" 5
    printf 'on\n' >&"${radio_fd[r1]}"
    printf 'on\n' >&"${radio_fd[r2]}"
    # The third greets while the others write: it is served without holding them up.
    sim_wait '^event frame block=1 ' 10 r1.events
    printf 'on\n' >&"${radio_fd[r3]}"
    finish_flash 60
    for radio in r1 r2 r3 r4; do radio_stop $radio; done
    expect_code 1
    expect_flash small.bin r1.events r1.flash
    expect_flash small.bin r3.events r3.flash
    [ "$(sed -n 's/^event ack block=\([0-9]*\) value=\([0-9]*\)$/\1:\2/p' r2.events | paste -sd' ')" = "0:13 1:13 2:13 3:13 4:13 5:13 6:13 7:21" ] ||
        fail "r2's frames were not refused at frame 7 alone: $(grep '^event ack' r2.events | paste -sd' ')"
    expect_nothing_sent r4.events
    expect_err "no greeting on r4 within 6 s"
    grep -Eq '^r2 +V2.041 +V2.041 +write failed ' err.txt || fail "no failed row for r2: $(cat err.txt)"
    for radio in r1 r3; do
        grep -Eq "^$radio +V2.041 +V2.041 +written " err.txt || fail "no written row for $radio: $(cat err.txt)"
    done
    # Every port named has its row, in the order given, and the count line tells the bench.
    [ "$(grep -Eo '^r[0-9] +[^ ]+ +[^ ]+ +(written|write failed|no radio)' err.txt | awk '{print $1}' | paste -sd' ')" = "r1 r2 r3 r4" ] ||
        fail "the rows are not r1 to r4 in order: $(cat err.txt)"
    grep -Eq '^r4 +- +V2.041 +no radio ' err.txt || fail "no 'no radio' row for r4: $(cat err.txt)"
    expect_err "2 of 4 radios written; 2 failed: r2 write failed at frame 8: refused by the radio, r4 no radio"
    [ "$(grep -o '"port":"r[0-9]",.*"result":"[a-z ]*","frames":[0-9]*' record.jsonl | sed 's/,.*"result"/ /' | sort | paste -sd' ')" = \
        '"port":"r1" :"written","frames":9 "port":"r2" :"write failed","frames":7 "port":"r3" :"written","frames":9 "port":"r4" :"no radio","frames":0' ] ||
        fail "record: $(cat record.jsonl)"
    for radio in r1 r3; do
        grep -qx "$radio: New Firmware is loaded." out.txt || fail "no closing line for $radio: $(cat out.txt)"
    done
    grep -qx "r2: Program write failed - please repeat" out.txt || fail "no failure line for r2: $(cat out.txt)"

    begin "--all: Ctrl-C during the writes ends the listening at once and the writes at their end; the silent port has its row"
    radio_start r1 --image small.bin --baud 9600 --power-on
    radio_start r2 --image small.bin --baud 9600 --power-on
    radio_start r3 --image small.bin
    start_flash --port r1 --port r2 --port r3 --all --image small.bin --yes
    sim_wait '^event frame block=1 ' 10 r2.events
    kill -INT "$flash_pid"
    wait_output "q42flash: the write goes on to its end, since a half-written radio does not start; Ctrl-C again stops at once" 5 err.txt
    # Too late: the stop has ended the listening.
    printf 'on\n' >&"${radio_fd[r3]}"
    finish_flash 30
    for radio in r1 r2 r3; do radio_stop $radio; done
    expect_code 3
    expect_flash small.bin r1.events r1.flash
    expect_flash small.bin r2.events r2.flash
    grep -q '^event greeting' r3.events || fail "r3 never greeted: $(cat r3.events)"
    expect_nothing_sent r3.events
    grep -Eq '^r3 +- +V2.041 +no radio ' err.txt || fail "no 'no radio' row for r3: $(cat err.txt)"
    ;;
*)
    sed -n '4p' "$0" >&2
    exit 2
    ;;
esac

end_checks "q42flash $group"
