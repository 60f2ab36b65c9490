// The test terminal's screen: 24 lines of 80 characters, a cursor, and a one-cell mark,
// fed by the received byte stream. Drawing goes through TerminalCanvas, so the same model
// runs in the window and in tests.
#pragma once

#include <cstdint>

enum class MarkColour { Black, White };

class TerminalCanvas {
public:
    // A 1-pixel horizontal or vertical line from (x0, y0) to (x1, y1), end point excluded.
    virtual void DrawLine(int x0, int y0, int x1, int y1, MarkColour colour) = 0;
    // Opaque text, black on white, with its top-left corner at (x, y).
    virtual void PutText(int x, int y, const char* text, int length) = 0;
    // Erases the client area to white and paints it again; TerminalScreen::FormPaint runs
    // before this returns.
    virtual void FullRepaint() = 0;

protected:
    ~TerminalCanvas() = default;
};

class TerminalScreen {
public:
    static constexpr int kColumns = 80;
    static constexpr int kRows = 24;

    explicit TerminalScreen(TerminalCanvas& canvas) : canvas_(canvas) {}

    // Interprets received bytes in order; state (an escape sequence included) carries over.
    void Receive(const uint8_t* bytes, int count);
    void FormPaint();

    void ShowMark();
    void HideMark();
    void MoveMark(int column, int row);
    void PutText(const uint8_t* line);  // line is a short string: length byte, characters
    void RedrawScreen();
    void ScrollUp();

    // All of this lives for the whole run and is touched only on the user-interface thread.
    uint8_t ScreenLines[kRows][1 + kColumns] = {};  // short strings: length byte, characters
    int32_t CursorRow = 0;                          // 0..23
    uint16_t CursorCol = 1;                         // 1..81; 81 only right after column 80 was written
    uint8_t EscState = 0;                           // 0 normal, 1 column byte next, 2 row byte next
    uint16_t MarkX = 8;                             // 8 x the mark's 1-based column
    uint16_t MarkY = 14;                            // 14 x the mark's 1-based row
    bool MarkShown = false;

private:
    void ReceiveByte(uint8_t b);
    void WriteChar(uint8_t ch);
    void LineFeed();
    void ClearScreen();
    void DrawMark(MarkColour colour);

    TerminalCanvas& canvas_;
};
