// The serial ports present on the PC, as the setup window lists them: the devices of the
// Ports class merged with the registry's map of serial devices, which also holds ports
// that no Plug and Play device stands behind. Plain C++: the Windows side only gathers
// the answers.
#pragma once

#include <string>
#include <vector>

#include "core/serial_check.h"

// A present device of the Ports class: the PortName of its device key and its friendly
// name, each empty where the device has none.
struct PortDevice {
    std::string port_name;
    std::string friendly_name;
};

// A row of the list: a port, or one of the two greyed rows of a converter without one.
struct ListedPort {
    unsigned number;   // COM<number>, 1 to 256; 0 on a converter's rows
    std::string text;  // what the list shows
    // What choosing a converter's row says instead of opening a port; "" on a port's.
    std::string explains = "";
};

// n for a name "COM<n>" (any case, no leading zero) with n from 1 to 256, which is as far
// as the program's port setting reaches; 0 for any other name (LPT1, COM0, COM257).
unsigned ComPortNumber(const std::string& name);

// Each port that either source names, once, sorted by number. A device's friendly name is
// shown as Windows gives it ("USB Serial Port (COM23)"), with the port's name added where
// it does not already say it; a port without one shows its name alone ("COM23").
std::vector<ListedPort> ListPresentPorts(const std::vector<PortDevice>& devices,
                                         const std::vector<std::string>& serial_map);

// The ports, then each USB converter plugged in that has no COM port: greyed, on a row of its
// own with the reason on the row below, so that the user learns why the cable's port is
// not among them. Devices that are no converter, and converters with a port, add nothing.
std::vector<ListedPort> ListWithPortlessConverters(std::vector<ListedPort> ports,
                                                   const std::vector<UsbDeviceAnswer>& usb_devices);

// The place of COM<number> in the list, or -1.
int PlaceOfPort(const std::vector<ListedPort>& ports, unsigned number);
