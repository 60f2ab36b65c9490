#!/usr/bin/env bash
# The setup window's list of the ports this PC has, with the prefix mapping COM1, COM3 and
# COM23: the list shows exactly the ports Windows (here Wine) has, the one in use selected;
# a choice in the list reopens the port and the group follows (none above COM16); a port
# that arrives while the window is open appears; one that cannot be opened is named; and a
# whole update then runs through COM23.
source "$(dirname "$0")/lib.sh"
: "${Q42_IMAGE:?}"
e2e_begin
e2e_map_ports 1 3 23

# The ports the prefix has, as "COMn" lines by number: those the rig maps and any that Wine
# found on the machine itself (it gives /dev/ttyS0 the lowest number left free).
prefix_ports() {
    local link
    for link in "$WINEPREFIX"/dosdevices/com*; do
        [ -L "$link" ] && echo "${link##*/com}"
    done | sort -n | sed 's/^/COM/'
}

expect_no_message() {
    local message
    if message=$(ui msgbox 1000 2>/dev/null); then e2e_fail "unexpected message: $message"; fi
}

e2e_case setup_port_list
e2e_ini "[Setup]" "CommsPort=2"
sim_start loop3 3 --mode loopback
sim_start radio 23 --image "$Q42_IMAGE" --flash-out "$E2E_WORK/flash.bin"
app_start
expect_no_message
[ "$(find "$WINEPREFIX/dosdevices" -name 'com*' -lname "$Q42_PORTS/*" -printf '%f\n' | sort | tr '\n' ' ')" = "com1 com23 com3 " ] ||
    e2e_fail "the prefix does not map exactly COM1, COM3 and COM23"
echo "ports in the prefix: $(prefix_ports | tr '\n' ' ')"

ui menu "$MAIN" IDM_SETUP
ui wait-window "$SETUP" 5000 || e2e_fail "the setup window did not open"
ui_expect "the list" "$(prefix_ports)" items "$SETUP" ListBox
ui_expect "the port in use in the list" COM3 selected "$SETUP" ListBox
[ "$(setup_checked_port)" = COM3 ] || e2e_fail "the group shows [$(setup_checked_port)], expected COM3"
capture "$SETUP" setup-list >/dev/null
convert "$E2E_WORK/setup-list.bmp" "$E2E_WORK/setup-list.png"

e2e_step "choose COM23 in the list: it opens, the group shows no selection"
ui choose "$SETUP" ListBox COM23
setup_wait_selected COM23
expect_no_message
[ -z "$(setup_checked_port)" ] || e2e_fail "the group shows [$(setup_checked_port)] for COM23"

e2e_step "choose COM1 in the list, where no cable leads: the message names it"
ui choose "$SETUP" ListBox COM1
message=$(ui msgbox 10000) || e2e_fail "no message for COM1"
[ "$message" = "The selected port COM1 is not available, please choose another if possible or free this port if it is in use by another application." ] ||
    e2e_fail "message for COM1: [$message]"
expect_no_message
setup_wait_selected COM1
[ "$(setup_checked_port)" = COM1 ] || e2e_fail "the group shows [$(setup_checked_port)] for COM1"

e2e_step "choose COM3 in the group: the list follows"
ui click "$SETUP" COM3
setup_wait_selected COM3
expect_no_message

e2e_step "a port arrives while the window is open"
sim_start loop17 17 --mode loopback
q42_port_arrives 17
ui port-arrived COM17
for ((i = 0; i < 50; i++)); do
    ui items "$SETUP" ListBox | grep -qx COM17 && break
    sleep 0.1
done
ui_expect "the list after the arrival" "$(prefix_ports)" items "$SETUP" ListBox
prefix_ports | grep -qx COM17 || e2e_fail "COM17 is not in the prefix"
ui_expect "the port in use after the arrival" COM3 selected "$SETUP" ListBox

e2e_step "choose COM17, then COM23, in the list"
ui choose "$SETUP" ListBox COM17
setup_wait_selected COM17
expect_no_message
[ -z "$(setup_checked_port)" ] || e2e_fail "the group shows [$(setup_checked_port)] for COM17"
ui choose "$SETUP" ListBox COM23
setup_wait_selected COM23
expect_no_message
ui close "$SETUP"
ui wait-gone "$SETUP" 5000 || e2e_fail "the setup window did not close"

e2e_step "a whole update through COM23"
update_open
update_handshake radio
update_write_and_close
app_stop
[ "$(e2e_saved_port)" = 22 ] || e2e_fail "saved port: expected 22, saw $(e2e_saved_port)"
sim_stop radio
expect_flash "$E2E_WORK/flash.bin" "$Q42_IMAGE" "$E2E_WORK/radio.events"
e2e_case_end
echo "PASS"
