// What Linux shows of the serial side: the USB converters plugged in (sysfs), the driver or
// the program that took each, the ports and who holds them (/proc), whether this user may
// open each node, and the known takers of converters running.
#pragma once

#include <sys/types.h>
#include <string>
#include <vector>

#include "core/serial_check.h"

// The user the check is for: who may open a node depends on these.
struct CheckingUser {
    uid_t uid = 0;
    std::vector<gid_t> groups;  // this login's groups, the primary one included
    pid_t self = 0;             // left out of the holders
};

// root is "/" on a running system; a test hands in a folder laid out like one.
SerialSideSeen SeeSerialSide(const std::string& root, const CheckingUser& user);
