// SetupAPI over the USB enumerator's present devices, and the configuration manager for each
// one's status and its children's ports. A property that cannot be read is left empty.
#include "winports/usb_devices.h"

#include <windows.h>
// Both need windows.h before them.
#include <cfgmgr32.h>
#include <setupapi.h>

#include <string>

#include "winports/setupapi_handles.h"
#include "winports/wide_text.h"

namespace {

// A REG_SZ or REG_MULTI_SZ property as its strings.
std::vector<std::string> Property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
    wchar_t buffer[2048] = {};
    DWORD type = 0;
    // Two characters kept NUL: a stored list need not end in its two.
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type, reinterpret_cast<BYTE*>(buffer),
                                           sizeof buffer - 2 * sizeof(wchar_t), nullptr) ||
        (type != REG_SZ && type != REG_MULTI_SZ)) {
        return {};
    }
    std::vector<std::string> texts;
    for (const wchar_t* text = buffer; *text != L'\0'; text += wcslen(text) + 1) {
        texts.push_back(Utf8FromWide(text));
        if (type == REG_SZ) break;
    }
    return texts;
}

std::string PortNameOf(DEVINST node) {
    HKEY opened = nullptr;
    if (CM_Open_DevNode_Key(node, KEY_QUERY_VALUE, 0, RegDisposition_OpenExisting, &opened, CM_REGISTRY_HARDWARE) !=
        CR_SUCCESS) {
        return "";
    }
    const RegistryKey key(opened);
    wchar_t name[64] = {};
    DWORD type = 0;
    DWORD size = sizeof name - sizeof(wchar_t);
    if (RegQueryValueExW(key.Get(), L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(name), &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return "";
    }
    return Utf8FromWide(name);
}

// The device's own port (most converters' drivers), or its first child's (FTDI's bus driver
// makes the port a device of its own below the USB device).
std::string PortOf(DEVINST node) {
    std::string port = PortNameOf(node);
    DEVINST child = 0;
    for (CONFIGRET found = CM_Get_Child(&child, node, 0); port.empty() && found == CR_SUCCESS;
         found = CM_Get_Sibling(&child, child, 0)) {
        port = PortNameOf(child);
    }
    return port;
}

}  // namespace

std::vector<UsbDeviceAnswer> ReadUsbDevices() {
    std::vector<UsbDeviceAnswer> answers;
    const DeviceInfoSet set(SetupDiGetClassDevsW(nullptr, L"USB", nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES));
    if (!set.Valid()) return answers;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set.Get(), i, &device); ++i) {
        UsbDeviceAnswer answer;
        answer.hardware_ids = Property(set.Get(), device, SPDRP_HARDWAREID);
        const std::vector<std::string> service = Property(set.Get(), device, SPDRP_SERVICE);
        if (!service.empty()) answer.service = service.front();
        ULONG status = 0;
        ULONG problem = 0;
        if (CM_Get_DevNode_Status(&status, &problem, device.DevInst, 0) == CR_SUCCESS &&
            (status & DN_HAS_PROBLEM) != 0) {
            answer.problem_code = static_cast<int>(problem);
        }
        answer.port = PortOf(device.DevInst);
        answers.push_back(answer);
    }
    return answers;
}
