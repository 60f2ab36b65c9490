#!/usr/bin/env bash
# --repeat --count 2 with the converter pulled out and plugged in again between the two
# radios: q42flash lets go of the port, waits for its name and writes the second radio.
# Under the same name (/dev/ttyUSB0), and under another: given by its by-id name, the
# converter comes back as ttyUSB1, another converter having taken ttyUSB0 meanwhile, and
# the radio on that other converter is sent nothing. Short image (9 frames), unpaced.
# shellcheck source=tests/usb/lib.sh
source "$(dirname "$0")/lib.sh"
readonly by_id=/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_Q42B00-if00-port0

cat >guest.sh <<GUEST
. /bench/guest-lib.sh
flash same --port /dev/ttyUSB0 --image small.bin --yes --repeat --count 2 --record /out/same.jsonl
flash other --port $by_id --image small.bin --yes --repeat --count 2 --record /out/other.jsonl
readlink $by_id >/out/other.link
dmesg >/out/dmesg.txt
GUEST

# second_radio RUN: once q42flash asks for the next radio again (the port back), the first
# radio's flash is kept and a blank one switched on.
second_radio() {
    guest_wait '^Connect the next radio and switch it on$' 30 "$1"
    radio_send r0 "save first-$2.flash"
    radio_send r0 erase
    sim_wait '^event erased' 5 r0.events
    radio_send r0 on
}

guest_boot 2 120 small.bin
radio_start r0 --device "${usb_ptys[0]}" --image small.bin
radio_start r1 --device "${usb_ptys[1]}" --mode app

begin "--repeat, the converter back under the same name"
guest_wait '^Switch on Q42$' 60
radio_send r0 on
guest_wait '^Connect the next radio and switch it on$' 30
unplug 0
sleep 1
plug 0
second_radio 2 same
guest_wait '^bench: same ended' 30

begin "--repeat by the by-id name, the converter back as ttyUSB1"
guest_wait '^Switch on Q42$' 30 2
radio_send r0 erase
radio_send r0 on
guest_wait '^Connect the next radio and switch it on$' 30 3
unplug 0
# q42flash has let go of ttyUSB0 before the other converter is plugged in again.
sleep 1
unplug 1
plug 1
# The other converter is given ttyUSB0 before this one comes back.
sleep 1.5
plug 0
second_radio 4 other
guest_end 90
radio_stop r0
radio_stop r1

for run in same other; do
    begin "--repeat, the converter back: $run"
    expect_out_code "$run" 0
    port=/dev/ttyUSB0
    [ "$run" = same ] || port=$by_id
    expect_out_err "$run" "$port has gone: its USB converter was unplugged, or lost its power"
    expect_out_err "$run" "waiting for $port to come back (Ctrl-C stops)"
    expect_out_err "$run" "$port is back; listening on it again"
    cmp -s -n "$(stat -c %s small.bin)" "first-$run.flash" small.bin || fail "the first radio's flash differs from the image"
    [ "$(grep -c '"result":"written"' "out/$run.jsonl")" = 2 ] || fail "record: $(cat "out/$run.jsonl")"
done
# The last radio written is the second of the by-id run.
cmp -s -n "$(stat -c %s small.bin)" r0.flash small.bin || fail "the second radio's flash differs from the image"
[ "$(cat out/other.link)" = ../../ttyUSB1 ] || fail "the converter came back as $(cat out/other.link), not as ttyUSB1"
expect_received_nothing r1
end_checks "usb repeat_replug"
