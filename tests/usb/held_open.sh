#!/usr/bin/env bash
# The converter held open by another program in the guest (a plain cat, as a terminal
# program would): q42flash ends with exit status 4, naming it, and sends nothing; whether the
# port is named as /dev/ttyUSB0 or by its by-id name.
# shellcheck source=tests/usb/lib.sh
source "$(dirname "$0")/lib.sh"
readonly by_id=/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_Q42B00-if00-port0

cat >guest.sh <<GUEST
. /bench/guest-lib.sh
cat /dev/ttyUSB0 >/dev/null &
echo \$! >/out/holder.pid
sleep 0.5
flash name --port /dev/ttyUSB0 --image small.bin --yes --wait 5
flash by-id --port $by_id --image small.bin --yes --wait 5
kill \$(cat /out/holder.pid)
GUEST
guest_boot 1 60 small.bin
# A radio that reports every byte it receives.
radio_start radio --device "${usb_ptys[0]}" --mode app
guest_end 90
radio_stop radio
holder=$(cat out/holder.pid)
for run in name by-id; do
    begin "the converter held open by cat, the port given by its $run"
    port=/dev/ttyUSB0
    [ "$run" = name ] || port=$by_id
    expect_out_code "$run" 4
    expect_out_err "$run" "$port is in use by another program: cat (pid $holder); end it, then try again"
done
expect_received_nothing radio
end_checks "usb held_open"
