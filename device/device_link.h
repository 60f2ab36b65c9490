// The device link: the one serial port Comm1, the program-wide port state and the routine
// through which the update sends to the radio. The main, setup, terminal and update windows
// all reach the port through here, so each builds without the others. User-interface
// thread only.
#pragma once

#include <cstdint>
#include <string>

#include "core/boot_link.h"
#include "serial/serial_comm.h"

// Program-wide state, zero at start.
extern uint8_t CommsPortIndex;  // zero-based: 0 is COM1
extern bool PortOpen;           // the last attempt to open the port succeeded
extern BootLink Link;           // the bootloader link and its shared state

// The program's only serial port, the main window's Comm1.
TComm& DeviceComm();

// Closes the port, opens COM<index + 1> with the settings the port already has, shows the
// message when it cannot be opened, and records the choice in PortOpen and CommsPortIndex.
// Only the port's own failure is caught; any other leaves both as they were.
void OpenDevicePort(uint8_t index);

// Hands count bytes to the port in one write while the port is open; else does nothing.
void SendToDevice(const uint8_t* data, uint16_t count);

// What the user reads when COM<port_number> cannot be opened.
std::string PortNotAvailableMessage(unsigned port_number);
