#!/usr/bin/env bash
# A user outside the ports' group (the nodes root:dialout 0660, as udev makes them):
# --check says so with the command that adds the user (exit 4), an update on the port names
# that cause instead of the bare "permission denied"; and a user added to the group after
# logging in is told that a new login is needed.
# shellcheck source=tests/usb/lib.sh
source "$(dirname "$0")/lib.sh"

cat >guest.sh <<'GUEST'
printf 'root:x:0:0::/:/bin/sh\nradio:x:1000:1000::/tmp:/bin/sh\n' >/etc/passwd
printf 'root:x:0:\ndialout:x:20:\nradio:x:1000:\n' >/etc/group
chgrp 20 /dev/ttyUSB0 /dev/ttyS0 /dev/ttyS1
chmod 660 /dev/ttyUSB0 /dev/ttyS0 /dev/ttyS1
su radio -c 'q42flash --check' >/out/outside.out 2>&1
echo $? >/out/outside.code
su radio -c 'q42flash --port /dev/ttyUSB0 --image /bench/small.bin --yes --wait 2' >/out/update.out 2>&1
echo $? >/out/update.code
# Logged in first, added to the group after.
su radio -c 'sleep 1; q42flash --check' >/out/later.out 2>&1 &
job=$!
sleep 0.3
printf 'root:x:0:\ndialout:x:20:radio\nradio:x:1000:\n' >/etc/group
wait $job
echo $? >/out/later.code
su radio -c 'q42flash --check' >/out/member.out 2>&1
echo $? >/out/member.code
GUEST
guest_boot 1 60 small.bin
guest_end 90
expect_code() { [ "$(cat "out/$1.code" 2>/dev/null)" = "$2" ] || fail "$1: exit status $(cat "out/$1.code" 2>/dev/null), expected $2: $(cat "out/$1.out")"; }
expect_text() { grep -qF -- "$2" "out/$1.out" || fail "$1: no \"$2\" in: $(cat "out/$1.out")"; }

begin "a user outside the port's group"
expect_code outside 4
expect_text outside "you are not in the group dialout that may open it: \`sudo usermod -aG dialout \$USER\`, then log out and in again"
expect_code update 4
expect_text update "/dev/ttyUSB0: you are not in the group dialout that may open it"

begin "added to the group after logging in"
expect_code later 4
expect_text later "you are in the group dialout that may open it, but not in this login: log out and in again"
expect_code member 0
expect_text member "/dev/ttyUSB0 on an FTDI FT232R converter (0403:6001, serial Q42B00): ready"
end_checks "usb outside_group"
