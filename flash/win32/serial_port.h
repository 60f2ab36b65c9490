// The radio's port on Windows: overlapped I/O, each port with one read outstanding at all
// times, every read completing on the one I/O completion port that the wait sleeps on, so
// that any number of ports is watched by one thread (no 64-handle ceiling). What Write takes
// is sent before the next wait.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "flash/run/platform.h"
#include "winports/owned_handle.h"

class Win32SerialPort final : public SerialPort {
public:
    Win32SerialPort() = default;
    ~Win32SerialPort() override { Close(); }
    Win32SerialPort(const Win32SerialPort&) = delete;
    Win32SerialPort& operator=(const Win32SerialPort&) = delete;

    PortOpenResult Open(const std::string& device, std::string& error, const PortVetting& may_take);
    long Read(uint8_t* buffer, size_t capacity) override;
    bool Write(const uint8_t* data, size_t count) override;
    void Close() override;

    // Something for Read to give: bytes, or the news that the line hung up.
    bool HasNews() const { return taken_ < received_.size() || hung_up_; }
    // The completion of this port's read, as the completion port delivered it.
    void ReadCompleted(const OVERLAPPED* overlapped);
    // Sends what Write has taken; a failure fails the next Write.
    void Send();

private:
    void StartRead();

    OwnedHandle handle_;
    OwnedHandle write_done_;
    ULONG_PTR key_ = 0;
    OVERLAPPED read_{};
    bool reading_ = false;
    uint8_t read_buffer_[512] = {};
    std::vector<uint8_t> received_;
    size_t taken_ = 0;
    bool hung_up_ = false;
    std::vector<uint8_t> outgoing_;
    bool write_failed_ = false;
    bool settings_changed_ = false;
    DCB saved_state_{};
    COMMTIMEOUTS saved_timeouts_{};
};

// Prepares the one completion port (PrepareToRun's first step); false with the reason.
bool PrepareCompletionPort(std::string& error);
// Sends what every port's Write has taken: before the wait sleeps, so that nothing written
// waits with it.
void SendEveryPort();
// Wakes a WaitForPorts that sleeps, from any thread: a stop request's doing.
void WakeTheWait();
// Takes every completion that is due within timeout_ms (0: those already in), handing each
// port its read; a wake from WakeTheWait ends the sleep too.
void TakeCompletions(DWORD timeout_ms);
// True once after each WakeTheWait: the wait hears it even when a Read took its packet.
bool TakeWake();
// Whether a port that OpenSerialPort opened, still open, has news for Read.
bool PortHasNews(const SerialPort* port);
