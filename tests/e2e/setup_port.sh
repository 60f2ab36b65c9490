#!/usr/bin/env bash
# The port setup window: it shows the saved port, every choice reopens the port at once
# (a missing port is reported and the next choice still works), and the last choice is
# what RADIO.INI holds after the program ends.
source "$(dirname "$0")/lib.sh"
e2e_begin

e2e_case setup_port
e2e_ini "[Setup]" "CommsPort=2"
sim_start com3 3 --mode app
sim_start com5 5 --mode app
app_start
ui menu "$MAIN" IDM_SETUP
ui wait-window "$SETUP" 5000 || e2e_fail "the setup window did not open"
[ "$(setup_checked_port)" = COM3 ] || e2e_fail "setup shows [$(setup_checked_port)], expected COM3"

e2e_step "choose COM7, where no cable leads"
ui click "$SETUP" COM7
message=$(ui msgbox 10000) || e2e_fail "no message for COM7"
[ "$message" = "The selected port COM7 is not available, please choose another if possible or free this port if it is in use by another application." ] ||
    e2e_fail "message for COM7: [$message]"

e2e_step "choose COM5: the port switches at once"
ui click "$SETUP" COM5
if message=$(ui msgbox 1000 2>/dev/null); then e2e_fail "unexpected message: $message"; fi
[ "$(setup_checked_port)" = COM5 ] || e2e_fail "setup shows [$(setup_checked_port)] after choosing COM5"
sim_send com3 "status 5"
sleep 1
ui_expect "label with the old port talking" "Device Offline" text "$MAIN" "Static^Device"
sim_send com5 "status 5"
ui wait-text "$MAIN" "Static^Device" "Device Online" 5000 || e2e_fail "no status through COM5"

ui click "$SETUP" OK
ui wait-gone "$SETUP" 5000 || e2e_fail "OK did not close the setup window"
e2e_step "reopening shows the choice and does not reopen the port"
ui menu "$MAIN" IDM_SETUP
ui wait-window "$SETUP" 5000 || e2e_fail "the setup window did not open again"
if message=$(ui msgbox 1000 2>/dev/null); then e2e_fail "unexpected message: $message"; fi
[ "$(setup_checked_port)" = COM5 ] || e2e_fail "setup shows [$(setup_checked_port)] on reopening"
ui close "$SETUP"
ui wait-gone "$SETUP" 5000 || e2e_fail "the setup window did not close"
app_stop
[ "$(e2e_saved_port)" = 4 ] || e2e_fail "saved port: expected 4, saw $(e2e_saved_port)"
e2e_case_end
echo "PASS"
