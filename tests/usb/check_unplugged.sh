#!/usr/bin/env bash
# A converter pulled out while --check runs over and over (sysfs entries and the port going
# under the reader): every run ends with status 0 or 4, none crashes, and no run names a
# converter or a port that was never there; the runs after it has gone do not see it.
# shellcheck source=tests/usb/lib.sh
source "$(dirname "$0")/lib.sh"

cat >guest.sh <<'GUEST'
# Until 50 runs after the second converter's by-id link has gone.
# The first run is over before the host is told to pull the converter out, so it sees both.
q42flash --check >/out/check.0 2>&1
echo $? >>/out/codes
i=1
after=0
echo "bench: checking"
while [ $i -lt 2000 ] && [ $after -lt 50 ]; do
    q42flash --check >/out/check.$i 2>&1
    echo $? >>/out/codes
    [ -e /dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_Q42B01-if00-port0 ] || after=$((after + 1))
    i=$((i + 1))
done
echo $((i - 1)) >/out/last
GUEST
guest_boot 2 90
guest_wait '^bench: checking$' 60
unplug 1
guest_end 120
begin "the converter pulled out during the checks"
last=$(cat out/last)
[ "$(wc -l <out/codes)" -eq $((last + 1)) ] || fail "$(wc -l <out/codes) runs ended, $((last + 1)) started"
[ "$last" -lt 1999 ] || fail "the converter did not go"
odd=$(grep -cvx '[04]' out/codes)
[ "$odd" -eq 0 ] || fail "$odd runs ended otherwise than 0 or 4: $(sort out/codes | uniq -c)"
# The second converter is there in the first run and gone from the last one.
grep -q 'serial Q42B01' out/check.0 || fail "the first run did not see the second converter: $(cat out/check.0)"
! grep -q 'Q42B01\|ttyUSB1' "out/check.$last" || fail "the last run still saw it: $(cat "out/check.$last")"
# A converter half gone may have lost its serial number or its port, not its chip.
strange=$(cat out/check.* | grep -v 'Q42B0[01]\|(0403:6001\|/dev/ttyS[0-9]\|: ready$\|^  ' || true)
[ -z "$strange" ] || fail "lines of nothing plugged in: $strange"
end_checks "usb check_unplugged"
