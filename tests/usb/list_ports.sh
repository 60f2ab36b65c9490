#!/usr/bin/env bash
# --list-ports in a guest with eight converters: each named as the kernel and the device say
# (driver ftdi_sio, 0403:6001, the maker, product and serial number the converter reports, its
# by-id name), and the two 16550 ports QEMU gives the guest; the two ttyS ports with no
# hardware behind them are left out. No radio is needed: listing opens nothing.
# shellcheck source=tests/usb/lib.sh
source "$(dirname "$0")/lib.sh"
converters=8

cat >guest.sh <<'GUEST'
. /bench/guest-lib.sh
flash list --list-ports
ls /sys/class/tty | grep -c '^ttyS' >/out/ttyS-count
GUEST
begin "--list-ports with $converters converters"
guest_boot "$converters" 60
guest_end 90
expect_out_code list 0
expected=("/dev/ttyS0  serial" "/dev/ttyS1  serial")
for ((i = 0; i < converters; i++)); do
    serial=${usb_serials[i]}
    expected+=("/dev/ttyUSB$i  ftdi_sio, USB 0403:6001, QEMU QEMU USB SERIAL, serial $serial, /dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_$serial-if00-port0")
done
listed=$(cut -d' ' -f2- out/list.lines)
[ "$listed" = "$(printf '%s\n' "${expected[@]}")" ] ||
    fail "listed [$listed], expected [$(printf '%s\n' "${expected[@]}")]"
# The kernel keeps four ttyS ports; the two without a UART must not be listed.
[ "$(cat out/ttyS-count)" = 4 ] || fail "the guest has $(cat out/ttyS-count) ttyS ports, not 4: the check above proves less"
end_checks "usb list_ports"
