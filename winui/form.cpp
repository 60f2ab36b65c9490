// Forms of the window layer: creation, showing (plain and modal), closing and the routing
// of window messages to the form's handlers and controls.
#include "winui/form.h"

#include <dbt.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <utility>

#include "winui/application.h"
#include "winui/controls.h"
#include "winui/timer.h"

namespace {

const char kFormProperty[] = "Q42Form";

std::runtime_error WindowsError(const std::string& what) {
    return std::runtime_error(what + " (Error: " + std::to_string(GetLastError()) + ")");
}

// Disables every enabled, visible top-level window of this thread but one, for a modal form;
// enables them again when it goes out of scope. The application window stays enabled: it
// takes no input of its own, and the task bar must still reach it.
class ThreadWindowsDisabled {
public:
    explicit ThreadWindowsDisabled(HWND keep) : keep_(keep) {
        EnumThreadWindows(GetCurrentThreadId(), Disable, reinterpret_cast<LPARAM>(this));
    }
    ~ThreadWindowsDisabled() {
        for (HWND hwnd : disabled_) EnableWindow(hwnd, TRUE);
    }
    ThreadWindowsDisabled(const ThreadWindowsDisabled&) = delete;
    ThreadWindowsDisabled& operator=(const ThreadWindowsDisabled&) = delete;

private:
    static BOOL CALLBACK Disable(HWND hwnd, LPARAM self_param) {
        auto* self = reinterpret_cast<ThreadWindowsDisabled*>(self_param);
        if (hwnd != self->keep_ && hwnd != Application.Handle() && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)) {
            EnableWindow(hwnd, FALSE);
            self->disabled_.push_back(hwnd);
        }
        return TRUE;
    }

    HWND keep_;
    std::vector<HWND> disabled_;
};

}  // namespace

TForm::TForm(FormDesign design)
    : design_(std::move(design)),
      colour_(design_.system_colour ? GetSysColor(static_cast<int>(design_.colour)) : design_.colour),
      brush_(design_.system_colour ? GetSysColorBrush(static_cast<int>(design_.colour))
                                   : CreateSolidBrush(design_.colour)) {}

TForm::~TForm() {
    if (handle_ != nullptr) DestroyWindow(handle_);
    if (!design_.system_colour) DeleteObject(brush_);
}

TForm* TForm::FromHandle(HWND hwnd) { return static_cast<TForm*>(GetPropA(hwnd, kFormProperty)); }

void TForm::RegisterClassOnce() const {
    WNDCLASSEXA existing{};
    existing.cbSize = sizeof existing;
    if (GetClassInfoExA(Application.Instance(), design_.class_name, &existing)) return;
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof window_class;
    window_class.style = CS_DBLCLKS;
    window_class.lpfnWndProc = WindowProc;
    window_class.hInstance = Application.Instance();
    window_class.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
    window_class.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    window_class.lpszClassName = design_.class_name;
    if (RegisterClassExA(&window_class) == 0) throw WindowsError("Cannot register the window class");
}

SIZE TForm::DesignClientSize() const {
    if (design_.size == FormSize::Client) return SIZE{design_.width, design_.height};
    const SIZE frame = FrameSize(design_.style, design_.menu != nullptr, design_.ex_style, kDesignDpi);
    return SIZE{design_.width - frame.cx, design_.height - frame.cy};
}

RECT TForm::DesignedBounds() const {
    // The client area is what the design scales; the frame is the display's own.
    const SIZE client = DesignClientSize();
    const SIZE frame = FrameSize(design_.style, design_.menu != nullptr, design_.ex_style, dpi_);
    const int width = Scale(client.cx) + frame.cx;
    const int height = Scale(client.cy) + frame.cy;
    int left = Scale(design_.left);
    int top = Scale(design_.top);
    if (design_.position == FormPosition::ScreenCenter) {
        left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
        top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    }
    return RECT{left, top, left + width, top + height};
}

void TForm::Create() {
    dpi_ = SystemDpi();
    font_ = OwnedFont(design_.font, dpi_);
    RegisterClassOnce();
    const RECT r = DesignedBounds();
    HMENU menu = nullptr;
    if (design_.menu != nullptr) {
        menu = LoadMenuA(Application.Instance(), design_.menu);
        if (menu == nullptr) throw WindowsError("Cannot load the menu of " + design_.caption);
    }
    const bool system_place = design_.position == FormPosition::Default;
    if (CreateWindowExA(design_.ex_style | WS_EX_CONTROLPARENT, design_.class_name, design_.caption.c_str(),
                        design_.style & ~WS_VISIBLE, system_place ? CW_USEDEFAULT : r.left,
                        system_place ? CW_USEDEFAULT : r.top, r.right - r.left, r.bottom - r.top, Application.Handle(),
                        menu, Application.Instance(), this) == nullptr) {
        const std::runtime_error error = WindowsError("Cannot create the window " + design_.caption);
        if (menu != nullptr) DestroyMenu(menu);
        throw error;
    }
    // A display of its own, other than the system's, may already hold the new window.
    const int dpi = WindowDpi(handle_);
    if (dpi != dpi_) {
        RECT placed;
        GetWindowRect(handle_, &placed);
        dpi_ = dpi;
        const RECT sized = DesignedBounds();
        ChangeDpi(dpi, RECT{placed.left, placed.top, placed.left + sized.right - sized.left,
                            placed.top + sized.bottom - sized.top});
    }
    CreateControls();
    Application.Guard([this] { FormCreate(); });
}

void TForm::SetDesignClientHeight(int design_height) {
    const SIZE frame = FrameSize(design_.style, design_.menu != nullptr, design_.ex_style, kDesignDpi);
    design_.height = design_height + (design_.size == FormSize::Client ? 0 : frame.cy);
    fits_work_area_ = true;
    FitToWorkArea();
}

void TForm::FitToWorkArea() {
    if (handle_ == nullptr) return;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(handle_, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& work = monitor.rcWork;
    const SIZE client = DesignClientSize();
    const SIZE frame = FrameSize(design_.style, design_.menu != nullptr, design_.ex_style, dpi_);
    const int height = Scale(client.cy);
    const int room = work.bottom - work.top - frame.cy;
    const bool scrolls = height > room;
    const int shown = scrolls ? room : height;
    // The scroll bar takes its width from the client area: the window widens by it.
    const int width = Scale(client.cx) + frame.cx + (scrolls ? GetSystemMetrics(SM_CXVSCROLL) : 0);
    RECT placed;
    GetWindowRect(handle_, &placed);
    const int top = placed.top + shown + frame.cy > work.bottom ? work.bottom - shown - frame.cy : placed.top;
    if (!scrolls) ScrollTo(0);
    ShowScrollBar(handle_, SB_VERT, scrolls ? TRUE : FALSE);
    SetWindowPos(handle_, nullptr, placed.left, top > work.top ? top : work.top, width, shown + frame.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SCROLLINFO range{};
    range.cbSize = sizeof range;
    range.fMask = SIF_RANGE | SIF_PAGE;
    range.nMax = height - 1;
    range.nPage = static_cast<UINT>(shown);
    SetScrollInfo(handle_, SB_VERT, &range, TRUE);
    ScrollTo(scroll_y_);
}

void TForm::ScrollTo(int y) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_RANGE | SIF_PAGE;
    const int most = GetScrollInfo(handle_, SB_VERT, &info) ? info.nMax + 1 - static_cast<int>(info.nPage) : 0;
    y = std::max(0, std::min(y, most));
    if (y == scroll_y_) return;
    ScrollWindowEx(handle_, 0, scroll_y_ - y, nullptr, nullptr, nullptr, nullptr,
                   SW_SCROLLCHILDREN | SW_INVALIDATE | SW_ERASE);
    scroll_y_ = y;
    info.fMask = SIF_POS;
    info.nPos = y;
    SetScrollInfo(handle_, SB_VERT, &info, TRUE);
}

void TForm::Scrolled(int request) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_ALL;
    if (!GetScrollInfo(handle_, SB_VERT, &info)) return;
    const int line = Scale(20);
    const int page = static_cast<int>(info.nPage);
    switch (request) {
    case SB_LINEUP:
        return ScrollTo(scroll_y_ - line);
    case SB_LINEDOWN:
        return ScrollTo(scroll_y_ + line);
    case SB_PAGEUP:
        return ScrollTo(scroll_y_ - page);
    case SB_PAGEDOWN:
        return ScrollTo(scroll_y_ + page);
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
        return ScrollTo(info.nTrackPos);
    case SB_TOP:
        return ScrollTo(0);
    case SB_BOTTOM:
        return ScrollTo(info.nMax);
    default:
        return;
    }
}

void TForm::ChangeDpi(int dpi, const RECT& bounds) {
    // The controls go back to their design places, which assume nothing scrolled.
    ScrollTo(0);
    dpi_ = dpi;
    // The controls still use the old font until each has been given the new one.
    const OwnedFont old_font = std::exchange(font_, OwnedFont(design_.font, dpi_));
    for (TControl* control : controls_) control->ApplyDpi();
    SetWindowPos(handle_, nullptr, bounds.left, bounds.top, bounds.right - bounds.left, bounds.bottom - bounds.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (fits_work_area_) FitToWorkArea();
    RedrawWindow(handle_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TForm::AddControl(TControl& control) { controls_.push_back(&control); }

void TForm::AddTimer(TTimer& timer) { timers_.push_back(&timer); }

TControl* TForm::ControlOf(HWND hwnd) const {
    for (TControl* control : controls_) {
        if (control->Owns(hwnd)) return control;
    }
    return nullptr;
}

void TForm::Show() {
    Application.Guard([this] { FormShow(); });
    showing_ = true;
    ShowWindow(handle_, SW_SHOWNORMAL);
    UpdateWindow(handle_);
    // The default button takes the focus; without one the form itself receives the keys.
    HWND focus = DefaultButtonId() != 0 ? GetDlgItem(handle_, DefaultButtonId()) : nullptr;
    SetFocus(focus != nullptr ? focus : handle_);
}

void TForm::ShowModal() {
    if (Showing()) throw std::runtime_error("Cannot make a visible window modal");
    modal_ = true;
    close_requested_ = false;
    Application.ModalStarted(*this);
    {
        ThreadWindowsDisabled others(handle_);
        Show();
        // The flag is looked at only between messages of this loop: a close that arrives
        // while a handler runs a loop of its own waits until that handler has returned.
        while (!close_requested_ && !Application.Terminated()) Application.HandleMessage();
    }
    Hide();
    modal_ = false;
    Application.ModalEnded(*this);
}

void TForm::Hide() {
    showing_ = false;
    ShowWindow(handle_, SW_HIDE);
}

void TForm::Close() { SendMessageA(handle_, WM_CLOSE, 0, 0); }

void TForm::SessionEnding() {
    Application.Guard([this] { FormEndSession(); });
}

void TForm::HandleClose() {
    // The main form going while a modal form or a message box is up is the whole program
    // being closed: the windows above it close first, and their handlers return first.
    if (this == Application.MainForm() && Application.InsideModalLoop()) {
        Application.CloseProgram();
        return;
    }
    bool can_close = true;
    FormCloseQuery(can_close);
    if (!can_close) return;
    if (modal_) {
        close_requested_ = true;
    } else if (this == Application.MainForm()) {
        DestroyWindow(handle_);
    } else {
        Hide();
    }
}

LRESULT CALLBACK TForm::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<TForm*>(reinterpret_cast<CREATESTRUCTA*>(lparam)->lpCreateParams);
        self->handle_ = hwnd;
        SetPropA(hwnd, kFormProperty, self);
    }
    TForm* self = FromHandle(hwnd);
    if (self == nullptr) return DefWindowProcA(hwnd, message, wparam, lparam);
    if (message == WM_NCDESTROY) {
        RemovePropA(hwnd, kFormProperty);
        self->handle_ = nullptr;
        return DefWindowProcA(hwnd, message, wparam, lparam);
    }
    try {
        return self->HandleWindowMessage(message, wparam, lparam);
    } catch (const std::exception& e) {
        Application.ShowException(e.what());
    } catch (...) {
        Application.ShowException("Unknown failure");
    }
    return 0;
}

LRESULT TForm::HandleWindowMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CLOSE:
        HandleClose();
        return 0;
    case WM_DESTROY:
        if (this == Application.MainForm()) PostQuitMessage(0);
        return 0;
    // Windows asks every top-level window; any form may answer for the program.
    case WM_QUERYENDSESSION:
        return Application.SessionHeld() ? FALSE : TRUE;
    case WM_ENDSESSION:
        if (wparam) Application.EndSession();
        return 0;
    case WM_COMMAND: {
        HWND from = reinterpret_cast<HWND>(lparam);
        if (from == nullptr) {
            MenuCommand(LOWORD(wparam));
        } else if (TControl* control = ControlOf(from)) {
            control->Command(from, HIWORD(wparam));
        }
        return 0;
    }
    case WM_TIMER:
        for (TTimer* timer : timers_) {
            if (timer->Id() == wparam) timer->Tick();
        }
        return 0;
    case WM_DRAWITEM: {
        const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
        if (TControl* control = ControlOf(item.hwndItem)) control->DrawItem(item);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN: {
        TControl* control = ControlOf(reinterpret_cast<HWND>(lparam));
        HDC dc = reinterpret_cast<HDC>(wparam);
        if (control != nullptr) return reinterpret_cast<LRESULT>(control->Colour(dc));
        SetBkColor(dc, colour_);
        return reinterpret_cast<LRESULT>(brush_);
    }
    case WM_ERASEBKGND: {
        RECT client;
        GetClientRect(handle_, &client);
        FillRect(reinterpret_cast<HDC>(wparam), &client, brush_);
        return 1;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(handle_, &paint);
        // EndPaint must follow whatever the handler does.
        try {
            FormPaint(dc);
        } catch (...) {
            EndPaint(handle_, &paint);
            throw;
        }
        EndPaint(handle_, &paint);
        return 0;
    }
    case WM_CHAR:
        FormKeyPress(static_cast<char>(wparam));
        return 0;
    case WM_VSCROLL:
        Scrolled(LOWORD(wparam));
        return 0;
    case WM_MOUSEWHEEL:
        if (!fits_work_area_) return DefWindowProcA(handle_, message, wparam, lparam);
        ScrollTo(scroll_y_ - GET_WHEEL_DELTA_WPARAM(wparam) * 3 * Scale(20) / WHEEL_DELTA);
        return 0;
    case WM_DPICHANGED:
        // Windows suggests where the window goes, its size already scaled.
        ChangeDpi(LOWORD(wparam), *reinterpret_cast<const RECT*>(lparam));
        return 0;
    case WM_SYSCOMMAND:
        // A form owned by the application window would shrink to a title bar of its own on
        // the desktop; the program minimises as a whole, behind its task bar button.
        if ((wparam & 0xFFF0) == SC_MINIMIZE) {
            Application.Minimize();
            return 0;
        }
        return DefWindowProcA(handle_, message, wparam, lparam);
    case WM_DEVICECHANGE:
        // The arrival's details are not read: the handler asks the system afresh.
        if (wparam == DBT_DEVICEARRIVAL || wparam == DBT_DEVICEREMOVECOMPLETE || wparam == DBT_DEVNODES_CHANGED) {
            FormDeviceChange();
        }
        return DefWindowProcA(handle_, message, wparam, lparam);
    case DM_GETDEFID:
        if (DefaultButtonId() != 0) return MAKELONG(DefaultButtonId(), DC_HASDEFID);
        return 0;
    default:
        return DefWindowProcA(handle_, message, wparam, lparam);
    }
}
