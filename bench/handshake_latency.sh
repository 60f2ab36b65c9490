#!/usr/bin/env bash
# Latency from the greeting's carriage return reaching the program to the programming
# command reaching the radio, over repeated handshakes; the radio stamps both events.
#   bench/handshake_latency.sh BUILD_DIR [COUNT]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/build-env.sh
source "$here/../tests/e2e/build-env.sh" "$1"
count=${2:-20}
export E2E_ROOT=$Q42_BUILD/bench
# shellcheck source=tests/e2e/lib.sh
source "$here/../tests/e2e/lib.sh"
e2e_begin

e2e_case handshake >/dev/null
sim_start radio 1 --image "$Q42_IMAGE"
app_start
for ((i = 1; i <= count; i++)); do
    # Each showing of the window starts the handshake afresh; the radio is switched off
    # and on again for a new greeting.
    update_open
    sim_send radio off
    sim_send radio on
    sim_wait_count radio '^event command ' "$i" 10
    ui close "$UPDATE"
    ui wait-gone "$UPDATE" 10000 || e2e_fail "the update window did not close"
done
# Pairs each command with the greeting before it.
awk '/^event greeting / { sub("t_ms=", "", $3); greeting = $3 }
     /^event command /  { sub("t_ms=", "", $3); print $3 - greeting }' "$E2E_WORK/radio.events" |
    sort -n | awk -v n="$count" '{ v[NR] = $1 } END {
        printf "greeting CR -> programming command over %d handshakes under Wine:\n", NR
        printf "  median %s ms, worst %s ms (best %s ms)\n", (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2), v[NR], v[1]
        printf "  (under Wine the hand-off from the event thread and each pass of the message loop are\n   wineserver round trips; on Windows they cost about a microsecond)\n"
    }'
e2e_case_end
