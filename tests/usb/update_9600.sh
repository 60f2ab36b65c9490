#!/usr/bin/env bash
# A whole update through /dev/ttyUSB0 at 9600 baud, the whole sample image: the radio's flash
# byte for byte, and the write's time set against the wire limit of the frames sent (a
# 1031-byte frame and its 1-byte answer, 1032 x 10 bits each), printed.
# shellcheck source=tests/usb/lib.sh
source "$(dirname "$0")/lib.sh"

cat >guest.sh <<'GUEST'
. /bench/guest-lib.sh
flash update --port /dev/ttyUSB0 --image image.bin --yes --wait 30
GUEST
begin "a whole update through /dev/ttyUSB0 at 9600 baud"
guest_boot 1 200 image.bin
radio_start radio --device "${usb_ptys[0]}" --image image.bin --baud 9600
guest_wait '^Switch on Q42$' 60
radio_send radio on
guest_end 230
radio_stop radio
expect_out_code update 0
expect_flash image.bin radio.events radio.flash
frames=$(grep -c '^event frame .* ok$' radio.events)
awk -v frames="$frames" '
    / Sending new Q42 firmware\.\.\.$/ { start = $1 }
    / Repeat programming if required\.$/ { end = $1 }
    END {
        s = (end - start) / 1000
        wire = frames * 1032 * 10 / 9600
        printf "whole write through the emulated converter: %.2f s for %d frames; wire limit %.2f s; ratio %.4f\n", s, frames, wire, s / wire
    }' out/update.lines
end_checks "usb update_9600"
