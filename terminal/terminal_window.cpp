// The test terminal window. The grid is drawn outside WM_PAINT as bytes arrive, through
// the window's device context; a paint draws it all again from the screen model. The screen
// model speaks design pixels (96 DPI); they are scaled here, the font with the form.
#include "terminal/terminal_window.h"

#include <algorithm>

#include "device/device_link.h"

TForm2* Form2 = nullptr;

namespace {

constexpr int32_t kReadCap = 10000;
const RECT kBevel{8, 32, 8 + 665, 32 + 385};

FormDesign TerminalDesign() {
    FormDesign design;
    design.class_name = "TForm2";
    design.caption = "Simple RS232 terminal";
    design.width = 683;
    design.height = 496;
    design.size = FormSize::Client;
    design.position = FormPosition::ScreenCenter;
    design.style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    design.colour = RGB(255, 255, 255);
    design.system_colour = false;
    design.font = FontSpec{"Courier New", 13, false, ANSI_CHARSET, FIXED_PITCH | FF_MODERN};
    return design;
}

}  // namespace

TForm2::TForm2() : TForm(TerminalDesign()) {}

void TForm2::CreateControls() {
    LabelStyle fixed;
    fixed.auto_size = false;
    Label1.Create(*this, 2001, Bounds{8, 424, 640, 16},
                  "To test your USB to RS232 converter - short pin 2 to 3 and type on your keyboard", fixed);
    Label2.Create(*this, 2002, Bounds{8, 440, 560, 16},
                  "If your converter is connected to this app you will see what you type.", fixed);
    Label3.Create(*this, 2003, Bounds{8, 456, 656, 16},
                  "If your device is connected and at least its TX is connected to the RX of your USB", fixed);
    Label4.Create(*this, 2004, Bounds{8, 472, 480, 16},
                  "converter you should see \"OK\" when you switch on the device.", fixed);
}

void TForm2::Comm1RxChar(TCustomComm*, int32_t count) {
    uint8_t buffer[kReadCap];
    const int32_t got = DeviceComm().Read(buffer, std::clamp(count, 0, kReadCap));
    if (got <= 0) return;
    Screen.Receive(buffer, got);
}

void TForm2::FormPaint(HDC dc) {
    RECT bevel{Scale(kBevel.left), Scale(kBevel.top), Scale(kBevel.right), Scale(kBevel.bottom)};
    DrawEdge(dc, &bevel, BDR_RAISEDINNER, BF_RECT);
    Screen.FormPaint();
}

void TForm2::FormKeyPress(char key) {
    const uint8_t byte = static_cast<uint8_t>(key);
    DeviceComm().Write(&byte, 1);
}

void TForm2::DrawLine(int x0, int y0, int x1, int y1, MarkColour colour) {
    const WindowDC dc(Handle());
    HGDIOBJ old = SelectObject(dc.Get(), colour == MarkColour::Black ? black_pen_.Handle() : white_pen_.Handle());
    MoveToEx(dc.Get(), Scale(x0), Scale(y0), nullptr);
    LineTo(dc.Get(), Scale(x1), Scale(y1));
    SelectObject(dc.Get(), old);
}

void TForm2::PutText(int x, int y, const char* text, int length) {
    const WindowDC dc(Handle());
    HGDIOBJ old = SelectObject(dc.Get(), Font());
    SetBkMode(dc.Get(), OPAQUE);
    SetBkColor(dc.Get(), RGB(255, 255, 255));
    SetTextColor(dc.Get(), RGB(0, 0, 0));
    TextOutA(dc.Get(), Scale(x), Scale(y), text, length);
    SelectObject(dc.Get(), old);
}

void TForm2::FullRepaint() {
    InvalidateRect(Handle(), nullptr, TRUE);
    UpdateWindow(Handle());
}
