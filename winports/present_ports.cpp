// Reading the Ports class and HKLM\HARDWARE\DEVICEMAP\SERIALCOMM. A source that cannot be
// read adds nothing: the list then shows what the other one gives.
#include "winports/present_ports.h"

#include <windows.h>
// clang-format off
#include <initguid.h>
#include <devguid.h>
// clang-format on
#include <setupapi.h>

#include <string>

#include "winports/setupapi_handles.h"
#include "winports/wide_text.h"

namespace {

// A registry string as stored, size in bytes: it need not end in a NUL, and may hold one
// before its end. Read wide, so that a name keeps every character Windows gives.
std::string StoredText(const wchar_t* data, DWORD size) {
    const std::wstring text(data, size / sizeof(wchar_t));
    return Utf8FromWide(text.substr(0, text.find(L'\0')));
}

std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    RegistryKey key(SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE));
    if (!key.Valid()) return std::string();
    wchar_t name[64];
    DWORD type = 0;
    DWORD size = sizeof name;
    if (RegQueryValueExW(key.Get(), L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::string();
    }
    return StoredText(name, size);
}

std::string FriendlyNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
    wchar_t name[512];
    DWORD type = 0;
    DWORD size = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, &type, reinterpret_cast<BYTE*>(name),
                                           sizeof name, &size) ||
        type != REG_SZ) {
        return std::string();
    }
    return StoredText(name, size);
}

std::vector<PortDevice> PortsClassDevices() {
    std::vector<PortDevice> devices;
    DeviceInfoSet set(SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT));
    if (!set.Valid()) return devices;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set.Get(), i, &device); ++i) {
        devices.push_back(PortDevice{PortNameOf(set.Get(), device), FriendlyNameOf(set.Get(), device)});
    }
    return devices;
}

std::vector<std::string> SerialMap() {
    std::vector<std::string> names;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &opened) !=
        ERROR_SUCCESS) {
        return names;
    }
    RegistryKey key(opened);
    for (DWORD i = 0;; ++i) {
        wchar_t value_name[256];
        DWORD name_size = 256;
        wchar_t data[64];
        DWORD data_size = sizeof data;
        DWORD type = 0;
        const LONG result = RegEnumValueW(key.Get(), i, value_name, &name_size, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &data_size);
        if (result == ERROR_NO_MORE_ITEMS) break;
        // A name or value too long for a port is no port; the next one may be.
        if (result != ERROR_SUCCESS || type != REG_SZ) continue;
        names.push_back(StoredText(data, data_size));
    }
    return names;
}

}  // namespace

std::vector<ListedPort> ReadPresentPorts() { return ListPresentPorts(PortsClassDevices(), SerialMap()); }
