// The test terminal window: shows what comes back on the line in an 80 by 24 grid drawn with
// GDI, and sends every typed character straight to the port.
#pragma once

#include <cstdint>

#include "core/terminal_screen.h"
#include "serial/serial_comm.h"
#include "winui/controls.h"
#include "winui/form.h"
#include "winui/gdi.h"

class TForm2 : public TForm, public TerminalCanvas {
public:
    TForm2();

    TLabel Label1;
    TLabel Label2;
    TLabel Label3;
    TLabel Label4;
    // Survives closing: the window shows the same text when it is opened again.
    TerminalScreen Screen{*this};

    // Called by the main window's receive dispatcher while this window is showing.
    void Comm1RxChar(TCustomComm* sender, int32_t count);

    void DrawLine(int x0, int y0, int x1, int y1, MarkColour colour) override;
    void PutText(int x, int y, const char* text, int length) override;
    void FullRepaint() override;

protected:
    void CreateControls() override;
    void FormPaint(HDC dc) override;
    void FormKeyPress(char key) override;

private:
    OwnedPen black_pen_{RGB(0, 0, 0)};
    OwnedPen white_pen_{RGB(255, 255, 255)};
};

extern TForm2* Form2;
