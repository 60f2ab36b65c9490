// The writer thread and the queue of transfers it sends. See comm_writer.h for who owns what.
#include "serial/comm_writer.h"

#include "serial/comm_settings.h"
#include "serial/serial_comm.h"

#include <algorithm>
#include <cstring>

namespace {

// How long past the write time-out a transfer may run before it is cancelled here, for a
// driver that does not keep the time-out itself.
constexpr DWORD kOverrunMs = 250;

[[noreturn]] void FailToStart() {
    throw ECommError("Error creating write thread", static_cast<int32_t>(GetLastError()));
}

HANDLE NewEvent(BOOL manual_reset) {
    HANDLE event = CreateEventA(nullptr, manual_reset, FALSE, nullptr);
    if (!event) FailToStart();
    return event;
}

}  // namespace

TCommWriter::TCommWriter(HANDLE comm_handle)
    : CommHandle(comm_handle), work_(NewEvent(FALSE)), room_(NewEvent(FALSE)), transfer_done_(NewEvent(TRUE)) {
    thread_.Reset(CreateThread(nullptr, 0, ThreadEntry, this, 0, nullptr));
    if (!thread_.Valid()) FailToStart();
}

TCommWriter::~TCommWriter() { Finish(); }

DWORD WINAPI TCommWriter::ThreadEntry(LPVOID self) {
    try {
        static_cast<TCommWriter*>(self)->Run();
    } catch (...) {
        // Nothing to report to: the run just ends.
    }
    return 0;
}

int32_t TCommWriter::Write(const uint8_t* bytes, int32_t count) {
    const size_t length = static_cast<size_t>(count);
    if (length <= TQueue::kLargestTransfer) return WritePiece(bytes, length);
    for (size_t sent = 0; sent < length; sent += TQueue::kLargestTransfer) {
        WritePiece(bytes + sent, std::min(length - sent, TQueue::kLargestTransfer));
    }
    return -1;
}

int32_t TCommWriter::WritePiece(const uint8_t* bytes, size_t length) {
    Lock();
    if (slot_ == TSlot::Free && queue_.Empty()) {
        // An idle line: start the transfer here, so that bytes the driver takes at once
        // are counted as such.
        slot_ = TSlot::Starting;
        Unlock();
        std::memcpy(transfer_, bytes, length);
        DWORD written = 0;
        const TStart start = StartTransfer(length, written);
        Lock();
        if (start == TStart::InFlight) {
            slot_ = TSlot::InFlight;
            in_flight_length_ = length;
            Unlock();
            SetEvent(work_.Get());
            return -1;
        }
        slot_ = TSlot::Free;
        stalled_ = written < length;
        Unlock();
        return start == TStart::Done ? static_cast<int32_t>(written) : -1;
    }
    while (!queue_.Fits(length)) {
        // The writer frees room as each transfer ends, within the write time-out; once one
        // has ended short the line has stopped, and these bytes are refused.
        if (stalled_) {
            Unlock();
            return -1;
        }
        Unlock();
        WaitForSingleObject(room_.Get(), INFINITE);
        Lock();
    }
    queue_.Push(bytes, length);
    Unlock();
    SetEvent(work_.Get());
    return -1;
}

void TCommWriter::Finish() {
    if (!thread_.Valid()) return;
    Lock();
    finishing_ = true;
    Unlock();
    SetEvent(work_.Get());
    WaitForSingleObject(thread_.Get(), INFINITE);
    thread_.Reset();
}

void TCommWriter::Run() {
    Lock();
    for (;;) {
        if (slot_ == TSlot::InFlight) {
            const size_t length = in_flight_length_;
            Unlock();
            const bool whole = EndTransfer(length);
            Lock();
            stalled_ = !whole;
            slot_ = TSlot::Free;
            SetEvent(room_.Get());
        } else if (slot_ == TSlot::Free && !queue_.Empty()) {
            if (finishing_ && stalled_) {
                queue_.Clear();  // the line has stopped: Close does not wait a time-out per transfer
                continue;
            }
            const size_t length = queue_.Take(transfer_);
            slot_ = TSlot::Starting;
            Unlock();
            SetEvent(room_.Get());
            DWORD written = 0;
            const TStart start = StartTransfer(length, written);
            Lock();
            if (start == TStart::InFlight) {
                slot_ = TSlot::InFlight;
                in_flight_length_ = length;
            } else {
                slot_ = TSlot::Free;
                stalled_ = written < length;
                SetEvent(room_.Get());
            }
        } else if (slot_ == TSlot::Free && finishing_) {
            break;
        } else {
            Unlock();
            WaitForSingleObject(work_.Get(), INFINITE);
            Lock();
        }
    }
    Unlock();
}

TCommWriter::TStart TCommWriter::StartTransfer(size_t length, DWORD& written) {
    WriteRequest = OVERLAPPED{};
    WriteRequest.hEvent = transfer_done_.Get();
    written = 0;
    if (WriteFile(CommHandle, transfer_, static_cast<DWORD>(length), &written, &WriteRequest)) return TStart::Done;
    // Any other failure (a device gone) loses this transfer only.
    if (GetLastError() == ERROR_IO_PENDING) return TStart::InFlight;
    written = 0;
    return TStart::Failed;
}

bool TCommWriter::EndTransfer(size_t length) {
    if (WaitForSingleObject(transfer_done_.Get(), kWriteTotalTimeOutMs + kOverrunMs) != WAIT_OBJECT_0) {
        CancelIoEx(CommHandle, &WriteRequest);
    }
    DWORD written = 0;
    return GetOverlappedResult(CommHandle, &WriteRequest, &written, TRUE) && written == length;
}
