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
    TPlace place;
    {
        TLockGuard held(lock_);
        if (slot_ == TSlot::Free && queue_.Empty()) {
            // An idle line: start the transfer here, so that bytes the driver takes at once
            // are counted as such.
            slot_ = TSlot::Starting;
            place = TPlace::StartHere;
        } else {
            place = Enqueue(held, bytes, length);
        }
    }
    while (place == TPlace::WaitForRoom) {
        WaitForSingleObject(room_.Get(), INFINITE);
        TLockGuard held(lock_);
        place = Enqueue(held, bytes, length);
    }
    if (place == TPlace::StartHere) return WriteOnIdleLine(bytes, length);
    if (place == TPlace::Queued) SetEvent(work_.Get());
    return -1;
}

int32_t TCommWriter::WriteOnIdleLine(const uint8_t* bytes, size_t length) {
    std::memcpy(transfer_, bytes, length);
    DWORD written = 0;
    const TStart start = StartTransfer(length, written);
    {
        TLockGuard held(lock_);
        RecordStart(held, start, length, written);
    }
    if (start == TStart::InFlight) {
        SetEvent(work_.Get());
        return -1;
    }
    return start == TStart::Done ? static_cast<int32_t>(written) : -1;
}

TCommWriter::TPlace TCommWriter::Enqueue(const TLockGuard&, const uint8_t* bytes, size_t length) {
    if (queue_.Fits(length)) {
        queue_.Push(bytes, length);
        return TPlace::Queued;
    }
    // The writer frees room as each transfer ends, within the write time-out; once one has
    // ended short the line has stopped, and these bytes are refused.
    return stalled_ ? TPlace::Refused : TPlace::WaitForRoom;
}

void TCommWriter::Finish() {
    if (!thread_.Valid()) return;
    {
        TLockGuard held(lock_);
        finishing_ = true;
    }
    SetEvent(work_.Get());
    WaitForSingleObject(thread_.Get(), INFINITE);
    thread_.Reset();
}

// Each pass does one step outside lock_, then records its outcome and picks the next step
// in one critical section.
void TCommWriter::Run() {
    TStep step{};
    {
        TLockGuard held(lock_);
        step = NextStep(held);
    }
    for (;;) {
        switch (step.action) {
        case TStep::TAction::EndTransfer: {
            const bool whole = EndTransfer(step.length);
            TLockGuard held(lock_);
            stalled_ = !whole;
            slot_ = TSlot::Free;
            SetEvent(room_.Get());
            step = NextStep(held);
            break;
        }
        case TStep::TAction::StartTransfer: {
            SetEvent(room_.Get());
            DWORD written = 0;
            const TStart start = StartTransfer(step.length, written);
            TLockGuard held(lock_);
            RecordStart(held, start, step.length, written);
            if (start != TStart::InFlight) SetEvent(room_.Get());
            step = NextStep(held);
            break;
        }
        case TStep::TAction::WaitForWork: {
            WaitForSingleObject(work_.Get(), INFINITE);
            TLockGuard held(lock_);
            step = NextStep(held);
            break;
        }
        case TStep::TAction::Stop:
            return;
        }
    }
}

TCommWriter::TStep TCommWriter::NextStep(const TLockGuard&) {
    if (slot_ == TSlot::InFlight) return {TStep::TAction::EndTransfer, in_flight_length_};
    if (slot_ == TSlot::Free && !queue_.Empty()) {
        if (finishing_ && stalled_) {
            queue_.Clear();  // the line has stopped: Close does not wait a time-out per transfer
            return {TStep::TAction::Stop, 0};
        }
        const size_t length = queue_.Take(transfer_);
        slot_ = TSlot::Starting;
        return {TStep::TAction::StartTransfer, length};
    }
    if (slot_ == TSlot::Free && finishing_) return {TStep::TAction::Stop, 0};
    return {TStep::TAction::WaitForWork, 0};
}

void TCommWriter::RecordStart(const TLockGuard&, TStart start, size_t length, DWORD written) {
    if (start == TStart::InFlight) {
        slot_ = TSlot::InFlight;
        in_flight_length_ = length;
        return;
    }
    slot_ = TSlot::Free;
    stalled_ = written < length;
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
