#!/usr/bin/env bash
# --port auto with four converters: a radio sending status packets, a looped-back cable, a
# silent radio and a bootloader switched on 2 s after q42flash began to listen. The
# bootloader's port is chosen and written; the other three are sent nothing (each reports
# every byte it receives), and neither are the guest's two 16550 ports, which --port auto
# listens on too (its console and the line its results go back on).
# The status packets begin once q42flash listens: what a radio sends to a converter whose
# port is closed waits behind QEMU's model and reaches the guest all at once when the port
# is opened (ftdi_sio resets a real converter's buffers then), where the kernel echoes it
# back before any program can set the port raw (docs/q42flash.md, The USB bench).
# shellcheck source=tests/usb/lib.sh
source "$(dirname "$0")/lib.sh"

cat >guest.sh <<'GUEST'
. /bench/guest-lib.sh
flash auto --port auto --image small.bin --yes --wait 30
GUEST
begin "--port auto: status packets, a loopback, a silent radio and a late bootloader"
guest_boot 4 90 small.bin
radio_start loopback --device "${usb_ptys[1]}" --mode loopback
radio_start boot --device "${usb_ptys[2]}" --image small.bin
radio_start silent --device "${usb_ptys[3]}" --mode app
guest_wait '^Switch on Q42$' 60
radio_start status --device "${usb_ptys[0]}" --mode app --status-period 100
sleep 2
radio_send boot on
guest_end 120
for radio in status loopback boot silent; do radio_stop "$radio"; done
expect_out_code auto 0
expect_out_err auto "waiting for the radio's greeting on /dev/ttyS0, /dev/ttyS1, /dev/ttyUSB0, /dev/ttyUSB1, /dev/ttyUSB2 and /dev/ttyUSB3"
expect_out_err auto "the radio greeted on /dev/ttyUSB2; the other ports were closed, nothing was sent on them"
expect_flash small.bin boot.events boot.flash
for radio in status loopback silent; do expect_received_nothing "$radio"; done
grep -q '^event status ' status.events || fail "the radio on /dev/ttyUSB0 sent no status packets"
end_checks "usb port_auto"
