// The device list and the registry key in the house's one holder.
#pragma once

#include <windows.h>
// It needs windows.h before it.
#include <setupapi.h>

#include "core/unique_handle.h"

struct DeviceInfoSetTraits {
    using Value = HDEVINFO;
    static HDEVINFO Empty() { return INVALID_HANDLE_VALUE; }
    static bool Valid(HDEVINFO set) { return set != INVALID_HANDLE_VALUE; }
    static bool Close(HDEVINFO set) { return SetupDiDestroyDeviceInfoList(set) != FALSE; }
};
using DeviceInfoSet = UniqueHandle<DeviceInfoSetTraits>;

struct RegistryKeyTraits {
    using Value = HKEY;
    static HKEY Empty() { return nullptr; }
    // SetupDiOpenDevRegKey gives INVALID_HANDLE_VALUE on failure, RegOpenKeyExW no key.
    static bool Valid(HKEY key) { return key != nullptr && key != INVALID_HANDLE_VALUE; }
    static bool Close(HKEY key) { return RegCloseKey(key) == ERROR_SUCCESS; }
};
using RegistryKey = UniqueHandle<RegistryKeyTraits>;
