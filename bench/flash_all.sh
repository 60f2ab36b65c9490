#!/usr/bin/env bash
# One q42flash run with --all for RADIOS simulated radios at once against one radio alone,
# each cable paced at BAUD (8N1) with the whole image: prints both times, their ratio (each
# radio has a cable of its own, so at best they are equal), each flash checked against the
# image, and q42flash's processor time per radio.
#   bench/flash_all.sh BUILD_DIR [BAUD] [RADIOS]      (default 9600 baud, 4 radios)
set -euo pipefail
baud=${2:-9600}
radios=${3:-4}
# shellcheck source=bench/flash-env.sh
source "$(dirname "$0")/flash-env.sh" "$1" flash_all
sim_pids=()
finish() {
    for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap finish EXIT

# batch COUNT: that many radios, switched on together, updated by one q42flash --all; the
# figures in $work/COUNT: the record (one line per radio), the processor time, the wall time.
batch() {
    local count=$1 dir=$work/$1 i ports=() controls=() fd
    mkdir -p "$dir"
    sim_pids=()
    for ((i = 1; i <= count; i++)); do
        # Each radio's control input is held open until it is killed.
        mkfifo "$dir/radio$i.in"
        exec {fd}<>"$dir/radio$i.in"
        controls+=("$fd")
        "$sim" --link "$dir/radio$i" --image "$image" --flash-out "$dir/radio$i.flash" --baud "$baud" \
            <"$dir/radio$i.in" >"$dir/radio$i.events" 2>&1 &
        sim_pids+=($!)
        ports+=(--port "$dir/radio$i")
    done
    for ((i = 1; i <= count; i++)); do
        for ((j = 0; j < 100; j++)); do
            grep -q '^ready' "$dir/radio$i.events" && break
            sleep 0.05
        done
    done
    power_on_fds=("${controls[@]}")
    power_on_when_listening "$dir/flash.err" &
    (
        TIMEFORMAT='%U %S'
        time timeout 900 "$flash" "${ports[@]}" --all --image "$image" --yes --record "$dir/record.jsonl" \
            >"$dir/flash.out" 2>"$dir/flash.err"
    ) 2>"$dir/cpu.txt" || { echo "q42flash failed:" >&2; cat "$dir/flash.err" >&2; exit 1; }
    for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    sim_pids=()
    local size exact=0
    size=$(stat -c %s "$image")
    for ((i = 1; i <= count; i++)); do
        cmp -s -n "$size" "$dir/radio$i.flash" "$image" && exact=$((exact + 1))
    done
    echo "$exact" >"$dir/exact.txt"
}

batch 1
batch "$radios"

# The longest radio's time from its greeting to its last line, from the record.
longest() { grep -o '"seconds":[0-9.]*' "$work/$1/record.jsonl" | cut -d: -f2 | sort -n | tail -1; }
one=$(longest 1)
many=$(longest "$radios")
frames=$(grep -c '^event frame .* ok$' "$work/1/radio1.events" || true)
echo "q42flash --all, $(stat -c %s "$image") bytes ($frames frames) at $baud baud into each radio:"
awk -v one="$one" -v many="$many" -v n="$radios" -v frames="$frames" -v baud="$baud" \
    -v cpu1="$(cat "$work/1/cpu.txt")" -v cpun="$(cat "$work/$radios/cpu.txt")" \
    -v exact1="$(cat "$work/1/exact.txt")" -v exactn="$(cat "$work/$radios/exact.txt")" '
    BEGIN {
        printf "  1 radio alone: %.2f s, flash byte-exact: %d of 1\n", one, exact1
        printf "  %d radios at once: %.2f s (the slowest), flash byte-exact: %d of %d\n", n, many, exactn, n
        printf "  ratio: %.4f (wire limit %.2f s)\n", many / one, frames * 1032 * 10 / baud
        split(cpu1, a, " "); split(cpun, b, " ")
        printf "  processor time per radio: %.2f s alone, %.2f s with %d at once (AddressSanitizer build)\n",
            a[1] + a[2], (b[1] + b[2]) / n, n
    }'
