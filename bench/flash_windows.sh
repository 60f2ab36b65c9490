#!/usr/bin/env bash
# q42flash.exe (the shipped 32-bit build, under Wine) against the Linux q42flash, in one run:
# one radio alone and RADIOS at once with --all, each cable paced at BAUD with the whole
# image, the radios behind the rig's COM1 to COM<RADIOS>. Prints each run's time against
# the wire's own (frames x 1032 bytes x 10 bits / BAUD), Windows' against Linux's, and
# RADIOS at once against one; each flash is checked against the image.
#   bench/flash_windows.sh BUILD_DIR [BAUD] [RADIOS]      (default 9600 baud, 4 radios)
set -euo pipefail
baud=${2:-9600}
radios=${3:-4}
# shellcheck source=bench/flash-env.sh
source "$(dirname "$0")/flash-env.sh" "$1" flash_windows
export Q42_BUILD=$build
# shellcheck source=rig/wine-env
source "$(dirname "$0")/../rig/wine-env"
q42_prefix
if q42_wine_runs_32bit; then
    exe=$build/windows/flash/q42flash.exe
else
    echo "This kernel cannot run 32-bit programs: the 64-bit q42flash.exe runs instead." >&2
    exe=$build/windows64/flash/q42flash.exe
fi
[ -f "$exe" ] || { echo "$exe is missing; build first (make build)" >&2; exit 1; }
sim_pids=()
finish() {
    for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap finish EXIT

# batch linux|windows COUNT: that many radios on COM1..COUNT, switched on together, updated
# by one --all run; its record and the count of byte-exact flashes in $work/PROGRAM-COUNT.
batch() {
    local program=$1 count=$2 dir=$work/$1-$2 i ports=() controls=() fd
    mkdir -p "$dir"
    sim_pids=()
    for ((i = 1; i <= count; i++)); do
        mkfifo "$dir/radio$i.in"
        exec {fd}<>"$dir/radio$i.in"
        controls+=("$fd")
        "$sim" --link "$Q42_PORTS/com$i" --image "$image" --flash-out "$dir/radio$i.flash" --baud "$baud" \
            <"$dir/radio$i.in" >"$dir/radio$i.events" 2>&1 &
        sim_pids+=($!)
        if [ "$program" = linux ]; then ports+=(--port "$Q42_PORTS/com$i"); else ports+=(--port "COM$i"); fi
    done
    for ((i = 1; i <= count; i++)); do
        for ((j = 0; j < 100; j++)); do
            grep -q '^ready' "$dir/radio$i.events" && break
            sleep 0.05
        done
    done
    power_on_fds=("${controls[@]}")
    power_on_when_listening "$dir/flash.err" &
    if [ "$program" = linux ]; then
        timeout 900 "$flash" "${ports[@]}" --all --image "$image" --yes --record "$dir/record.jsonl" \
            >"$dir/flash.out" 2>"$dir/flash.err"
    else
        timeout -k 5 60 "$WINESERVER" </dev/null >/dev/null 2>&1 || true
        LD_PRELOAD=$Q42_SHIM timeout -k 5 900 "$WINE" "$exe" "${ports[@]}" --all --image "$image" --yes \
            --record "$dir/record.jsonl" >"$dir/flash.out" 2>"$dir/flash.err"
    fi || { echo "q42flash ($program) failed:" >&2; cat "$dir/flash.err" >&2; exit 1; }
    for pid in "${sim_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    sim_pids=()
    local size exact=0
    size=$(stat -c %s "$image")
    for ((i = 1; i <= count; i++)); do
        cmp -s -n "$size" "$dir/radio$i.flash" "$image" && exact=$((exact + 1))
    done
    echo "$exact" >"$dir/exact.txt"
    rm -f "$Q42_PORTS"/com*
}

for program in linux windows; do
    batch $program 1
    batch $program "$radios"
done

# The longest radio's time from its greeting to its last line, from the record.
longest() { grep -o '"seconds":[0-9.]*' "$work/$1/record.jsonl" | cut -d: -f2 | sort -n | tail -1; }
frames=$(grep -c '^event frame .* ok$' "$work/linux-1/radio1.events" || true)
echo "q42flash.exe (Wine) and q42flash (Linux), $(stat -c %s "$image") bytes ($frames frames) at $baud baud:"
awk -v frames="$frames" -v baud="$baud" -v n="$radios" \
    -v l1="$(longest linux-1)" -v ln="$(longest "linux-$radios")" \
    -v w1="$(longest windows-1)" -v wn="$(longest "windows-$radios")" \
    -v el1="$(cat "$work/linux-1/exact.txt")" -v eln="$(cat "$work/linux-$radios/exact.txt")" \
    -v ew1="$(cat "$work/windows-1/exact.txt")" -v ewn="$(cat "$work/windows-$radios/exact.txt")" '
    BEGIN {
        wire = frames * 1032 * 10 / baud
        printf "  wire: %.2f s\n", wire
        printf "  Linux,   1 radio:  %.2f s, %.4f x the wire, byte-exact %d of 1\n", l1, l1 / wire, el1
        printf "  Linux,   %d radios: %.2f s, %.4f x the wire, byte-exact %d of %d\n", n, ln, ln / wire, eln, n
        printf "  Windows, 1 radio:  %.2f s, %.4f x the wire, byte-exact %d of 1\n", w1, w1 / wire, ew1
        printf "  Windows, %d radios: %.2f s, %.4f x the wire, byte-exact %d of %d\n", n, wn, wn / wire, ewn, n
        printf "  Windows / Linux: %.4f (1 radio), %.4f (%d radios); Windows %d / 1: %.4f\n",
            w1 / l1, wn / ln, n, n, wn / w1
    }'
