#!/usr/bin/env bash
# How long q42flash --all takes from its start to listening, over COUNT simulated radios'
# ports, none switched on: the look for other programs holding the ports and the opens come
# in that time, while a technician waits to switch the radios on. Prints, for each count, the
# time and q42flash's processor time until then.
#   bench/listen_time.sh BUILD_DIR [COUNT...]      (default 1 64 256)
set -euo pipefail
# shellcheck source=bench/flash-env.sh
source "$(dirname "$0")/flash-env.sh" "$1" listen_time
shift
[ $# -gt 0 ] || set -- 1 64 256
sim_pids=()
finish() {
    for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap finish EXIT

# listen COUNT: prints "COUNT SECONDS PROCESSOR_SECONDS" for one run over that many ports.
listen() {
    local count=$1 dir=$work/$1 i j ports=() fd
    mkdir -p "$dir"
    sim_pids=()
    for ((i = 1; i <= count; i++)); do
        # The radio's control input is held open, so that it waits, off, until it is killed.
        mkfifo "$dir/radio$i.in"
        exec {fd}<>"$dir/radio$i.in"
        "$sim" --link "$dir/radio$i" --image "$image" <"$dir/radio$i.in" >"$dir/radio$i.events" 2>&1 &
        sim_pids+=($!)
        ports+=(--port "$dir/radio$i")
    done
    for ((i = 1; i <= count; i++)); do
        for ((j = 0; j < 200; j++)); do
            grep -q '^ready' "$dir/radio$i.events" && break
            sleep 0.05
        done
    done
    local start end flash_pid cpu
    start=$(date +%s.%N)
    "$flash" "${ports[@]}" --all --image "$image" --yes >"$dir/flash.out" 2>"$dir/flash.err" &
    flash_pid=$!
    until grep -q "waiting for the radio" "$dir/flash.err" 2>/dev/null; do
        kill -0 "$flash_pid" 2>/dev/null || { echo "q42flash ended before listening:" >&2; cat "$dir/flash.err" >&2; exit 1; }
        sleep 0.005
    done
    end=$(date +%s.%N)
    # Its user and system time so far, fields 14 and 15 of its stat, in clock ticks.
    cpu=$(awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / hz }' "/proc/$flash_pid/stat")
    kill -TERM "$flash_pid"
    wait "$flash_pid" || true
    for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    sim_pids=()
    echo "$count $(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", e - s }') $cpu"
}

echo "q42flash --all, from its start to listening, no radio switched on:"
for count in "$@"; do
    listen "$count" | awk '{ printf "  %3d ports: %.2f s to listening, processor time %.2f s (%.4f s a port; AddressSanitizer build)\n",
        $1, $2, $3, $3 / $1 }'
done
