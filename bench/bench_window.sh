#!/usr/bin/env bash
# The bench window under Wine in one program run: one radio alone, then RADIOS at once, each
# cable paced at BAUD with the whole image, behind COM1 to COM<RADIOS> (mapped while this
# runs). Prints the slowest of the RADIOS against the one (the goal: within 1.02 x) and how
# long the window takes to answer a message during their writes (the goal: worst under
# 100 ms); each flash is checked against the image.
#   bench/bench_window.sh BUILD_DIR [BAUD] [RADIOS]      (default 9600 baud, 32 radios)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/build-env.sh
source "$here/../tests/e2e/build-env.sh" "$1"
baud=${2:-9600}
radios=${3:-32}
export E2E_ROOT=$Q42_BUILD/bench
# shellcheck source=tests/e2e/lib.sh
source "$here/../tests/e2e/lib.sh"
e2e_begin
# shellcheck disable=SC2046
e2e_map_ports $(seq 1 "$radios")
e2e_case bench_window >/dev/null
e2e_ini "[Bench]" "Record=Z:${E2E_WORK//\//\\}\\record.jsonl"
record=$E2E_WORK/record.jsonl
frames=$(image_blocks "$Q42_IMAGE" | wc -l)
wire=$(awk -v f="$frames" -v b="$baud" 'BEGIN { printf "%.2f", f * 1032 * 10 / b }')
# Asked every 100 ms over about the wire's time of one write.
answers=$(awk -v w="$wire" 'BEGIN { printf "%d", w * 9 }')

for ((n = 1; n <= radios; n++)); do
    sim_start "r$n" "$n" --image "$Q42_IMAGE" --flash-out "$E2E_WORK/r$n.flash" --baud "$baud"
done
app_start
ui menu "$MAIN" IDM_BENCH
ui wait-window "$BENCH" 5000 || e2e_fail "the bench window did not open"
bench_find_rows
for ((n = 1; n <= radios; n++)); do [ -n "${bench_row[$n]:-}" ] || e2e_fail "the bench window has no row for COM$n"; done

# ticks FROM TO: those ports' tick boxes clicked, in one run of the UI driver.
ticks() {
    local n
    for ((n = $1; n <= $2; n++)); do echo "click \"$BENCH\" COM$n"; done | ui - ||
        e2e_fail "cannot tick the rows COM$1 to COM$2"
}
# Wine also maps the machine's own serial ports: their rows are left unticked.
for n in "${!bench_row[@]}"; do ((n <= radios)) || echo "click \"$BENCH\" COM$n"; done | ui - ||
    e2e_fail "cannot untick the machine's own ports"
record_lines() { if [ -f "$record" ]; then wc -l <"$record"; else echo 0; fi; }

# batch COUNT: a Start with that many radios switched on together once their rows listen;
# waits for their lines in the record.
batch() {
    local count=$1 n i lines
    lines=$(record_lines)
    ui click "$BENCH" Start
    for ((n = 1; n <= count; n++)); do
        ui wait-text "$BENCH" "Static!$((bench_row[$n] + 2))" "waiting for the radio's greeting" 30000 ||
            e2e_fail "COM$n's row did not listen: $(bench_states)"
    done
    for ((n = 1; n <= count; n++)); do sim_send "r$n" on; done
    if [ "$count" -gt 1 ]; then
        ui answer-times "$BENCH" "$answers" 100 >"$E2E_WORK/answers.txt" || e2e_fail "the window did not answer"
    fi
    for ((i = 0; i < 12000; i++)); do
        [ "$(record_lines)" -ge $((lines + count)) ] && break
        ((i < 11999)) || e2e_fail "the writes did not end: $(bench_states)"
        sleep 0.1
    done
    ui click "$BENCH" Stop
    ui wait-enabled "$BENCH" "Button!1405" 1 10000 || e2e_fail "Start was not enabled again after Stop"
    tail -n "$count" "$record" >"$E2E_WORK/batch-$count.jsonl"
    for ((n = 1; n <= count; n++)); do
        sim_save "r$n" "$E2E_WORK/r$n-$count.flash"
        sim_send "r$n" erase
    done
}

# Every row is ticked at first: the one radio's run has the others unticked.
ticks 2 "$radios"
batch 1
ticks 2 "$radios"
batch "$radios"
ui close "$BENCH"
ui wait-gone "$BENCH" 5000 || e2e_fail "the bench window did not close"
app_stop

size=$(stat -c %s "$Q42_IMAGE")
exact() {
    local n count=0
    for ((n = 1; n <= $1; n++)); do
        if cmp -s -n "$size" "$E2E_WORK/r$n-$1.flash" "$Q42_IMAGE"; then count=$((count + 1)); fi
    done
    echo "$count"
}
slowest() { grep -o '"seconds":[0-9.]*' "$E2E_WORK/batch-$1.jsonl" | cut -d: -f2 | sort -n | tail -1; }
written() { grep -c '"result":"written"' "$E2E_WORK/batch-$1.jsonl" || true; }
echo "The bench window (Wine), $size bytes ($frames frames) at $baud baud, wire $wire s a radio:"
awk -v n="$radios" -v wire="$wire" -v one="$(slowest 1)" -v many="$(slowest "$radios")" \
    -v w1="$(written 1)" -v wn="$(written "$radios")" -v e1="$(exact 1)" -v en="$(exact "$radios")" 'BEGIN {
    printf "  1 radio:   %.2f s, %.4f x the wire; written %d, byte-exact %d of 1\n", one, one / wire, w1, e1
    printf "  %d radios: slowest %.2f s, %.4f x the wire; written %d, byte-exact %d of %d\n", n, many, many / wire, wn, en, n
    printf "  slowest of %d / 1 radio: %.4f (goal: within 1.02)\n", n, many / one
}'
echo "  the window's answer to a message during the $radios writes: $(cat "$E2E_WORK/answers.txt") (goal: worst under 100 ms)"
e2e_case_end
