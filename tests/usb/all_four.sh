#!/usr/bin/env bash
# --all across four converters at 9600 baud, the radio on the second refusing frame 7: three
# radios byte-exact, one failed after frame 7, exit status 1, four record lines. The short
# image (9 frames) keeps the four writes to about 10 s.
# shellcheck source=tests/usb/lib.sh
source "$(dirname "$0")/lib.sh"

cat >guest.sh <<'GUEST'
. /bench/guest-lib.sh
flash all --port /dev/ttyUSB0 --port /dev/ttyUSB1 --port /dev/ttyUSB2 --port /dev/ttyUSB3 --all \
    --image small.bin --yes --wait 30 --record /out/record.jsonl
GUEST
begin "--all across four converters, one radio refusing frame 7"
guest_boot 4 120 small.bin
for i in 0 1 2 3; do
    fault=()
    [ "$i" != 1 ] || fault=(--fault nack=7)
    radio_start "r$i" --device "${usb_ptys[i]}" --image small.bin --baud 9600 "${fault[@]}"
done
guest_wait '^Switch on Q42$' 60
for i in 0 1 2 3; do radio_send "r$i" on; done
guest_end 150
for i in 0 1 2 3; do radio_stop "r$i"; done
expect_out_code all 1
for i in 0 2 3; do expect_flash small.bin "r$i.events" "r$i.flash"; done
[ "$(sed -n 's/^event ack block=\([0-9]*\) value=\([0-9]*\)$/\1:\2/p' r1.events | paste -sd' ')" = "0:13 1:13 2:13 3:13 4:13 5:13 6:13 7:21" ] ||
    fail "r1's frames were not refused at frame 7 alone: $(grep '^event ack' r1.events | paste -sd' ')"
[ "$(grep -o '"port":"[^"]*",.*"result":"[a-z ]*","frames":[0-9]*' out/record.jsonl | sed 's/,.*"result"/ /' | sort | paste -sd' ')" = \
    '"port":"/dev/ttyUSB0" :"written","frames":9 "port":"/dev/ttyUSB1" :"write failed","frames":7 "port":"/dev/ttyUSB2" :"written","frames":9 "port":"/dev/ttyUSB3" :"written","frames":9' ] ||
    fail "record: $(cat out/record.jsonl)"
grep -Eq '^/dev/ttyUSB1 +V2.041 +V2.041 +write failed ' out/all.err || fail "no failed row for ttyUSB1: $(cat out/all.err)"
# Side by side, not one after the other (about 40 s).
awk '{ t[NR] = $1 } END { printf "four radios at once: %.1f s from the first line to the last\n", (t[NR] - t[1]) / 1000 }' out/all.lines
end_checks "usb all_four"
