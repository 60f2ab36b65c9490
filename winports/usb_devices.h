// Asks Windows for every present USB device, whatever its class: its hardware IDs, the
// service bound to it, its problem code and its COM port. A converter with no driver, or one
// its driver refused, is in no Ports class and has no COM port; here it is seen.
#pragma once

#include <vector>

#include "core/serial_check.h"

std::vector<UsbDeviceAnswer> ReadUsbDevices();
