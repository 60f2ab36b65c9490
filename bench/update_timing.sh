#!/usr/bin/env bash
# Times one whole update of the packed image, from "Update now" to the last closing line.
#   bench/update_timing.sh BUILD_DIR [BAUD]
# With BAUD the simulated cable is paced as a real one, and the time is set against the
# wire limit of the frames really sent: each 1031-byte frame and its 1-byte acknowledgement
# take 1032 x 10 bits at BAUD (8N1). Without it, the time per frame is the program's own.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/e2e/build-env.sh
source "$here/../tests/e2e/build-env.sh" "$1"
baud=${2:-}
export E2E_ROOT=$Q42_BUILD/bench
# shellcheck source=tests/e2e/lib.sh
source "$here/../tests/e2e/lib.sh"
e2e_begin

e2e_case "update${baud:+_$baud}" >/dev/null
sim_start radio 1 --image "$Q42_IMAGE" ${baud:+--baud "$baud"}
app_start
update_open
update_handshake radio
ui click "$UPDATE" "Update now"
start=$(date +%s%N)
ui wait-text "$UPDATE" Edit "Repeat programming if required." 900000 || e2e_fail "the write did not complete"
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
frames=$(sent_blocks "$E2E_WORK/radio.events" | wc -l)
size=$(stat -c %s "$Q42_IMAGE")

echo "update of $size bytes: $frames frames sent"
awk -v ms="$elapsed_ms" -v frames="$frames" -v baud="$baud" 'BEGIN {
    printf "  whole update: %.2f s, %.1f ms per frame\n", ms / 1000, ms / frames
    if (baud != "") {
        wire = frames * 1032 * 10 / baud
        printf "  wire limit at %d baud: %.2f s (%d x 1032 bytes x 10 bits)\n", baud, wire, frames
        printf "  ratio to the wire limit: %.3f\n", ms / 1000 / wire
    }
    printf "  (under Wine one pass of the message loop is a wineserver round trip, on Windows\n"
    printf "   about a microsecond; a frame is built with 1024 passes, not overlapped with the wire)\n"
    if (baud == "")
        printf "  here a pass of the loop costs at most %.3f ms (the time of a frame / 1024)\n", ms / frames / 1024
}'
ui close "$UPDATE"
ui wait-gone "$UPDATE" 5000 || e2e_fail "the update window did not close"
e2e_case_end
