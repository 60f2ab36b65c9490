// What the Windows-side tests find on the COM ports, as tests/wine/WineTests.cmake sets them
// up through rig/wine-test, and the helpers that wait for the port without sleeping blind.
#pragma once

#include "serial/serial_comm.h"

#include <windows.h>

#include <functional>
#include <string>

constexpr const char* kLoopbackPort = "COM3";       // q42sim --mode loopback
constexpr const char* kHighLoopbackPort = "COM12";  // the same, above COM9
constexpr const char* kMissingPort = "COM7";        // mapped, but its path does not exist
constexpr const char* kUnmappedPort = "COM99";      // not a device at all

// Serves window messages (the event thread's hand-offs among them) until done() holds or
// limit_ms has passed; true when done() held.
bool PumpUntil(const std::function<bool()>& done, DWORD limit_ms);

// Serves window messages for limit_ms, for checks that something does NOT happen.
void PumpFor(DWORD limit_ms);

// The component with its protected state in reach of a test.
class TTestComm : public TComm {
public:
    HANDLE DeviceHandle() const { return Handle; }
    const COMSTAT& LastQueueStatus() const { return QueueStatus; }
    DWORD LastLineErrors() const { return LineErrors; }
    void SetLastQueueStatus(DWORD in_queue) { QueueStatus.cbInQue = in_queue; }
    // Puts another handle in the device's place; returns the one it replaces.
    HANDLE ReplaceDeviceHandle(HANDLE other) {
        const HANDLE replaced = Handle;
        Handle = other;
        return replaced;
    }
    // Bytes waiting in the receive queue of a handle, asked of the device itself.
    static DWORD QueuedBytes(HANDLE device);
};

// While one exists, every wait for port events on a pseudo-terminal fails, as Wine's does on a
// line that has gone: the pty shim then leaves the modem lines unread (rig/pty_modem_shim.c).
class DeafLines {
public:
    DeafLines();
    ~DeafLines() { End(); }
    DeafLines(const DeafLines&) = delete;
    DeafLines& operator=(const DeafLines&) = delete;
    void End();
    // The modem-line reads refused so far: one per failed wait when the modem events are watched.
    DWORD Refusals() const;

private:
    std::string path_;
};
