// The console's handler runs in a thread of its own that Windows starts for each event; the
// session's window has a thread of its own too. Neither touches the run: they count, wake the
// wait, and, when Windows ends the process anyway, give the run the time to end by itself.
#include "flash/win32/stop_requests.h"

#include <atomic>
#include <cstdio>

#include "flash/run/platform.h"
#include "flash/win32/serial_port.h"
#include "flash/win32/system_error.h"
#include "winports/owned_handle.h"

namespace {

// The signals a Linux shell would report, so that a script reads the same exit status:
// Ctrl-C and Ctrl-Break as SIGINT (130), the console closed or the session ending as SIGHUP.
constexpr int kInterrupt = 2;
constexpr int kHangUp = 1;
// Windows ends a console program 5 s after its console was closed or its session's end was
// told: what is still being written stops at its next frame (1.1 s at 9600 baud) before then,
// so that each radio's record line says "stopped" and is on the disk.
constexpr DWORD kStopWritesAfterMs = 2500;
constexpr DWORD kEndingGraceMs = 4800;
constexpr UINT kWritesMessage = WM_APP + 1;

std::atomic<int> g_requests{0};
std::atomic<int> g_last_signal{kInterrupt};
std::atomic<int> g_writes{0};
OwnedHandle g_stop_event;
std::atomic<HWND> g_session_window{nullptr};

void CountRequest(int signal_number, bool hang_up) {
    // A closed console and an ending session are no person asking twice.
    if (hang_up && g_requests > 0) return;
    g_last_signal = signal_number;
    ++g_requests;
    SetEvent(g_stop_event.Get());
    WakeTheWait();
}

// The process ends soon whatever it does. No new radio starts; a write still under way then
// stops at its next frame, and the run has what time is left to write its records and end.
void HoldWhileEnding() {
    CountRequest(kHangUp, true);
    if (g_writes == 0) {
        Sleep(kEndingGraceMs);
        return;
    }
    Sleep(kStopWritesAfterMs);
    g_last_signal = kHangUp;
    ++g_requests;
    WakeTheWait();
    Sleep(kEndingGraceMs - kStopWritesAfterMs);
}

BOOL WINAPI OnConsoleControl(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        CountRequest(kInterrupt, false);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        HoldWhileEnding();
        return TRUE;
    default:
        return FALSE;
    }
}

const wchar_t kBlockReason[] = L"q42flash is writing firmware into a radio: a radio stopped now does not start again";

LRESULT CALLBACK SessionWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case kWritesMessage:
        // A courtesy to the user: where it fails the write goes on without it.
        if (wparam != 0) {
            ShutdownBlockReasonCreate(window, kBlockReason);
        } else {
            ShutdownBlockReasonDestroy(window);
        }
        return 0;
    case WM_QUERYENDSESSION:
        if (g_writes == 0) return TRUE;
        // Not now: the writes go on to their end, and no new radio starts.
        CountRequest(kHangUp, true);
        return FALSE;
    case WM_ENDSESSION:
        if (wparam != 0) HoldWhileEnding();
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

// The session's end is told to top-level windows only: a hidden one, in a thread of its own
// so that it answers while the run's thread sleeps in its wait.
DWORD WINAPI SessionWindowThread(void* ready) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = SessionWindowProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"Q42FlashSession";
    HWND window = nullptr;
    if (RegisterClassW(&window_class) != 0) {
        window = CreateWindowExW(0, window_class.lpszClassName, L"q42flash", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                 nullptr, window_class.hInstance, nullptr);
    }
    g_session_window = window;
    SetEvent(static_cast<HANDLE>(ready));
    if (window == nullptr) return 1;
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}

}  // namespace

bool PrepareStopRequests(std::string& error) {
    g_stop_event.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!g_stop_event.Valid() || !SetConsoleCtrlHandler(OnConsoleControl, TRUE)) {
        error = "cannot set up Ctrl-C (" + SystemErrorWords(GetLastError()) + ")";
        return false;
    }
    // Without the window the session's end is not held: the run goes on all the same.
    const OwnedHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready.Valid()) return true;
    const OwnedHandle thread(CreateThread(nullptr, 0, SessionWindowThread, ready.Get(), 0, nullptr));
    if (thread.Valid()) WaitForSingleObject(ready.Get(), 5000);
    return true;
}

HANDLE StopEvent() { return g_stop_event.Get(); }

int StopRequests() { return g_requests; }

int LastStopSignal() { return g_last_signal; }

std::string StopAgainHint() { return "Ctrl-C again stops at once"; }

void EndByStopSignal() {
    std::fflush(stdout);
    std::fflush(stderr);
    ExitProcess(static_cast<UINT>(128 + g_last_signal));
}

void WritesUnderWay(int count) {
    const int before = g_writes.exchange(count);
    if ((before > 0) == (count > 0)) return;
    // Kept by this thread's state until it is reset here: the run's thread lives as long as the run.
    SetThreadExecutionState(count > 0 ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
    const HWND window = g_session_window;
    if (window != nullptr) PostMessageW(window, kWritesMessage, count > 0 ? 1 : 0, 0);
}
