// Windows' names of serial ports, as q42flash takes and compares them. Plain C++.
#pragma once

#include <string>

// The path that opens a port named COMn (or already given as \\.\COMn): \\.\COMn, which
// reaches every port, COM10 to COM256 included, where the bare name reaches COM1 to COM9.
std::string ComDevicePath(const std::string& name);

// One port's one name, whichever way it was written: COM23 for com23 and \\.\COM23.
std::string ComIdentity(const std::string& name);
