// Message pumping with a deadline, and the pty shim's switch, for the Windows-side tests.
#include "tests/wine/wine_ports.h"

#include <cstdlib>
#include <stdexcept>

namespace {

void ServeMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD limit_ms) {
    const ULONGLONG deadline = GetTickCount64() + limit_ms;
    for (;;) {
        ServeMessages();
        if (done()) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    }
}

void PumpFor(DWORD limit_ms) {
    PumpUntil([] { return false; }, limit_ms);
}

DWORD TTestComm::QueuedBytes(HANDLE device) {
    DWORD errors = 0;
    COMSTAT status{};
    ClearCommError(device, &errors, &status);
    return status.cbInQue;
}

// The shim's switch is a Linux path (rig/wine-env); Wine's drive Z: is the Linux root.
DeafLines::DeafLines() {
    const char* linux_path = std::getenv("Q42_SHIM_DEAF");
    if (!linux_path || *linux_path != '/')
        throw std::runtime_error("Q42_SHIM_DEAF is not set: run through rig/wine-test");
    path_ = std::string("Z:") + linux_path;
    for (char& c : path_) {
        if (c == '/') c = '\\';
    }
    HANDLE file = CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) throw std::runtime_error("Cannot make " + path_);
    CloseHandle(file);
}

void DeafLines::End() { DeleteFileA(path_.c_str()); }

DWORD DeafLines::Refusals() const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    return GetFileAttributesExA(path_.c_str(), GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
}
