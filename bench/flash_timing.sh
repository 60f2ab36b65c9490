#!/usr/bin/env bash
# Times one whole update by q42flash into the simulated radio, from "Sending new Q42
# firmware..." to the last closing line, with the cable paced at BAUD (8N1), and sets it
# against the wire limit of the frames really sent (1031-byte frame + 1-byte answer, 1032 x
# 10 bits each); prints the Windows program's ratio, as docs/benchmarks.md records it, beside it.
#   bench/flash_timing.sh BUILD_DIR [BAUD]      (default 9600)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
baud=${2:-9600}
# shellcheck source=bench/flash-env.sh
source "$here/flash-env.sh" "$1" flash
mkfifo "$work/radio.in"
exec {control}<>"$work/radio.in"
"$sim" --link "$work/q42" --image "$image" --flash-out "$work/flash.bin" --baud "$baud" \
    <"$work/radio.in" >"$work/radio.events" 2>&1 &
sim_pid=$!
finish() {
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
}
trap finish EXIT
for ((i = 0; i < 100; i++)); do
    grep -q '^ready' "$work/radio.events" && break
    sleep 0.05
done

power_on_fds=("$control")
power_on_when_listening "$work/flash.err" &
# Each line of the program stamped as it comes (bash's clock, no process per line).
# Its processor time too: the waits for the radio's answers must sleep, not spin.
(
    TIMEFORMAT='%U %S'
    time timeout 900 "$flash" --port "$work/q42" --image "$image" --yes 2>"$work/flash.err"
) 2>"$work/cpu.txt" |
    while IFS= read -r line; do echo "$EPOCHREALTIME $line"; done >"$work/flash.out" ||
    { echo "q42flash failed:" >&2; cat "$work/flash.out" "$work/flash.err" >&2; exit 1; }
printf 'quit\n' >&"$control"
for ((i = 0; i < 100; i++)); do
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.05
done
wait "$sim_pid" || true

size=$(stat -c %s "$image")
frames=$(grep -c '^event frame .* ok$' "$work/radio.events" || true)
exact="byte-exact"
cmp -s -n "$size" "$work/flash.bin" "$image" || exact="DIFFERENT from the image"
windows=$(sed -n 's/^| update, paced at 9600 baud |.*ratio \([0-9.-]*\).*/\1/p' "$here/../docs/benchmarks.md")

echo "q42flash, update of $size bytes at $baud baud: $frames frames sent, the radio's flash is $exact"
awk -v frames="$frames" -v baud="$baud" -v windows="${windows:-not recorded}" -v cpu="$(cat "$work/cpu.txt")" '
    / Sending new Q42 firmware\.\.\.$/ { start = $1 }
    / Repeat programming if required\.$/ { end = $1 }
    END {
        s = end - start
        wire = frames * 1032 * 10 / baud
        printf "  whole write: %.2f s, %.1f ms per frame\n", s, s * 1000 / frames
        printf "  wire limit: %.2f s (%d x 1032 bytes x 10 bits)\n", wire, frames
        printf "  ratio to the wire limit: %.4f (the Windows program under Wine: %s)\n", s / wire, windows
        split(cpu, t, " ")
        printf "  processor time of q42flash: %.2f s user + %.2f s system (AddressSanitizer build)\n", t[1], t[2]
    }' "$work/flash.out"
