// A Windows handle owned by one object and closed with it. Both "no handle" values
// (NULL from CreateEventA/CreateThread, INVALID_HANDLE_VALUE from CreateFileA) count as empty.
#pragma once

#include <windows.h>

class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~OwnedHandle() { Reset(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    HANDLE Get() const { return handle_; }
    bool Valid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
    void Reset(HANDLE handle = nullptr) {
        if (Valid()) CloseHandle(handle_);
        handle_ = handle;
    }

private:
    HANDLE handle_;
};
