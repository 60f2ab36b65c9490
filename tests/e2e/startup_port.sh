#!/usr/bin/env bash
# Start-up and the settings file: which COM port the program opens, what it says when the
# port is missing, and what it saves when its main window is closed; the settings file also in
# a folder named outside the ANSI code page.
source "$(dirname "$0")/lib.sh"
e2e_begin

PORT_MESSAGE_END="is not available, please choose another if possible or free this port if it is in use by another application."

# A radio's status packet can only reach the label through the port the program opened.
expect_port_open() {
    sim_send "$1" "status 5"
    ui wait-text "$MAIN" "Static^Device" "Device Online" 5000 || e2e_fail "no status came through $1's port"
}

e2e_case startup_no_ini
sim_start com1 1 --mode app
app_start
if message=$(ui msgbox 1000 2>/dev/null); then e2e_fail "unexpected message box: $message"; fi
ui_expect "label at start" "Device Offline" text "$MAIN" "Static^Device"
expect_port_open com1
app_stop
[ "$(e2e_saved_port)" = 0 ] || e2e_fail "saved port: expected 0, saw $(e2e_saved_port)"
e2e_case_end

e2e_case "startup_comms_port_2_unicode_образ 固件"
e2e_ini "[Setup]" "CommsPort=2"
sim_start com1 1 --mode app
sim_start com3 3 --mode app
app_start
# The radio on COM1 speaks first; the label must not hear it.
sim_send com1 "status 5"
sleep 1
ui_expect "label with COM1 talking" "Device Offline" text "$MAIN" "Static^Device"
expect_port_open com3
app_stop
[ "$(e2e_saved_port)" = 2 ] || e2e_fail "saved port: expected 2, saw $(e2e_saved_port)"
e2e_case_end

# COM20 is not mapped to anything; COM5 is mapped, but no cable leads anywhere.
for case in "19 COM20" "4 COM5"; do
    set -- $case
    e2e_case "startup_missing_$2"
    e2e_ini "[Setup]" "CommsPort=$1"
    sim_start com1 1 --mode app
    app_launch
    message=$(ui msgbox 30000) || e2e_fail "no message box for the missing $2"
    [ "$message" = "The selected port $2 $PORT_MESSAGE_END" ] || e2e_fail "message for $2: [$message]"
    # The program carries on without a port.
    ui wait-window "$MAIN" 10000 || e2e_fail "the main window did not follow the message"
    sim_send com1 "status 5"
    sleep 1
    ui_expect "label without a port" "Device Offline" text "$MAIN" "Static^Device"
    app_stop
    [ "$(e2e_saved_port)" = "$1" ] || e2e_fail "saved port: expected $1, saw $(e2e_saved_port)"
    e2e_case_end
done
echo "PASS"
