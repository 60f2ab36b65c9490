// The serial event thread and its hand-off: the thread sends a message to a hidden
// message-only window of the user-interface thread, which runs the handlers whenever it
// retrieves messages; SendMessage blocks the event thread until they have returned.
#include "serial/comm_event_thread.h"

#include "serial/comm_settings.h"

#include <stdexcept>

namespace {

constexpr UINT kHandOffMessage = WM_APP + 1;
constexpr const char* kHandOffClass = "Q42CommHandOff";

}  // namespace

LRESULT CALLBACK TCommEventThread::HandOffWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
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
    : CommHandle(comm_handle), CloseEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    static const bool registered = [] {
        WNDCLASSEXA window_class{};
        window_class.cbSize = sizeof window_class;
        window_class.lpfnWndProc = HandOffWindowProc;
        window_class.hInstance = GetModuleHandleA(nullptr);
        window_class.lpszClassName = kHandOffClass;
        return RegisterClassExA(&window_class) != 0;
    }();
    if (registered) {
        handoff_window_ = CreateWindowExA(0, kHandOffClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          GetModuleHandleA(nullptr), nullptr);
    }
    if (!handoff_window_ || !CloseEvent.Valid()) {
        if (handoff_window_) DestroyWindow(handoff_window_);
        throw std::runtime_error("The serial port's event thread cannot be started.");
    }
    thread_.Reset(CreateThread(nullptr, 0, ThreadEntry, this, CREATE_SUSPENDED, nullptr));
    if (!thread_.Valid()) {
        DestroyWindow(handoff_window_);
        throw std::runtime_error("The serial port's event thread cannot be started.");
    }
    SetThreadPriority(thread_.Get(), THREAD_PRIORITY_HIGHEST);
    SetCommMask(CommHandle, SystemEventMask(events));
    ResumeThread(thread_.Get());
}

TCommEventThread::~TCommEventThread()
{
    Stop();
    WaitFor();
    DestroyWindow(handoff_window_);
}

void TCommEventThread::Stop()
{
    SetEvent(CloseEvent.Get());
    terminated_ = true;
}

void TCommEventThread::WaitFor()
{
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

DWORD WINAPI TCommEventThread::ThreadEntry(LPVOID self)
{
    try {
        static_cast<TCommEventThread*>(self)->Execute();
    } catch (...) {
        // Nothing to report to: the run just ends.
    }
    return 0;
}

void TCommEventThread::Execute()
{
    OVERLAPPED request{};
    OwnedHandle port_event(CreateEventA(nullptr, TRUE, TRUE, nullptr));
    if (!port_event.Valid()) return;
    request.hEvent = port_event.Get();
    const HANDLE signals[2] = {CloseEvent.Get(), port_event.Get()};

    bool waiting = false;        // a WaitCommEvent is outstanding
    bool failed_before = false;  // the last wait ended in a failure
    bool purge = true;
    for (;;) {
        if (!WaitCommEvent(CommHandle, &EventMask, &request) && GetLastError() != ERROR_IO_PENDING) {
            // Failing at once (an empty event mask, a device gone) would fail again at once:
            // rather than spin, end as when the wait itself fails.
            break;
        }
        waiting = true;
        if (WaitForMultipleObjects(2, signals, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
            break;  // the stop signal, or the wait failed
        }
        waiting = false;
        DWORD ignored = 0;
        if (!GetOverlappedResult(CommHandle, &request, &ignored, FALSE)) {
            // One failed wait is skipped. A second in a row means the port has no more
            // events to give (a device gone, or a driver that ends every wait at once with a
            // failure): rather than spin, end as when the wait itself fails.
            if (failed_before || terminated_) break;
            failed_before = true;
            continue;
        }
        failed_before = false;
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

bool TCommEventThread::HandOff()
{
    handoff_failure_ = nullptr;
    SendMessageA(handoff_window_, kHandOffMessage, 0, reinterpret_cast<LPARAM>(this));
    return !handoff_failure_;
}

void TCommEventThread::DoOnSignal()
{
    if (OnSignal) OnSignal(this, EventMask);
}
