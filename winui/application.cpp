// The application object: task bar window, message loops, closing and minimising the
// program as a whole, and the general error report.
#include "winui/application.h"

#include <commctrl.h>

#include <algorithm>
#include <stdexcept>

#include "winports/wide_text.h"
#include "winui/form.h"

TApplication Application;

namespace {

const char kApplicationClass[] = "TApplication";
const char kMessageBoxClass[] = "#32770";

bool CanTakeActivation(HWND application, HWND window) {
    return window != nullptr && window != application && IsWindow(window) && IsWindowVisible(window) &&
           IsWindowEnabled(window);
}

void ActivateLastPopup(HWND application) {
    HWND popup = GetLastActivePopup(application);
    if (CanTakeActivation(application, popup)) SetActiveWindow(popup);
}

// The application window has no size of its own; it carries the task bar button, hands the
// activation on to the window that the user last worked in, and takes the task bar's
// close, minimise and restore for the program as a whole.
LRESULT CALLBACK ApplicationWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_ACTIVATE:
        if (LOWORD(wparam) != WA_INACTIVE) ActivateLastPopup(hwnd);
        return 0;
    case WM_CLOSE:
        Application.CloseProgram();
        return 0;
    case WM_QUERYENDSESSION:
        return Application.SessionHeld() ? FALSE : TRUE;
    case WM_ENDSESSION:
        if (wparam) Application.EndSession();
        return 0;
    case WM_SYSCOMMAND:
        switch (wparam & 0xFFF0) {
        case SC_MINIMIZE:
            Application.Minimize();
            return 0;
        case SC_RESTORE:
            Application.Restore();
            return 0;
        default:
            return DefWindowProcA(hwnd, message, wparam, lparam);
        }
    default:
        return DefWindowProcA(hwnd, message, wparam, lparam);
    }
}

BOOL CALLBACK FindEnabledMessageBox(HWND hwnd, LPARAM found) {
    char window_class[16];
    GetClassNameA(hwnd, window_class, sizeof window_class);
    if (lstrcmpA(window_class, kMessageBoxClass) != 0 || !IsWindowVisible(hwnd) || !IsWindowEnabled(hwnd)) {
        return TRUE;
    }
    *reinterpret_cast<HWND*>(found) = hwnd;
    return FALSE;
}

}  // namespace

void TApplication::Initialize(HINSTANCE instance) {
    instance_ = instance;
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.lpfnWndProc = ApplicationWindowProc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    window_class.lpszClassName = kApplicationClass;
    if (RegisterClassExA(&window_class) == 0) {
        throw std::runtime_error("Cannot register the application window (Error: " + std::to_string(GetLastError()) +
                                 ")");
    }
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2;
    handle_ = CreateWindowExA(0, kApplicationClass, title_.c_str(),
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, x, y, 0, 0,
                              nullptr, nullptr, instance, nullptr);
    if (handle_ == nullptr) {
        throw std::runtime_error("Cannot create the application window (Error: " + std::to_string(GetLastError()) +
                                 ")");
    }
}

void TApplication::SetTitle(const std::string& title) {
    title_ = title;
    if (handle_ != nullptr) SetWindowTextA(handle_, title_.c_str());
}

void TApplication::Run() {
    if (main_form_ != nullptr) {
        ShowWindow(handle_, SW_SHOWNOACTIVATE);
        main_form_->Show();
        while (!terminated_) HandleMessage();
    }
    DestroyForms();
    if (handle_ != nullptr) DestroyWindow(handle_);
    handle_ = nullptr;
}

void TApplication::DestroyForms() {
    const auto main =
        std::find_if(forms_.begin(), forms_.end(), [this](const CreatedForm& f) { return f.form.get() == main_form_; });
    if (main != forms_.end()) {
        main->form.reset();
        main->clear_reference();
        forms_.erase(main);
    }
    main_form_ = nullptr;
    while (!forms_.empty()) {
        forms_.back().form.reset();
        forms_.back().clear_reference();
        forms_.pop_back();
    }
}

void TApplication::HandleMessage() {
    if (terminated_) return;
    MSG msg;
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) {
        terminated_ = true;
        return;
    }
    Dispatch(msg);
}

void TApplication::ProcessMessages() {
    // Runs on after the quit too: the waits inside handlers end by their timers.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            terminated_ = true;
            return;
        }
        Dispatch(msg);
    }
}

void TApplication::Dispatch(MSG& msg) {
    HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    TForm* form = root != nullptr ? TForm::FromHandle(root) : nullptr;
    if (form != nullptr && form->DialogKeys() && IsDialogMessageA(root, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
}

void TApplication::CloseProgram() {
    closing_ = true;
    ContinueClosing();
}

void TApplication::ContinueClosing() {
    if (!closing_) return;
    if (message_boxes_ > 0) {
        // Its end brings the next step.
        HWND box = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), FindEnabledMessageBox, reinterpret_cast<LPARAM>(&box));
        if (box != nullptr) PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        return;
    }
    if (!modal_forms_.empty()) {
        TForm* form = modal_forms_.back();
        form->Close();
        if (!form->CloseRequested()) closing_ = false;  // the form stays, and so does the program
        return;
    }
    closing_ = false;
    // Posted, so that the handler that showed the last modal form returns before the main
    // form goes.
    if (main_form_ != nullptr && main_form_->Handle() != nullptr) {
        PostMessageA(main_form_->Handle(), WM_CLOSE, 0, 0);
    }
}

void TApplication::Minimize() {
    // Minimising activates the application window itself, so the window to come back to is
    // taken now.
    active_before_minimize_ = GetActiveWindow();
    ShowOwnedPopups(handle_, FALSE);
    ShowWindow(handle_, SW_MINIMIZE);
}

void TApplication::Restore() {
    ShowWindow(handle_, SW_RESTORE);
    ShowOwnedPopups(handle_, TRUE);
    if (CanTakeActivation(handle_, active_before_minimize_)) {
        SetActiveWindow(active_before_minimize_);
    } else {
        ActivateLastPopup(handle_);
    }
    active_before_minimize_ = nullptr;
}

void TApplication::ModalStarted(TForm& form) { modal_forms_.push_back(&form); }

void TApplication::ModalEnded(TForm& form) {
    modal_forms_.erase(std::remove(modal_forms_.begin(), modal_forms_.end(), &form), modal_forms_.end());
    ContinueClosing();
}

void TApplication::HoldSession(const wchar_t* reason) {
    if (session_holds_++ > 0) return;
    // Both are courtesies to the user: where one fails the work goes on without it.
    SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    if (main_form_ != nullptr && main_form_->Handle() != nullptr) {
        ShutdownBlockReasonCreate(main_form_->Handle(), reason);
    }
}

void TApplication::ReleaseSession() {
    if (--session_holds_ > 0) return;
    SetThreadExecutionState(ES_CONTINUOUS);
    if (main_form_ != nullptr && main_form_->Handle() != nullptr) ShutdownBlockReasonDestroy(main_form_->Handle());
}

void TApplication::EndSession() {
    if (session_ended_ || main_form_ == nullptr) return;
    session_ended_ = true;
    main_form_->SessionEnding();
}

HWND TApplication::MessageOwner() const {
    HWND active = GetActiveWindow();
    return active != nullptr && IsWindowVisible(active) ? active : handle_;
}

void TApplication::MessageBoxOnce(const std::string& text, UINT type) {
    // Once the program is ending nobody would read it: the box would end at once.
    if (terminated_) return;
    ++message_boxes_;
    MessageBoxW(MessageOwner(), WideFromUtf8(text).c_str(), WideFromUtf8(title_).c_str(), type);
    --message_boxes_;
    // A quit that came while the box was up ended it and was posted again: record it.
    MSG msg;
    if (PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) terminated_ = true;
    ContinueClosing();
}

void TApplication::ShowMessage(const std::string& text) { MessageBoxOnce(text, MB_OK); }

void TApplication::ShowException(const std::string& text) { MessageBoxOnce(text, MB_OK | MB_ICONERROR); }

std::wstring ProgramFilePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) {
            throw std::runtime_error("Cannot find the program file (Error: " + std::to_string(GetLastError()) + ")");
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}
