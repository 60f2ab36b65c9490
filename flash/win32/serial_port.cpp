// Opening, setting up and restoring the radio's port; the reads that the completion port
// delivers. A port's completion key is a number, never its address: a completion that was
// queued before the port closed finds no port and is dropped.
#include "flash/win32/serial_port.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>

#include "core/q42_protocol.h"
#include "flash/win32/port_names.h"
#include "flash/win32/system_error.h"
#include "winports/wide_text.h"

namespace {

constexpr ULONG_PTR kWakeKey = 0;
// How long a write may find no room before the rest is given up, and the slack for each
// byte at 9600 baud (10 bits, 1.04 ms) on top of that.
constexpr DWORD kWriteStallMs = 1000;
constexpr DWORD kWriteMsPerByte = 2;
// Written bytes held past this many are sent at once, without waiting for the next wait.
constexpr size_t kSendAtBytes = 4096;
// A read between waits looks for completions at most this often: each look is a trip to
// the system (to Wine's server, 30 us), and the link reads between every two bytes of a
// frame it builds; the link's ticks are 10 ms.
constexpr uint64_t kReadLookNs = 1'000'000;

OwnedHandle g_completion_port;
std::map<ULONG_PTR, Win32SerialPort*> g_ports;                 // the open ones, by key; the main thread's
std::map<const SerialPort*, const Win32SerialPort*> g_waited;  // the same, as the run hands them to the wait
ULONG_PTR g_next_key = 1;
std::atomic<bool> g_woken{false};
uint64_t g_last_look_ns = 0;

PortOpenResult Refuse(PortOpenResult result, std::string& error, const std::string& text) {
    error = text;
    return result;
}

std::string Reason(DWORD error) { return " (" + SystemErrorWords(error) + ")"; }

// The radio's link, binary, no flow control of either kind, DTR and RTS up for a converter
// that takes its power from them; nothing else of what the port had is kept.
void MakeRawLink(DCB& state) {
    state.BaudRate = kLinkBaudRate;
    state.ByteSize = static_cast<BYTE>(kLinkDataBits);
    state.Parity = kLinkParity == LinkParity::None ? NOPARITY : kLinkParity == LinkParity::Odd ? ODDPARITY : EVENPARITY;
    state.StopBits = kLinkStopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    state.fBinary = TRUE;
    state.fParity = FALSE;
    state.fOutxCtsFlow = FALSE;
    state.fOutxDsrFlow = FALSE;
    state.fDtrControl = DTR_CONTROL_ENABLE;
    state.fDsrSensitivity = FALSE;
    state.fTXContinueOnXoff = TRUE;
    state.fOutX = FALSE;
    state.fInX = FALSE;
    state.fErrorChar = FALSE;
    state.fNull = FALSE;
    state.fRtsControl = RTS_CONTROL_ENABLE;
    state.fAbortOnError = FALSE;
}

}  // namespace

bool PrepareCompletionPort(std::string& error) {
    if (g_completion_port.Valid()) return true;
    g_completion_port.Reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    if (g_completion_port.Valid()) return true;
    error = "cannot make the wait over the ports" + Reason(GetLastError());
    return false;
}

void WakeTheWait() {
    g_woken = true;
    if (g_completion_port.Valid()) PostQueuedCompletionStatus(g_completion_port.Get(), 0, kWakeKey, nullptr);
}

void TakeCompletions(DWORD timeout_ms) {
    OVERLAPPED_ENTRY entries[64];
    ULONG taken = 0;
    DWORD wait = timeout_ms;
    // After the first batch, only what is already in: the caller decides whether to sleep on.
    while (GetQueuedCompletionStatusEx(g_completion_port.Get(), entries, 64, &taken, wait, FALSE) && taken > 0) {
        for (ULONG i = 0; i < taken; ++i) {
            const auto port = g_ports.find(entries[i].lpCompletionKey);
            if (port != g_ports.end()) port->second->ReadCompleted(entries[i].lpOverlapped);
        }
        wait = 0;
        if (taken < 64) break;
    }
    g_last_look_ns = MonotonicNs();
}

bool TakeWake() { return g_woken.exchange(false); }

PortOpenResult Win32SerialPort::Open(const std::string& device, std::string& error, const PortVetting& may_take) {
    Close();
    // No sharing: Windows gives a serial port to one opener, and says so to the next.
    handle_.Reset(CreateFileW(WideFromUtf8(ComDevicePath(device)).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!handle_.Valid()) {
        const DWORD e = GetLastError();
        switch (e) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return Refuse(PortOpenResult::Missing, error,
                          "there is no port " + device + Reason(e) + ": is the converter plugged in?");
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return Refuse(PortOpenResult::Busy, error,
                          device + " is in use by another program" + Reason(e) + "; end it, then try again");
        default:
            return Refuse(PortOpenResult::Failed, error, "cannot open " + device + Reason(e));
        }
    }
    const HANDLE port = handle_.Get();
    if (GetFileType(port) != FILE_TYPE_CHAR || !GetCommState(port, &saved_state_) ||
        !GetCommTimeouts(port, &saved_timeouts_)) {
        const DWORD e = GetLastError();
        Close();
        return Refuse(PortOpenResult::NotTerminal, error, device + " is not a serial port" + Reason(e));
    }
    if (may_take && !may_take(error)) {
        Close();
        return PortOpenResult::Busy;
    }
    write_done_.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!write_done_.Valid()) {
        const DWORD e = GetLastError();
        Close();
        return Refuse(PortOpenResult::Failed, error, "cannot open " + device + Reason(e));
    }

    DCB raw = saved_state_;
    MakeRawLink(raw);
    // No time-outs: a read waits for as many bytes as it asks, and each asks for what the
    // port has already taken in, at least one (StartRead).
    COMMTIMEOUTS timeouts{};
    // A call that fails may still have applied part of the settings: put them back either way.
    settings_changed_ = true;
    if (!SetCommState(port, &raw) || !SetCommTimeouts(port, &timeouts)) {
        const DWORD e = GetLastError();
        Close();
        return Refuse(PortOpenResult::Failed, error, "cannot set " + device + " to " + LinkSettingsWords() + Reason(e));
    }
    // What came before q42flash listened is stale: a greeting in it was for a bootloader that
    // has stopped waiting for its answer, and answering it would swallow the next one.
    PurgeComm(port, PURGE_RXCLEAR | PURGE_RXABORT);
    key_ = g_next_key++;
    if (CreateIoCompletionPort(port, g_completion_port.Get(), key_, 0) == nullptr) {
        const DWORD e = GetLastError();
        Close();
        return Refuse(PortOpenResult::Failed, error, "cannot listen on " + device + Reason(e));
    }
    g_ports[key_] = this;
    g_waited[this] = this;
    StartRead();
    return PortOpenResult::Opened;
}

void Win32SerialPort::StartRead() {
    if (reading_ || hung_up_) return;
    read_ = OVERLAPPED{};
    DWORD errors = 0;
    COMSTAT status{};
    DWORD size = 1;
    if (ClearCommError(handle_.Get(), &errors, &status) && status.cbInQue > 1) {
        size = std::min<DWORD>(status.cbInQue, sizeof read_buffer_);
    }
    // Done at once or later, the completion comes through the completion port either way.
    if (!ReadFile(handle_.Get(), read_buffer_, size, nullptr, &read_) && GetLastError() != ERROR_IO_PENDING) {
        hung_up_ = true;
        return;
    }
    reading_ = true;
}

void Win32SerialPort::ReadCompleted(const OVERLAPPED* overlapped) {
    if (overlapped != &read_ || !reading_) return;
    reading_ = false;
    DWORD count = 0;
    // A converter unplugged, a line gone: nothing more will come. A read without time-outs
    // ends with no byte only when the line has ended.
    if (!GetOverlappedResult(handle_.Get(), &read_, &count, FALSE) || count == 0) {
        hung_up_ = true;
        return;
    }
    if (taken_ == received_.size()) {
        received_.clear();
        taken_ = 0;
    }
    received_.insert(received_.end(), read_buffer_, read_buffer_ + count);
    StartRead();
}

long Win32SerialPort::Read(uint8_t* buffer, size_t capacity) {
    if (MonotonicNs() - g_last_look_ns >= kReadLookNs) TakeCompletions(0);
    if (taken_ == received_.size()) return hung_up_ ? -1 : 0;
    const size_t count = std::min(capacity, received_.size() - taken_);
    std::memcpy(buffer, received_.data() + taken_, count);
    taken_ += count;
    return static_cast<long>(count);
}

bool Win32SerialPort::Write(const uint8_t* data, size_t count) {
    if (!handle_.Valid() || hung_up_ || write_failed_) return false;
    // The link hands a frame over a few bytes at a time; each WriteFile costs a trip to the
    // driver (to Wine's server, 30 us), so they are sent together before the next wait.
    outgoing_.insert(outgoing_.end(), data, data + count);
    if (outgoing_.size() >= kSendAtBytes) Send();
    return !write_failed_;
}

void Win32SerialPort::Send() {
    size_t done = 0;
    while (done < outgoing_.size() && !write_failed_) {
        OVERLAPPED write{};
        // The event's low bit set keeps this completion off the completion port.
        write.hEvent = reinterpret_cast<HANDLE>(reinterpret_cast<ULONG_PTR>(write_done_.Get()) | 1);
        const DWORD size = static_cast<DWORD>(std::min<size_t>(outgoing_.size() - done, 65536));
        if (!WriteFile(handle_.Get(), outgoing_.data() + done, size, nullptr, &write)) {
            if (GetLastError() != ERROR_IO_PENDING) {
                write_failed_ = true;
                break;
            }
            if (WaitForSingleObject(write_done_.Get(), kWriteStallMs + kWriteMsPerByte * size) != WAIT_OBJECT_0) {
                // The write's memory is the port's: it must be over before it is reused.
                if (CancelIoEx(handle_.Get(), &write) || GetLastError() != ERROR_NOT_FOUND) {
                    WaitForSingleObject(write_done_.Get(), INFINITE);
                }
                write_failed_ = true;
                break;
            }
        }
        DWORD written = 0;
        if (!GetOverlappedResult(handle_.Get(), &write, &written, FALSE) || written == 0) {
            write_failed_ = true;
            break;
        }
        done += written;
    }
    outgoing_.clear();
}

void SendEveryPort() {
    for (const auto& port : g_ports) port.second->Send();
}

void Win32SerialPort::Close() {
    if (!handle_.Valid()) return;
    const HANDLE port = handle_.Get();
    if (reading_) {
        CancelIoEx(port, &read_);
        DWORD ignored = 0;
        GetOverlappedResult(port, &read_, &ignored, TRUE);
        reading_ = false;
    }
    Send();
    g_ports.erase(key_);
    g_waited.erase(this);
    if (settings_changed_) {
        // What was written leaves first, at the settings it was written with.
        FlushFileBuffers(port);
        SetCommState(port, &saved_state_);
        SetCommTimeouts(port, &saved_timeouts_);
    }
    handle_.Reset();
    write_done_.Reset();
    settings_changed_ = false;
    write_failed_ = false;
    outgoing_.clear();
}

bool PortHasNews(const SerialPort* port) {
    const auto found = g_waited.find(port);
    return found != g_waited.end() && found->second->HasNews();
}
