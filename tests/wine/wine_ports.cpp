// Message pumping with a deadline, for the Windows-side tests.
#include "tests/wine/wine_ports.h"

namespace {

void ServeMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

bool PumpUntil(const std::function<bool()>& done, DWORD limit_ms)
{
    const ULONGLONG deadline = GetTickCount64() + limit_ms;
    for (;;) {
        ServeMessages();
        if (done()) return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
    }
}

void PumpFor(DWORD limit_ms)
{
    PumpUntil([] { return false; }, limit_ms);
}

DWORD TTestComm::QueuedBytes(HANDLE device)
{
    DWORD errors = 0;
    COMSTAT status{};
    ClearCommError(device, &errors, &status);
    return status.cbInQue;
}
