#!/usr/bin/env bash
# The programs that take a converter or its port, staged in the guest: the converter's
# interface taken from ftdi_sio through usbfs by a program named brltty, and its port held by
# one named ModemManager. --check names each with what to do (exit status 4), and an update
# on the port names the cause instead of "no such file", as does one listening on the port
# when brltty takes the converter away from it.
# shellcheck source=tests/usb/lib.sh
source "$(dirname "$0")/lib.sh"
: "${Q42_USB_CLAIM:?}"
cp "$Q42_USB_CLAIM" brltty

cat >guest.sh <<'GUEST'
. /bench/guest-lib.sh
flash clear --check
# A script's process bears the script's name; its sleeps do not hold the port.
printf '#!/bin/sh\nexec 3</dev/ttyUSB0\nwhile :; do sleep 1 3<&-; done\n' >/bench/ModemManager
chmod +x /bench/ModemManager /bench/brltty
/bench/ModemManager &
echo $! >/out/modem.pid
sleep 0.5
flash modem --check
kill "$(cat /out/modem.pid)"
sleep 0.5
flash_start listening --port /dev/ttyUSB0 --image small.bin --yes --wait 10
sleep 1
usb=$(cd -P /sys/class/tty/ttyUSB0/device && cd ../.. && pwd -P)
/bench/brltty "$(printf /dev/bus/usb/%03d/%03d "$(cat "$usb/busnum")" "$(cat "$usb/devnum")")" >/out/brltty.out &
echo $! >/out/brltty.pid
flash_wait
i=0
while [ -e /dev/ttyUSB0 ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
flash claimed --check
flash listed --list-ports
flash update --port /dev/ttyUSB0 --image small.bin --yes --wait 2
kill "$(cat /out/brltty.pid)"
GUEST
guest_boot 1 60 small.bin brltty
guest_end 90
readonly converter="an FTDI FT232R converter (0403:6001, serial Q42B00)"
lines() { cut -d' ' -f2- "out/$1.lines" 2>/dev/null; }
expect_line() { lines "$1" | grep -qF -- "$2" || fail "$1: no line \"$2\" in: $(lines "$1")"; }

begin "nothing in the way"
expect_out_code clear 0
expect_line clear "/dev/ttyUSB0 on $converter: ready"

begin "the port held by a program named ModemManager"
modem=$(cat out/modem.pid)
expect_out_code modem 4
expect_line modem "ModemManager (pid $modem) has it open, probing it for a modem"
expect_line modem "ID_MM_DEVICE_IGNORE=1"

begin "the converter claimed through usbfs by a program named brltty"
brltty=$(cat out/brltty.pid)
grep -qx claimed out/brltty.out || fail "the stand-in did not claim the converter: $(cat out/brltty.out)"
expect_out_code claimed 4
expect_line claimed "$converter, without a port"
expect_line claimed "brltty (pid $brltty) has claimed it; \`sudo apt remove brltty\`"
expect_line listed "$converter, without a port: brltty (pid $brltty) has claimed it"
expect_out_code update 4
expect_out_err listening "/dev/ttyUSB0 is missing: $converter is plugged in, but brltty (pid $brltty) has claimed it"
expect_out_err update "/dev/ttyUSB0 is missing: $converter is plugged in, but brltty (pid $brltty) has claimed it"
end_checks "usb takers"
