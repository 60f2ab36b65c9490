// A Windows handle in the house's one holder. Both "no handle" values (NULL from
// CreateEventW and CreateIoCompletionPort, INVALID_HANDLE_VALUE from CreateFileW) are empty.
#pragma once

#include <windows.h>

#include "core/unique_handle.h"

struct WinHandleTraits {
    using Value = HANDLE;
    static Value Empty() { return nullptr; }
    static bool Valid(Value handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static bool Close(Value handle) { return CloseHandle(handle) != FALSE; }
};
using WinHandle = UniqueHandle<WinHandleTraits>;
