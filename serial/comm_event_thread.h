// The serial event thread: waits for the port's events and hands each completed wait to the
// user-interface thread, blocking until the handlers have run there. Created by Open and
// ended by Close, both on the user-interface thread; nothing else talks to it.
#pragma once

#include "serial/serial_comm.h"
#include "winports/owned_handle.h"

#include <windows.h>

#include <atomic>
#include <exception>
#include <functional>

class TCommEventThread {
public:
    using TSignalEvent = std::function<void(TCommEventThread* sender, DWORD event_mask)>;

    // On the user-interface thread, which will serve the hand-offs; returns with the thread
    // running, or raises ECommError with the system's error number.
    TCommEventThread(HANDLE comm_handle, TCommEventType events);
    // Stops the thread if it still runs and waits for its end.
    ~TCommEventThread();
    TCommEventThread(const TCommEventThread&) = delete;
    TCommEventThread& operator=(const TCommEventThread&) = delete;

    void Stop();
    // Waits for the thread's end while serving its hand-offs, so a thread blocked in one can finish.
    void WaitFor();

    // Set by Open before the user-interface thread next serves a hand-off; read only there.
    TSignalEvent OnSignal;

private:
    static DWORD WINAPI ThreadEntry(LPVOID self);
    static LRESULT CALLBACK HandOffWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    [[noreturn]] void FailToStart(DWORD error);
    void Execute();
    // After a failed wait: false when the stop signal came (or cannot be waited on) instead.
    bool PauseAfterFailure();
    // Runs DoOnSignal on the user-interface thread; false when a handler failed there.
    bool HandOff();
    void DoOnSignal();

    HANDLE CommHandle;  // the component's; it closes it only after this thread has ended
    // Written by the system when a wait completes; read on the user-interface thread only
    // while this thread is blocked in the hand-off, before it starts the next wait.
    DWORD EventMask = 0;
    // Made here rather than at the start of the run, so a Stop that comes before the thread
    // has run at all still ends it.
    OwnedHandle CloseEvent;
    // Written by the user-interface thread; read by this thread after each hand-off (a stale
    // read costs one more pass, and CloseEvent wakes the wait).
    std::atomic<bool> terminated_{false};
    // A handler's failure, stored by the user-interface thread inside the hand-off and read
    // by this thread after SendMessage has returned.
    std::exception_ptr handoff_failure_;
    HWND handoff_window_ = nullptr;  // message-only, owned by the user-interface thread
    OwnedHandle thread_;
};
