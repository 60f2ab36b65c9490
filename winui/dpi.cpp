// Display scaling of the window layer.
#include "winui/dpi.h"

#include "winui/gdi.h"

#include <stdexcept>
#include <string>

namespace {

// Windows 10 1607 and later.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForSystemFn = UINT(WINAPI*)();
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

template <class Fn>
Fn User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleA("user32.dll");
    return user32 != nullptr ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

// What GDI says: the system DPI, for a program that is DPI aware at all.
int ScreenDpi() {
    const WindowDC screen(nullptr);
    if (!screen.Valid()) return kDesignDpi;
    const int dpi = GetDeviceCaps(screen.Get(), LOGPIXELSX);
    return dpi > 0 ? dpi : kDesignDpi;
}

}  // namespace

int SystemDpi() {
    static const auto get_dpi_for_system = User32Function<GetDpiForSystemFn>("GetDpiForSystem");
    if (get_dpi_for_system != nullptr) return static_cast<int>(get_dpi_for_system());
    return ScreenDpi();
}

int WindowDpi(HWND hwnd) {
    static const auto get_dpi_for_window = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (get_dpi_for_window != nullptr) {
        const UINT dpi = get_dpi_for_window(hwnd);
        if (dpi != 0) return static_cast<int>(dpi);
    }
    return SystemDpi();
}

SIZE FrameSize(DWORD style, bool menu, DWORD ex_style, int dpi) {
    static const auto adjust_for_dpi = User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    RECT r{0, 0, 0, 0};
    const BOOL done = adjust_for_dpi != nullptr
                          ? adjust_for_dpi(&r, style, menu ? TRUE : FALSE, ex_style, static_cast<UINT>(dpi))
                          : AdjustWindowRectEx(&r, style, menu ? TRUE : FALSE, ex_style);
    if (!done) {
        throw std::runtime_error("Cannot size a window (Error: " + std::to_string(GetLastError()) + ")");
    }
    SIZE frame{r.right - r.left, r.bottom - r.top};
    // Before Windows 10 the frame is always the one of the system DPI, the only DPI such a
    // Windows gives the program; another DPI's is taken as that one scaled.
    if (adjust_for_dpi == nullptr && dpi != SystemDpi()) {
        frame.cx = MulDiv(frame.cx, dpi, SystemDpi());
        frame.cy = MulDiv(frame.cy, dpi, SystemDpi());
    }
    return frame;
}
