// The check of a PC's serial side: what stands between the user and the radio's port, judged
// from what each system's part saw (the USB converters plugged in, the ports, the programs
// that take them), and said in one sentence each, with what to do.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A converter chip known by its USB numbers.
struct ConverterChip {
    uint16_t vendor;
    uint16_t product;
    const char* name;
};
// The chip of those numbers, or nullptr when it is not a known converter's.
const ConverterChip* FindConverterChip(uint16_t vendor, uint16_t product);
// The drivers that make a port of a converter (Linux's usb-serial and ACM drivers).
bool IsSerialDriver(const std::string& driver);

// A USB converter plugged in, as the system shows it.
struct ConverterSeen {
    uint16_t vendor = 0;
    uint16_t product = 0;
    std::string serial_number;  // "" when it has none
    std::string port;           // its port (/dev/ttyUSB0, COM3); "" when it has none
    std::string driver;         // the driver bound to it; "" when none is
    std::string claimed_by;     // the program that took it whole, "brltty (pid 812)"
    int problem_code = 0;       // the problem Windows' Device Manager shows for it, 0 none
};

// A port present, as the system shows it.
struct PortSeen {
    std::string port;
    std::string held_by;             // the programs that have it open, "ModemManager (pid 640)"
    bool may_open = true;            // whether this user may read and write it
    std::string denied_group;        // the group that may open it, when this user may not
    bool group_after_login = false;  // the user is in that group, but not in this login yet
};

struct SerialSideSeen {
    std::vector<ConverterSeen> converters;
    std::vector<PortSeen> ports;
    std::string brltty;         // "brltty (pid 812)" while it runs
    std::string modem_manager;  // "ModemManager (pid 640)" while it runs
};

// One present USB device as Windows' SetupAPI answers for it.
struct UsbDeviceAnswer {
    std::vector<std::string> hardware_ids;  // "USB\VID_067B&PID_2303&REV_0300", most exact first
    std::string service;                    // the driver's service bound to it; "" when none is
    std::string port;                       // its PortName, or its child's ("COM3"); "" when none
    int problem_code = 0;                   // CM_Get_DevNode_Status's, when DN_HAS_PROBLEM
};
// The converter such a device is; false when it is none (a known chip, or a serial driver's).
bool ConverterFromAnswer(const UsbDeviceAnswer& answer, ConverterSeen& converter);

// "a CH340 converter (1a86:7523, serial A1B2)".
std::string ConverterText(const ConverterSeen& converter);
// Why a converter has no port, with what to do; "" when it has one.
std::string ConverterTrouble(const ConverterSeen& converter, const SerialSideSeen& seen);
// What keeps this user from a port, with what to do; "" when nothing does.
std::string PortTrouble(const PortSeen& port);

// The check's lines: each converter and port, and under each what stands in its way.
// in_the_way says whether anything does.
std::vector<std::string> CheckLines(const SerialSideSeen& seen, bool& in_the_way);

// What the check found about a port that cannot be opened (missing, refused, busy, hung
// up): the trouble of that port, or of the converters without a port when it is missing;
// "" when it found nothing.
std::string PortCause(const SerialSideSeen& seen, const std::string& port, bool missing);
// What took a port that went just now: a program or another driver that claimed its
// converter; "" otherwise. A converter merely without a driver then is one being unplugged
// (its driver lets go before it goes) or one just plugged in, and is no cause.
std::string TakenCause(const SerialSideSeen& seen, const std::string& port);
