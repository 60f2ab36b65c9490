// The test terminal's screen model: interprets the received byte stream (five control codes and
// one absolute positioning sequence) into 24 lines of text, and draws each change on the canvas.
#include "core/terminal_screen.h"

#include <cstring>

namespace {

// Control codes of the terminal's byte stream; every other non-printable byte shows as '?'.
constexpr uint8_t kBackspace = 0x08;
constexpr uint8_t kLineFeed = 0x0A;
constexpr uint8_t kCarriageReturn = 0x0D;
constexpr uint8_t kEscape = 0x1B;
constexpr uint8_t kClearScreen = 0x1D;
constexpr uint8_t kShownForUnknown = '?';

// States of the three-byte positioning sequence: escape, column byte, row byte.
constexpr uint8_t kEscNone = 0;
constexpr uint8_t kEscColumnNext = 1;
constexpr uint8_t kEscRowNext = 2;

// Grid geometry in client pixels. The grid sits one cell in from the client area's corner, so
// column c starts at x = 8c + 8 and row r at y = 14r + 21; the mark runs along y = 14r + 35,
// directly below its cell.
constexpr int kCellWidth = 8;
constexpr int kCellHeight = 14;
constexpr int kTextOffsetX = 8;
constexpr int kTextOffsetY = 21;
constexpr int kMarkOffsetY = 35;

bool IsPrintable(uint8_t b) { return b >= 0x20 && b <= 0x7E; }

}  // namespace

void TerminalScreen::Receive(const uint8_t* bytes, int count) {
    if (bytes == nullptr) return;
    for (int i = 0; i < count; ++i) ReceiveByte(bytes[i]);
}

void TerminalScreen::ReceiveByte(uint8_t b) {
    // The sequence's parameters are taken whatever their value, control codes included.
    if (EscState == kEscColumnNext) {
        CursorCol = static_cast<uint16_t>(b % kColumns + 1);
        EscState = kEscRowNext;
        return;
    }
    if (EscState == kEscRowNext) {
        CursorRow = b % kRows;
        EscState = kEscNone;
        MoveMark(CursorCol, CursorRow + 1);
        return;
    }
    switch (b) {
    case kBackspace:
        // Only moves back; the character under the cursor stays on the line.
        if (CursorCol > 1) {
            --CursorCol;
            MoveMark(CursorCol, CursorRow + 1);
        }
        break;
    case kClearScreen:
        ClearScreen();
        break;
    case kEscape:
        EscState = kEscColumnNext;
        break;
    case kLineFeed:
        LineFeed();
        break;
    case kCarriageReturn:
        CursorCol = 1;  // the mark stays until the next positioning code or character
        break;
    default:
        WriteChar(IsPrintable(b) ? b : kShownForUnknown);
        break;
    }
}

void TerminalScreen::LineFeed() {
    if (CursorRow < kRows - 1) {
        ++CursorRow;
        MoveMark(1, CursorRow + 1);
    } else {
        ScrollUp();
    }
    CursorCol = 1;
}

void TerminalScreen::ClearScreen() {
    std::memset(ScreenLines, 0, sizeof ScreenLines);
    CursorRow = 0;
    CursorCol = 1;
    MarkX = kCellWidth;
    MarkY = kCellHeight;
    canvas_.FullRepaint();
}

void TerminalScreen::WriteChar(uint8_t ch) {
    // A full line is never overwritten in place: the character starts the next row. Column 81
    // only ever follows a write in column 80, which filled the line; it is tested as well so
    // that no path can write past the line's 80 places.
    if (ScreenLines[CursorRow][0] >= kColumns || CursorCol > kColumns) {
        if (CursorRow < kRows - 1) {
            ++CursorRow;
            CursorCol = 1;
        } else {
            ScrollUp();
        }
    }
    uint8_t* line = ScreenLines[CursorRow];
    while (line[0] < CursorCol) {
        ++line[0];
        line[line[0]] = ' ';
    }
    line[CursorCol] = ch;
    ++CursorCol;
    // The whole line is drawn again, so the mark ends behind the line's last character.
    MoveMark(1, CursorRow + 1);
    PutText(line);
}

void TerminalScreen::ScrollUp() {
    for (int i = 0; i + 1 < kRows; ++i) {
        std::memcpy(ScreenLines[i], ScreenLines[i + 1], sizeof ScreenLines[i]);
    }
    std::memset(ScreenLines[kRows - 1], 0, sizeof ScreenLines[kRows - 1]);
    CursorCol = 1;
    MarkX = kCellWidth;  // the mark stays on the bottom row
    canvas_.FullRepaint();
}

void TerminalScreen::FormPaint() {
    const int column = MarkX / kCellWidth;
    const int row = MarkY / kCellHeight;
    RedrawScreen();
    MoveMark(column, row);
}

void TerminalScreen::DrawMark(MarkColour colour) {
    const int x = MarkX / kCellWidth * kCellWidth + kTextOffsetX;
    const int y = MarkY / kCellHeight * kCellHeight + kMarkOffsetY;
    canvas_.DrawLine(x, y, x + kCellWidth, y, colour);
}

void TerminalScreen::ShowMark() {
    MarkShown = true;
    DrawMark(MarkColour::Black);
}

void TerminalScreen::HideMark() {
    MarkShown = false;
    DrawMark(MarkColour::White);
}

void TerminalScreen::MoveMark(int column, int row) {
    if (MarkShown) DrawMark(MarkColour::White);
    MarkX = static_cast<uint16_t>(kCellWidth * column);
    MarkY = static_cast<uint16_t>(kCellHeight * row);
    if (MarkShown) DrawMark(MarkColour::Black);
}

void TerminalScreen::PutText(const uint8_t* line) {
    const int length = line[0];
    canvas_.PutText(MarkX + kTextOffsetX, MarkY + kTextOffsetY, reinterpret_cast<const char*>(line + 1), length);
    MoveMark(MarkX / kCellWidth + length, MarkY / kCellHeight);
}

void TerminalScreen::RedrawScreen() {
    HideMark();
    for (int i = 0; i < kRows; ++i) {
        MoveMark(1, i + 1);
        PutText(ScreenLines[i]);
    }
    ShowMark();
}
