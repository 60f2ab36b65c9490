#!/usr/bin/env bash
# The radio's status packets: a type-6 packet alone leaves "Device Offline"; the first
# type-5 packet turns it into "Device Online", and nothing turns it back.
source "$(dirname "$0")/lib.sh"
e2e_begin

e2e_case status_online
sim_start radio 1 --mode app
app_start
ui_expect "label at start" "Device Offline" text "$MAIN" "Static^Device"
sim_send radio "status 6"
sim_send radio "status 6"
sleep 1
ui_expect "label after type-6 packets" "Device Offline" text "$MAIN" "Static^Device"
sim_send radio "status 5"
ui wait-text "$MAIN" "Static^Device" "Device Online" 5000 || e2e_fail "type-5 packet not recognised"
e2e_case_end
echo "PASS"
