# shellcheck shell=bash
# What the USB bench's scenarios share: a fresh folder build/tests/usb/<case> with the image,
# the bench (rig/usb-bench), the simulated radios' helpers and checks (tests/lib/radios.sh),
# and an end that stops every radio and QEMU by id. The guest's half of a case is a script
# that sources /bench/guest-lib.sh.
# Inputs (set by CTest, or by hand): Q42_BUILD, Q42_SIM (q42sim), Q42_IMAGE (the sample image).
set -u
: "${Q42_BUILD:?}" "${Q42_SIM:?}" "${Q42_IMAGE:?}"
usb_tests=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=rig/usb-bench
source "$usb_tests/../../rig/usb-bench"
# shellcheck source=tests/lib/radios.sh
source "$usb_tests/../lib/radios.sh"

sim=$Q42_SIM
work=$Q42_BUILD/tests/usb/$(basename "$0" .sh)
rm -rf "$work"
mkdir -p "$work"
cd "$work" || exit 1
cp "$Q42_IMAGE" image.bin || exit 1
# Nine frames, about 10 s at 9600 baud: for the cases that need a write under way, not a
# whole one.
head -c 9000 image.bin >small.bin

usb_finish() {
    local status=$? name
    for name in "${!radio_pid[@]}"; do
        kill "${radio_pid[$name]}" 2>/dev/null && wait "${radio_pid[$name]}" 2>/dev/null
    done
    usb_cleanup
    if [ "$status" -ne 0 ]; then
        echo "case folder kept: $work (console.log, out/, *.events)" >&2
        [ -f console.log ] && { echo "== console.log (last lines)" >&2; tail -n 25 console.log >&2; }
    fi
    exit "$status"
}
trap usb_finish EXIT

# guest_boot CONVERTERS SECONDS FILE...: the guest with guest.sh (the case's own, written
# beside it) as its script, and the guest's helpers.
guest_boot() {
    local converters=$1 seconds=$2
    shift 2
    usb_boot "$work" "$converters" "$seconds" guest.sh "$usb_tests/guest-lib.sh" "$@" || {
        fail "the guest did not start"
        exit 1
    }
}

# guest_end SECONDS: the guest has powered off by itself and sent back its out/.
guest_end() { usb_end "$1" || fail "the guest did not end by itself, or sent nothing back"; }

# guest_wait REGEX SECONDS [COUNT]: a line the guest printed (COUNT of them); a case cannot
# go on without it.
guest_wait() {
    usb_wait_console "$@" && return 0
    fail "the guest did not print /$1/ within $2 s"
    exit 1
}

# unplug I, plug I: converter I pulled out, plugged in again; a case cannot go on without.
unplug() { usb_unplug "$1" || { fail "cannot pull converter $1 out"; exit 1; }; }
plug() { usb_plug "$1" || { fail "cannot plug converter $1 in"; exit 1; }; }

# out_code NAME: the exit status of the guest's q42flash run NAME.
out_code() { cat "out/$1.code" 2>/dev/null || echo none; }
expect_out_code() {
    [ "$(out_code "$1")" = "$2" ] || fail "$1: exit status $(out_code "$1"), expected $2; stderr: $(cat "out/$1.err" 2>/dev/null)"
}
expect_out_err() { grep -qF -- "$2" "out/$1.err" 2>/dev/null || fail "$1: stderr lacks \"$2\": $(cat "out/$1.err" 2>/dev/null)"; }
