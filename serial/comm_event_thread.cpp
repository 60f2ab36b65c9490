// The serial event thread and its hand-off: the thread sends a message to a hidden
// message-only window of the user-interface thread, which runs the handlers whenever it
// retrieves messages; SendMessage blocks the event thread until they have returned.
#include "serial/comm_event_thread.h"

#include "serial/comm_settings.h"

namespace {

constexpr UINT kHandOffMessage = WM_APP + 1;
constexpr const char* kHandOffClass = "Q42CommHandOff";
// Between a failed wait and the next. Bytes that arrive meanwhile complete the next wait at
// once, so this is the most that a passing failure delays them.
constexpr DWORD kRetryPauseMs = 100;

}  // namespace

LRESULT CALLBACK TCommEventThread::HandOffWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message != kHandOffMessage) return DefWindowProcA(window, message, wparam, lparam);
    auto* thread = reinterpret_cast<TCommEventThread*>(lparam);
    // A failure must not unwind through Windows; it ends the event thread's run instead.
    try {
        thread->DoOnSignal();
    } catch (...) {
        thread->handoff_failure_ = std::current_exception();
    }
    return 0;
}

TCommEventThread::TCommEventThread(HANDLE comm_handle, TCommEventType events)
    : CommHandle(comm_handle), CloseEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    if (!CloseEvent.Valid()) FailToStart(GetLastError());
    static const DWORD registration_error = [] {
        WNDCLASSEXA window_class{};
        window_class.cbSize = sizeof window_class;
        window_class.lpfnWndProc = HandOffWindowProc;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = kHandOffClass;
        return RegisterClassExA(&window_class) ? DWORD{0} : GetLastError();
    }();
    if (registration_error) FailToStart(registration_error);
    handoff_window_ =
        CreateWindowExA(0, kHandOffClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!handoff_window_) FailToStart(GetLastError());
    // Set before the thread exists, so that a failure leaves no thread to end.
    if (!SetCommMask(CommHandle, SystemEventMask(events))) FailToStart(GetLastError());
    thread_.Reset(CreateThread(nullptr, 0, ThreadEntry, this, CREATE_SUSPENDED, nullptr));
    if (!thread_.Valid()) FailToStart(GetLastError());
    SetThreadPriority(thread_.Get(), THREAD_PRIORITY_HIGHEST);
    if (ResumeThread(thread_.Get()) == static_cast<DWORD>(-1)) {
        const DWORD error = GetLastError();
        // It has run none of its code, so holds nothing that ending it here could leave behind.
        TerminateThread(thread_.Get(), 0);
        WaitForSingleObject(thread_.Get(), INFINITE);
        FailToStart(error);
    }
}

void TCommEventThread::FailToStart(DWORD error) {
    if (handoff_window_) DestroyWindow(handoff_window_);
    throw ECommError("Error creating event thread", static_cast<int32_t>(error));
}

TCommEventThread::~TCommEventThread() {
    Stop();
    WaitFor();
    DestroyWindow(handoff_window_);
}

void TCommEventThread::Stop() {
    SetEvent(CloseEvent.Get());
    terminated_ = true;
}

void TCommEventThread::WaitFor() {
    HANDLE thread = thread_.Get();
    // MWMO_INPUTAVAILABLE: a hand-off already waiting (perhaps seen, not served, by an
    // earlier look at the queue) must wake this wait too, or neither thread would go on.
    do {
        MSG message;
        // Peeking delivers the messages sent to this thread, the hand-off among them.
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    } while (MsgWaitForMultipleObjectsEx(1, &thread, INFINITE, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE) ==
             WAIT_OBJECT_0 + 1);
}

DWORD WINAPI TCommEventThread::ThreadEntry(LPVOID self) {
    try {
        static_cast<TCommEventThread*>(self)->Execute();
    } catch (...) {
        // Nothing to report to: the run just ends.
    }
    return 0;
}

void TCommEventThread::Execute() {
    OVERLAPPED request{};
    OwnedHandle port_event(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    if (!port_event.Valid()) return;
    request.hEvent = port_event.Get();
    const HANDLE signals[2] = {CloseEvent.Get(), port_event.Get()};

    bool waiting = false;  // a WaitCommEvent is outstanding
    bool purge = true;
    for (;;) {
        if (!WaitCommEvent(CommHandle, &EventMask, &request) && GetLastError() != ERROR_IO_PENDING) {
            if (!PauseAfterFailure()) break;
            continue;
        }
        waiting = true;
        if (WaitForMultipleObjects(2, signals, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
            break;  // the stop signal, or the wait failed
        }
        waiting = false;
        DWORD ignored = 0;
        if (!GetOverlappedResult(CommHandle, &request, &ignored, FALSE)) {
            if (!PauseAfterFailure()) break;
            continue;
        }
        if (!HandOff()) {
            purge = false;  // a handler failed: the run ends here, without the purge
            break;
        }
        if (terminated_) break;
    }
    if (waiting) {
        // The wait would complete into EventMask and request after both are gone. Changing
        // the event mask ends it (Wine cannot cancel it with CancelIoEx); let it finish.
        DWORD ignored = 0;
        SetCommMask(CommHandle, 0);
        GetOverlappedResult(CommHandle, &request, &ignored, TRUE);
    }
    if (purge) PurgeComm(CommHandle, PURGE_RXABORT | PURGE_RXCLEAR);
}

bool TCommEventThread::PauseAfterFailure() {
    // A driver with abort-on-error set fails every request after a line error until the
    // error is cleared, and the component clears it only in a hand-off, which a failed wait
    // never reaches.
    DWORD errors = 0;
    ClearCommError(CommHandle, &errors, nullptr);
    // A line that has gone fails each wait at once; the pause keeps the retries from
    // spinning, and Close still ends it at once.
    return WaitForSingleObject(CloseEvent.Get(), kRetryPauseMs) == WAIT_TIMEOUT;
}

bool TCommEventThread::HandOff() {
    handoff_failure_ = nullptr;
    SendMessageA(handoff_window_, kHandOffMessage, 0, reinterpret_cast<LPARAM>(this));
    return !handoff_failure_;
}

void TCommEventThread::DoOnSignal() {
    if (OnSignal) OnSignal(this, EventMask);
}
