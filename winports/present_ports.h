// Asks Windows which serial ports this PC has: the present devices of the Ports class
// (SetupAPI) and the registry's map of serial devices, merged by core/com_port_list.
#pragma once

#include <vector>

#include "core/com_port_list.h"

std::vector<ListedPort> ReadPresentPorts();
