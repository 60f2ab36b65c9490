// A Windows handle owned by one object and closed with it, in both programs. Both "no handle"
// values (NULL from CreateEvent, CreateThread and CreateIoCompletionPort, INVALID_HANDLE_VALUE
// from CreateFileW) count as empty.
#pragma once

#include "core/unique_handle.h"

#include <windows.h>

struct Win32HandleTraits {
    using Value = HANDLE;
    static Value Empty() { return nullptr; }
    static bool Valid(Value handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static bool Close(Value handle) { return CloseHandle(handle) != FALSE; }
};

using OwnedHandle = UniqueHandle<Win32HandleTraits>;
