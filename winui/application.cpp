// The application object: task bar window, message loops and the general error report.
#include "winui/application.h"

#include <commctrl.h>

#include <stdexcept>

#include "winui/form.h"

TApplication Application;

namespace {

const char kApplicationClass[] = "TApplication";

// The application window has no size of its own; it carries the task bar button and hands
// the activation on to the window that the user last worked in.
LRESULT CALLBACK ApplicationWindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_ACTIVATE:
        if (LOWORD(wparam) != WA_INACTIVE) {
            HWND popup = GetLastActivePopup(hwnd);
            if (popup != hwnd && IsWindowVisible(popup) && IsWindowEnabled(popup)) {
                SetActiveWindow(popup);
            }
        }
        return 0;
    case WM_CLOSE:
        if (Application.MainForm() != nullptr) Application.MainForm()->Close();
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wparam, lparam);
    }
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
        throw std::runtime_error("Cannot register the application window (Error: " +
                                 std::to_string(GetLastError()) + ")");
    }
    const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
    const int y = GetSystemMetrics(SM_CYSCREEN) / 2;
    handle_ = CreateWindowExA(0, kApplicationClass, title_.c_str(),
                              WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX,
                              x, y, 0, 0, nullptr, nullptr, instance, nullptr);
    if (handle_ == nullptr) {
        throw std::runtime_error("Cannot create the application window (Error: " +
                                 std::to_string(GetLastError()) + ")");
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
        while (HandleMessage()) {
        }
    }
    while (!forms_.empty()) forms_.pop_back();
    if (handle_ != nullptr) DestroyWindow(handle_);
    handle_ = nullptr;
}

bool TApplication::HandleMessage() {
    MSG msg;
    const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0 || got == -1) return false;
    Dispatch(msg);
    return true;
}

void TApplication::ProcessMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
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

HWND TApplication::MessageOwner() const {
    HWND active = GetActiveWindow();
    return active != nullptr && IsWindowVisible(active) ? active : handle_;
}

void TApplication::ShowMessage(const std::string& text) {
    MessageBoxA(MessageOwner(), text.c_str(), title_.c_str(), MB_OK);
}

void TApplication::ShowException(const std::string& text) {
    MessageBoxA(MessageOwner(), text.c_str(), title_.c_str(), MB_OK | MB_ICONERROR);
}

std::string ProgramFilePath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD length = GetModuleFileNameA(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0) {
            throw std::runtime_error("Cannot find the program file (Error: " +
                                     std::to_string(GetLastError()) + ")");
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}
