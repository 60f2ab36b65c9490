// The serial ports present, as the system describes them, read without opening any: Linux
// from sysfs and /dev/serial/by-id, macOS (no sysfs) from the cu. devices in /dev.
#pragma once

#include <string>
#include <vector>

struct SerialPortInfo {
    std::string device;         // /dev/ttyUSB0
    std::string driver;         // ftdi_sio, cdc_acm, serial8250
    std::string usb_id;         // 0403:6001 when it is a USB device
    std::string maker;          // the USB device's manufacturer string
    std::string product;        // and its product string
    std::string serial_number;  // and its serial number
    std::string by_id;          // /dev/serial/by-id/... pointing at it
};

// root is "/" on a running system; a test hands in a folder laid out like one. Sorted by
// name, numbers by value (ttyUSB2 before ttyUSB10).
std::vector<SerialPortInfo> ListSerialPorts(const std::string& root);

// One line for --list-ports: the device path, then what is known of it.
std::string DescribePort(const SerialPortInfo& port);
