// The serial component's writer: one thread per open port that sends the queued writes, one
// transfer per write, each given the write time-out on its own. Write copies the bytes and
// returns; the bytes go out whatever the event thread does.
//
// Who owns what, and who blocks on whom:
// - The user-interface thread calls Write and Finish; the writer thread runs Run. lock_
//   guards the fields from queue_ to finishing_; neither thread holds it across a system
//   call that waits.
// - transfer_ and WriteRequest belong to the thread that set slot_ to Starting until it sets
//   InFlight or Free: the user-interface thread when it finds the line idle (so that a write
//   the driver takes at once returns its count), else the writer. A transfer in flight is
//   the writer's, which alone waits for transfers to end.
// - The writer blocks on the driver, for one transfer at a time, never longer than the write
//   time-out (it cancels a transfer the driver lets run over). The user-interface thread
//   blocks on the writer only in Write when the queue is full, and in Finish; both end once
//   the line has stopped.
#pragma once

#include "serial/transfer_queue.h"
#include "winports/owned_handle.h"

#include <windows.h>

#include <cstdint>

class TCommWriter {
public:
    // Starts the thread, or raises ECommError with the system's error number; comm_handle
    // stays the component's, closed only after Finish.
    explicit TCommWriter(HANDLE comm_handle);
    ~TCommWriter();
    TCommWriter(const TCommWriter&) = delete;
    TCommWriter& operator=(const TCommWriter&) = delete;

    // The count the driver took at once, or -1: queued (the bytes still go out) or failed.
    // Waits only when the queue is full, while the line still moves.
    int32_t Write(const uint8_t* bytes, int32_t count);
    // Lets the bytes already accepted go out, each transfer within the write time-out, and
    // ends the thread. Once a transfer has ended short (the line has stopped), what is
    // still queued is dropped, so this waits for at most one time-out beyond the moving bytes.
    void Finish();

private:
    static constexpr size_t kQueueBytes = 16384;
    static constexpr size_t kQueueTransfers = 64;
    using TQueue = TransferQueue<kQueueBytes, kQueueTransfers>;
    // Who may touch transfer_ and WriteRequest.
    enum class TSlot { Free, Starting, InFlight };

    // Holds lock_ for one scope, so that each critical section is a scope. A member that
    // takes one runs inside its caller's section.
    class TLockGuard {
    public:
        explicit TLockGuard(SRWLOCK& lock) : lock_(lock) { AcquireSRWLockExclusive(&lock_); }
        ~TLockGuard() { ReleaseSRWLockExclusive(&lock_); }
        TLockGuard(const TLockGuard&) = delete;
        TLockGuard& operator=(const TLockGuard&) = delete;

    private:
        SRWLOCK& lock_;
    };
    enum class TStart { Done, InFlight, Failed };
    // What becomes of a piece of a write, decided inside a critical section.
    enum class TPlace { StartHere, Queued, WaitForRoom, Refused };
    // What the writer does next outside lock_; length is the transfer's.
    struct TStep {
        enum class TAction { EndTransfer, StartTransfer, WaitForWork, Stop } action;
        size_t length;
    };

    static DWORD WINAPI ThreadEntry(LPVOID self);
    void Run();
    // Takes the next transfer from the queue, if that is the next step.
    TStep NextStep(const TLockGuard& held);
    // One piece of a write, at most TQueue::kLargestTransfer bytes.
    int32_t WritePiece(const uint8_t* bytes, size_t length);
    // With slot_ Starting.
    int32_t WriteOnIdleLine(const uint8_t* bytes, size_t length);
    TPlace Enqueue(const TLockGuard& held, const uint8_t* bytes, size_t length);
    // Hands transfer_ to the driver; with Done, written is what it took at once.
    TStart StartTransfer(size_t length, DWORD& written);
    // The slot after StartTransfer, by the thread that set it to Starting.
    void RecordStart(const TLockGuard& held, TStart start, size_t length, DWORD written);
    // Waits for the transfer in flight to end (cancelling it after the time-out); true when
    // all of it went out.
    bool EndTransfer(size_t length);

    HANDLE CommHandle;
    SRWLOCK lock_ = SRWLOCK_INIT;
    TQueue queue_;
    TSlot slot_ = TSlot::Free;
    size_t in_flight_length_ = 0;  // of the transfer in flight; with slot_ InFlight
    bool stalled_ = false;         // the last transfer ended short: the line has stopped
    bool finishing_ = false;
    OwnedHandle work_;           // user-interface thread to writer: a transfer in flight, queued bytes, or Finish
    OwnedHandle room_;           // writer to user-interface thread: the queue has moved, or the line stopped
    OVERLAPPED WriteRequest{};   // the one request record of all writes
    OwnedHandle transfer_done_;  // WriteRequest's signal
    uint8_t transfer_[TQueue::kLargestTransfer];
    OwnedHandle thread_;
};
