#!/usr/bin/env bash
# The FTDI latency timer and q42flash, through an emulated converter in the USB bench's guest
# (rig/usb-bench): the same write, the image's first 20 KiB at 9600 baud, with the converter's latency_timer
# at 16 ms (a real FT232's default) and at 1 ms (what ASYNC_LOW_LATENCY asks of ftdi_sio),
# each timed from "Sending new Q42 firmware..." to its last line; and what the emulated device
# reported before either was set. Nothing is asserted.
#   bench/usb_latency.sh BUILD_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=bench/flash-env.sh
source "$here/flash-env.sh" "$1" usb_latency
Q42_BUILD=$build
# shellcheck source=rig/usb-bench
source "$here/../rig/usb-bench"
# shellcheck source=tests/lib/radios.sh
source "$here/../tests/lib/radios.sh"
cd "$work"
head -c 20480 "$image" >part.bin
finish() {
    [ -z "${radio_pid[radio]:-}" ] || kill "${radio_pid[radio]}" 2>/dev/null || true
    usb_cleanup
}
trap finish EXIT

cat >guest.sh <<'GUEST'
. /bench/guest-lib.sh
timer=/sys/bus/usb-serial/devices/ttyUSB0/latency_timer
echo "as found: $(cat $timer)" >/out/timer
for ms in 16 1; do
    echo "$ms" >$timer
    flash "latency$ms" --port /dev/ttyUSB0 --image part.bin --yes --wait 30
    echo "after the $ms ms run: $(cat $timer)" >>/out/timer
done
GUEST
usb_boot "$work" 1 200 guest.sh "$here/../tests/usb/guest-lib.sh" part.bin
radio_start radio --device "${usb_ptys[0]}" --image part.bin --baud 9600
for run in 1 2; do
    usb_wait_console '^Switch on Q42$' 60 "$run"
    radio_send radio erase
    radio_send radio on
done
usb_end 230
radio_stop radio

frames=$(image_blocks part.bin | wc -l)
echo "q42flash through an emulated FTDI converter, $frames frames at 9600 baud (wire limit" \
    "$(awk -v f="$frames" 'BEGIN { printf "%.2f", f * 1032 * 10 / 9600 }') s):"
for ms in 16 1; do
    awk -v ms="$ms" -v frames="$frames" '
        / Sending new Q42 firmware\.\.\.$/ { start = $1 }
        / Repeat programming if required\.$/ { end = $1 }
        END { printf "  latency_timer %2d ms: %.2f s, %.1f ms per frame\n", ms, (end - start) / 1000, (end - start) / frames }' \
        "out/latency$ms.lines"
done
sed 's/^/  latency_timer /' out/timer
