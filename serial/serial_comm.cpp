// The serial port component: opening the device, its line settings, reads and writes, and
// the dispatch of port events. Runs on the user-interface thread only; the event thread
// (comm_event_thread.cpp) reaches it solely through the hand-off to HandleEvents, and the
// writer thread (comm_writer.cpp) only sends what Write has handed it.
#include "serial/serial_comm.h"

#include "serial/comm_event_thread.h"
#include "serial/comm_settings.h"
#include "serial/comm_writer.h"
#include "winports/wide_text.h"

#include <system_error>

namespace {

constexpr const char* kAlreadyOpen = "Device already assigned (open)";

[[noreturn]] void Raise(const char* step, int32_t code) { throw ECommError(step, code); }

// Windows reaches "COM10" and above only through the device namespace (KB115831); the
// prefix serves COM1 to COM9 as well. A name already in a namespace is left alone.
std::string DevicePath(const std::string& name) { return name.rfind("\\\\", 0) == 0 ? name : "\\\\.\\" + name; }

HANDLE NewRequestSignal() {
    HANDLE signal = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!signal) throw std::system_error(static_cast<int>(GetLastError()), std::system_category());
    return signal;
}

void ZeroRequest(OVERLAPPED& request, HANDLE signal) {
    request = OVERLAPPED{};
    request.hEvent = signal;
}

}  // namespace

ECommError::ECommError(const std::string& step, int32_t code)
    : std::runtime_error(step + " (Error: " + std::to_string(code) + ") "), ErrorCode(code) {}

void TCommEventChars::SetXonChar(char c) {
    if (c == xon_) return;
    xon_ = c;
    owner_.UpdateDataControlBlock();
}

void TCommEventChars::SetXoffChar(char c) {
    if (c == xoff_) return;
    xoff_ = c;
    owner_.UpdateDataControlBlock();
}

TCustomComm::TCustomComm() : read_done_(NewRequestSignal()) {}

TCustomComm::~TCustomComm() { Close(); }

void TCustomComm::Open() {
    Close();
    SetLastError(0);
    CreateHandle();
    if (!IsOpen()) return;
    try {
        Writer = std::make_unique<TCommWriter>(Handle);
        EventThread = std::make_unique<TCommEventThread>(Handle, monitor_events_);
    } catch (...) {
        // Open without its threads would be a port that never hears the line.
        Close();
        throw;
    }
    EventThread->OnSignal = [this](TCommEventThread* sender, DWORD mask) { HandleEvents(sender, mask); };
    UpdateDataControlBlock();
    if (!SetupComm(Handle, static_cast<DWORD>(read_buf_size_), static_cast<DWORD>(write_buf_size_))) {
        Raise("Error initializing Read/Write Buffers", static_cast<int32_t>(GetLastError()));
    }
    ApplyTimeOuts();
}

void TCustomComm::Close() {
    if (!IsOpen()) return;
    if (EventThread) {
        EventThread->Stop();
        EventThread->WaitFor();
        EventThread.reset();
    }
    if (Writer) {
        Writer->Finish();
        Writer.reset();
    }
    DestroyHandle();
}

void TCustomComm::CreateHandle() {
    Handle = CreateFileW(WideFromUtf8(DevicePath(device_name_)).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                         OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (Handle == INVALID_HANDLE_VALUE) {
        Raise("Error accessing specified device", static_cast<int32_t>(GetLastError()));
    }
    if (GetFileType(Handle) != FILE_TYPE_CHAR) {
        DestroyHandle();
        Raise("Invalid device handle, access denied", -1);
    }
}

void TCustomComm::DestroyHandle() {
    CloseHandle(Handle);
    Handle = INVALID_HANDLE_VALUE;
}

// The bytes are copied and the writer thread sends them, each write as one transfer.
int32_t TCustomComm::Write(const void* buffer, int32_t count) {
    if (!IsOpen() || !Writer || count < 0 || (count > 0 && buffer == nullptr)) return -1;
    if (count == 0) return 0;
    return Writer->Write(static_cast<const uint8_t*>(buffer), count);
}

int32_t TCustomComm::Read(void* buffer, int32_t count) {
    if (!IsOpen() || count < 0 || (count > 0 && buffer == nullptr)) return -1;
    ZeroRequest(ReadRequest, read_done_.Get());
    DWORD read = 0;
    if (ReadFile(Handle, buffer, static_cast<DWORD>(count), &read, &ReadRequest)) {
        return static_cast<int32_t>(read);
    }
    if (GetLastError() != ERROR_IO_PENDING) return -1;
    // Only with CharsTimeOut above 0 can a read be left waiting: give the line that long,
    // then take what came. The transfer must be over before the caller has its buffer back.
    const DWORD patience = chars_time_out_ > 0 ? static_cast<DWORD>(chars_time_out_) : 0;
    if (WaitForSingleObject(ReadRequest.hEvent, patience) != WAIT_OBJECT_0) CancelIoEx(Handle, &ReadRequest);
    if (GetOverlappedResult(Handle, &ReadRequest, &read, TRUE) || GetLastError() == ERROR_OPERATION_ABORTED) {
        return static_cast<int32_t>(read);
    }
    return -1;
}

void TCustomComm::RefuseWhileOpen() const {
    if (IsOpen()) Raise(kAlreadyOpen, -1);
}

void TCustomComm::SetDeviceName(const std::string& name) {
    RefuseWhileOpen();
    device_name_ = name;
}

void TCustomComm::SetMonitorEvents(TCommEventType events) {
    RefuseWhileOpen();
    monitor_events_ = events;
}

void TCustomComm::SetReadBufSize(int32_t size) {
    RefuseWhileOpen();
    read_buf_size_ = size;
}

void TCustomComm::SetWriteBufSize(int32_t size) {
    RefuseWhileOpen();
    write_buf_size_ = size;
}

void TCustomComm::SetBaudRate(TBaudRate rate) { ChangeLineSetting(baud_rate_, rate); }

void TCustomComm::SetParity(TParity parity) { ChangeLineSetting(parity_, parity); }

void TCustomComm::SetStopbits(TStopbits stopbits) { ChangeLineSetting(stopbits_, stopbits); }

void TCustomComm::SetDatabits(TDatabits databits) { ChangeLineSetting(databits_, databits); }

void TCustomComm::SetOptions(TCommOptions options) { ChangeLineSetting(options_, options); }

void TCustomComm::SetFlowControl(TFlowControl flow) { ChangeLineSetting(flow_control_, flow); }

void TCustomComm::SetCharsTimeOut(int32_t milliseconds) {
    chars_time_out_ = milliseconds;
    if (IsOpen()) ApplyTimeOuts();
}

void TCustomComm::ApplyTimeOuts() {
    COMMTIMEOUTS timeouts = CommTimeoutsFor(chars_time_out_);
    if (!SetCommTimeouts(Handle, &timeouts)) {
        Raise("Error updating CommTimeouts", static_cast<int32_t>(GetLastError()));
    }
}

TLineSettings TCustomComm::LineSettings() const {
    return TLineSettings{
        baud_rate_,     parity_,       stopbits_, databits_, event_chars_.XonChar(), event_chars_.XoffChar(),
        read_buf_size_, flow_control_, options_};
}

void TCustomComm::UpdateDataControlBlock() {
    if (!IsOpen()) return;
    // Unread, the record would go back to the device with whatever it held before.
    if (!GetCommState(Handle, &ControlBlock)) {
        Raise("Error updating DataControlBlock", static_cast<int32_t>(GetLastError()));
    }
    FillControlBlock(ControlBlock, LineSettings());
    if (!SetCommState(Handle, &ControlBlock)) {
        Raise("Error updating DataControlBlock", static_cast<int32_t>(GetLastError()));
    }
}

void TCustomComm::HandleEvents(TCommEventThread*, DWORD event_mask) {
    if (!ClearCommError(Handle, &LineErrors, &QueueStatus)) {
        // Nothing was read: a count or errors from an earlier hand-off would be stale.
        LineErrors = 0;
        QueueStatus = COMSTAT{};
    }
    for (DWORD bit : kEventBits) {
        if (event_mask & bit) DoEvent(bit);
    }
}

void TCustomComm::DoEvent(DWORD event_bit) {
    const auto notify = [this](const TNotifyEvent& handler) {
        if (handler) handler(this);
    };
    switch (event_bit) {
    case EV_BREAK:
        notify(OnBreak);
        break;
    case EV_CTS:
        notify(OnCTS);
        break;
    case EV_DSR:
        notify(OnDSR);
        break;
    case EV_ERR:
        if (OnError) OnError(this, static_cast<int32_t>(LineErrors));
        break;
    case EV_RING:
        notify(OnRing);
        break;
    case EV_RLSD:
        notify(OnRLSD);
        break;
    case EV_RXCHAR:
        if (OnRxChar) OnRxChar(this, static_cast<int32_t>(QueueStatus.cbInQue));
        break;
    case EV_RXFLAG:
        notify(OnRxFlag);
        break;
    case EV_TXEMPTY:
        notify(OnTxEmpty);
        break;
    default:
        break;
    }
}
