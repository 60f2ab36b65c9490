#include "flash/win32/port_names.h"

#include <cctype>

namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";
constexpr size_t kDevicePrefixLength = sizeof kDevicePrefix - 1;

bool HasDevicePrefix(const std::string& name) { return name.compare(0, kDevicePrefixLength, kDevicePrefix) == 0; }

}  // namespace

std::string ComDevicePath(const std::string& name) { return HasDevicePrefix(name) ? name : kDevicePrefix + name; }

std::string ComIdentity(const std::string& name) {
    std::string identity = HasDevicePrefix(name) ? name.substr(kDevicePrefixLength) : name;
    for (char& c : identity) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return identity;
}
