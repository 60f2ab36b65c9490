# shellcheck shell=bash
# Simulated radios for the q42flash tests, on a pseudo-terminal of their own or on a line
# given to them (the far end of an emulated USB converter), and the checks on what they
# received: counted failures, bounded waits, every process ended by its id.
# The caller sets work (its folder, the current directory) and sim (q42sim).

failures=0
case_name=""
fail() {
    echo "FAIL: $case_name: $*" >&2
    failures=$((failures + 1))
}
begin() {
    case_name=$1
    power_on_fds=()
    echo "-- $case_name"
}

# --power-on given to a radio here means it is switched on once q42flash listens: q42flash
# drops what came before it listened, as a greeting nobody answered at once is stale. The
# radios' control descriptors wait here for whoever starts q42flash.
power_on_fds=()
# power_on_when_listening ERR [PID]: switches those radios on once q42flash says, in its
# standard error ERR, that it waits for the greeting, or once it has ended (PID, when known).
# At most 30 s, for q42flash.exe's start under Wine.
power_on_when_listening() {
    local err=$1 pid=${2:-} i fd
    [ ${#power_on_fds[@]} -gt 0 ] || return 0
    for ((i = 0; i < 600; i++)); do
        grep -q "waiting for the radio" "$err" 2>/dev/null && break
        [ -z "$pid" ] || kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    for fd in "${power_on_fds[@]}"; do printf 'on\n' >&"$fd"; done
    power_on_fds=()
}
# end_checks GROUP: the script's verdict, from the failures counted.
end_checks() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed" >&2
        exit 1
    fi
    echo "all $1 checks passed"
}

# stop_pid PID SECONDS: waits that long for the process to end, then kills it; its status in $?.
stop_pid() {
    local i
    for ((i = 0; i < $2 * 20; i++)); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.05
    done
    kill -KILL "$1" 2>/dev/null && echo "killed $1 after $2 s" >&2
    wait "$1"
}

# sim_wait PATTERN SECONDS [EVENTS]
sim_wait() {
    local i
    for ((i = 0; i < $2 * 20; i++)); do
        grep -Eq -- "$1" "${3:-radio.events}" 2>/dev/null && return 0
        sleep 0.05
    done
    fail "no radio event /$1/ within $2 s in ${3:-radio.events}"
    return 1
}

# radio_start NAME [--device LINE] ARGS...: one of several radios, behind the link NAME or on
# LINE; its control lines go to the descriptor in ${radio_fd[NAME]}, its events to
# NAME.events, its flash to NAME.flash.
declare -A radio_pid radio_fd
radio_start() {
    local name=$1 fd
    shift
    local line=(--link "$work/$name")
    if [ "${1:-}" = --device ]; then
        line=(--device "$2")
        shift 2
    fi
    rm -f "$name.in" "$name.events" "$name.flash"
    mkfifo "$name.in"
    exec {fd}<>"$name.in"
    radio_fd[$name]=$fd
    local args=() arg
    for arg in "$@"; do
        if [ "$arg" = --power-on ]; then power_on_fds+=("$fd"); else args+=("$arg"); fi
    done
    "$sim" "${line[@]}" --flash-out "$name.flash" "${args[@]}" <"$name.in" >"$name.events" 2>&1 &
    radio_pid[$name]=$!
    sim_wait '^ready' 5 "$name.events"
}
radio_send() { printf '%s\n' "$2" >&"${radio_fd[$1]}"; }
radio_stop() {
    printf 'quit\n' >&"${radio_fd[$1]}"
    stop_pid "${radio_pid[$1]}" 5 >/dev/null
    exec {radio_fd[$1]}>&-
}
expect_received_nothing() {
    ! grep -q '^event received' "$1.events" || fail "radio $1 was sent something: $(grep '^event received' "$1.events" | head -3)"
}
# expect_nothing_sent [EVENTS]: a radio in its bootloader was sent nothing.
expect_nothing_sent() {
    local events=${1:-radio.events}
    ! grep -Eq '^event (command|unexpected|frame|read|header)' "$events" ||
        fail "the radio was sent something: $(grep -E '^event (command|unexpected|frame)' "$events" | head -3)"
}

# The blocks of an image that hold a byte other than 0xFF, and the blocks of the frames the
# radio accepted, in order; a frame out of sequence or refused spoils the comparison.
image_blocks() { od -An -v -tx1 -w1024 "$1" | awk '{ for (i = 1; i <= NF; i++) if ($i != "ff") { print NR - 1; next } }'; }
sent_blocks() {
    local expected=0 _e _f number address verdict
    grep '^event frame ' "${1:-radio.events}" | while read -r _e _f number address verdict; do
        if [ "${number#block=}" != "$expected" ] || [ "$verdict" != ok ]; then
            echo "bad $number $verdict"
        else
            echo $(((${address#address=} - 0x20000) / 1024))
        fi
        expected=$((expected + 1))
    done
}
# expect_flash IMAGE [EVENTS FLASH]: after the radio has quit, its flash holds the image
# exactly, 0xFF after it, and it was sent one frame per block that is not all 0xFF, in
# address order.
expect_flash() {
    local size flash=${3:-flash.bin}
    size=$(stat -c %s "$1")
    [ -f "$flash" ] || { fail "the radio wrote no flash copy"; return; }
    cmp -s -n "$size" "$flash" "$1" || fail "the radio's flash differs from the image"
    [ "$(tail -c +$((size + 1)) "$flash" | tr -d '\377' | wc -c)" -eq 0 ] || fail "the flash holds data past the image"
    [ "$(sent_blocks "${2:-radio.events}")" = "$(image_blocks "$1")" ] || fail "the frames sent are not the image's blocks in order"
}
