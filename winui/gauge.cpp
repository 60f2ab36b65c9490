// The progress gauge: a progress bar with its percentage drawn over it.
#include "winui/gauge.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "winui/form.h"

int PercentDone(int min_value, int max_value, int progress) {
    const long long span = static_cast<long long>(max_value) - min_value;
    if (span <= 0) return 0;
    return static_cast<int>((static_cast<long long>(progress) - min_value) * 100 / span);
}

void TGauge::Create(TForm& form, int id, const Bounds& bounds) {
    handle_ = MakeWindow(form, PROGRESS_CLASSA, "", PBS_SMOOTH, 0, bounds, id);
    if (!SetWindowSubclass(handle_, PaintPercent, 1, reinterpret_cast<DWORD_PTR>(this))) {
        throw std::runtime_error("Cannot set up the progress gauge");
    }
    Apply();
}

TGauge::~TGauge() {
    if (handle_ != nullptr && IsWindow(handle_)) RemoveWindowSubclass(handle_, PaintPercent, 1);
}

void TGauge::SetMaxValue(int value) {
    if (value < min_value_) throw std::invalid_argument("Gauge maximum below its minimum");
    max_value_ = value;
    progress_ = std::min(progress_, max_value_);
    Apply();
}

void TGauge::SetProgress(int value) {
    progress_ = std::max(min_value_, std::min(value, max_value_));
    Apply();
}

void TGauge::Apply() {
    SendMessageA(handle_, PBM_SETRANGE32, static_cast<WPARAM>(min_value_), max_value_);
    SendMessageA(handle_, PBM_SETPOS, static_cast<WPARAM>(progress_), 0);
    InvalidateRect(handle_, nullptr, TRUE);
}

LRESULT CALLBACK TGauge::PaintPercent(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR,
                                      DWORD_PTR self_param) {
    if (message != WM_PAINT) return DefSubclassProc(hwnd, message, wparam, lparam);
    auto* self = reinterpret_cast<TGauge*>(self_param);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    // The progress bar paints into a given device context, so the text goes on top of it.
    DefSubclassProc(hwnd, WM_PAINT, reinterpret_cast<WPARAM>(dc), 0);
    char text[8];
    std::snprintf(text, sizeof text, "%d%%", PercentDone(self->min_value_, self->max_value_, self->progress_));
    RECT client;
    GetClientRect(hwnd, &client);
    HGDIOBJ old = SelectObject(dc, self->form_->Font());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextA(dc, text, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    SelectObject(dc, old);
    EndPaint(hwnd, &paint);
    return 0;
}
