#!/usr/bin/env bash
# The converter pulled out during a write (device_del while the radio's answer to frame 3 is
# awaited, at 9600 baud). One radio: q42flash says the converter has gone, naming the port,
# ends that radio within 3 s of the node going with the write-failed exit status, uses
# under a tenth of a core meanwhile, and its record line says "write failed" after the three
# frames answered. Then, in the same guest, --all on three converters with the middle one
# pulled out: the other two go on and are byte-exact, and the one pulled out, plugged in
# again while they still write, gets its old name back (q42flash has let go of its node).
# Short images: 9 frames (about 10 s) for the one radio, 12 for the three.
# shellcheck source=tests/usb/lib.sh
source "$(dirname "$0")/lib.sh"
head -c 12288 image.bin >mid.bin

cat >guest.sh <<'GUEST'
. /bench/guest-lib.sh
flash_start one --port /dev/ttyUSB0 --image small.bin --yes --wait 30 --record /out/one.jsonl
pid=$(flash_pid)
wait_gone /dev/ttyUSB0 60 || echo "bench: the converter was not pulled out"
gone=$(uptime_ms)
# Its answer is awaited for up to 3 s from the frame's send: look at its processor time
# within that wait, after the node has gone.
sleep 0.1
before=$(cpu_ms "$pid")
sleep 1.5
after=$(cpu_ms "$pid")
flash_wait
echo "$(($(uptime_ms) - gone)) $((after - before))" >/out/one.gone

i=0
while [ ! -e /dev/ttyUSB0 ] && [ $i -lt 200 ]; do
    sleep 0.05
    i=$((i + 1))
done
echo "bench: ttyUSB0 is back"
flash_start all --port /dev/ttyUSB1 --port /dev/ttyUSB2 --port /dev/ttyUSB3 --all --image mid.bin --yes \
    --wait 30 --record /out/all.jsonl
wait_gone /dev/ttyUSB2 60 || echo "bench: the converter was not pulled out"
by_id=/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_Q42B02-if00-port0
i=0
while [ ! -e $by_id ] && [ $i -lt 600 ]; do
    sleep 0.05
    i=$((i + 1))
done
echo "$(readlink $by_id) $(pidof q42flash >/dev/null && echo while-running || echo after-the-run)" >/out/all.back
flash_wait
GUEST

guest_boot 4 150 small.bin mid.bin
radio_start r0 --device "${usb_ptys[0]}" --image small.bin --baud 9600
for i in 1 2 3; do radio_start "r$i" --device "${usb_ptys[i]}" --image mid.bin --baud 9600; done

begin "one radio, its converter pulled out during the write"
guest_wait '^Switch on Q42$' 60
radio_send r0 on
sim_wait '^event ack block=2 ' 30 r0.events
sleep 0.3
unplug 0
guest_wait '^bench: one ended' 30
plug 0

begin "--all on three converters, the middle one pulled out during the write"
guest_wait '^bench: ttyUSB0 is back$' 30
guest_wait '^Switch on Q42$' 30 2
for i in 1 2 3; do radio_send "r$i" on; done
sim_wait '^event ack block=2 ' 30 r2.events
sleep 0.3
unplug 2
guest_wait '^/dev/ttyUSB2: Program write failed - please repeat$' 30
plug 2
guest_end 150
for i in 0 1 2 3; do radio_stop "r$i"; done

begin "one radio, its converter pulled out during the write"
expect_out_code one 1
expect_out_err one "/dev/ttyUSB0 has gone: its USB converter was unplugged, or lost its power"
[ "$(tail -n 1 out/one.lines | cut -d' ' -f2-)" = "Program write failed - please repeat" ] ||
    fail "last line: $(tail -n 1 out/one.lines)"
read -r ended_ms cpu_ms <out/one.gone
echo "ended ${ended_ms} ms after the converter's node went; ${cpu_ms} ms of processor time in 1.5 s of that wait"
((ended_ms <= 3000)) || fail "ended ${ended_ms} ms after the node went"
((cpu_ms < 150)) || fail "${cpu_ms} ms of processor time in 1.5 s: q42flash is spinning"
grep -q '"port":"/dev/ttyUSB0",.*"result":"write failed","frames":3,"bytes":3072,.*"exit_code":1}$' out/one.jsonl ||
    fail "record: $(cat out/one.jsonl)"

begin "--all on three converters, the middle one pulled out during the write"
expect_out_code all 1
expect_out_err all "/dev/ttyUSB2 has gone: its USB converter was unplugged, or lost its power"
expect_flash mid.bin r1.events r1.flash
expect_flash mid.bin r3.events r3.flash
[ "$(grep -o '"port":"[^"]*",.*"result":"[a-z ]*"' out/all.jsonl | sed 's/,.*"result"/ /' | sort | paste -sd' ')" = \
    '"port":"/dev/ttyUSB1" :"written" "port":"/dev/ttyUSB2" :"write failed" "port":"/dev/ttyUSB3" :"written"' ] ||
    fail "record: $(cat out/all.jsonl)"
[ "$(cat out/all.back)" = "../../ttyUSB2 while-running" ] ||
    fail "the converter plugged in again: $(cat out/all.back) (ttyUSB2 while q42flash runs, expected)"
end_checks "usb pulled"
