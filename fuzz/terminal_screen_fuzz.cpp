// The terminal's screen model over any received stream, with repaints in between, drawn on a
// canvas that checks every call: every drawing lies in the 683 x 496 client area on the cell
// grid, every line holds at most 80 characters, cursor, escape state and mark stay in range,
// and the picture the calls leave shows exactly the model's lines and one mark.
#include <cstring>

#include "core/terminal_screen.h"
#include "fuzz/fuzz_input.h"

namespace {

constexpr int kRows = TerminalScreen::kRows;
constexpr int kColumns = TerminalScreen::kColumns;
constexpr int kClientWidth = 683;
constexpr int kClientHeight = 496;
constexpr int kCellWidth = 8;
constexpr int kCellHeight = 14;

class CheckingCanvas final : public TerminalCanvas {
public:
    explicit CheckingCanvas(TerminalScreen*& screen) : screen_(screen) { Erase(); }

    void DrawLine(int x0, int y0, int x1, int y1, MarkColour colour) override {
        FUZZ_CHECK(y1 == y0 && x1 == x0 + kCellWidth);
        FUZZ_CHECK(x0 >= 0 && x1 <= kClientWidth && y0 >= 0 && y0 < kClientHeight);
        FUZZ_CHECK(x0 % kCellWidth == 0 && (y0 - 35) % kCellHeight == 0);
        const int column = x0 / kCellWidth - 1;
        const int row = (y0 - 35) / kCellHeight;
        FUZZ_CHECK(column >= 1 && column <= kColumns + 1 && row >= 1 && row <= kRows);
        marks[row - 1][column - 1] = colour == MarkColour::Black;
    }

    void PutText(int x, int y, const char* text, int length) override {
        FUZZ_CHECK(length >= 0 && length <= kColumns);
        FUZZ_CHECK(x >= 0 && y >= 0 && x + kCellWidth * length <= kClientWidth && y + kCellHeight <= kClientHeight);
        FUZZ_CHECK(x % kCellWidth == 0 && (y - 21) % kCellHeight == 0);
        const int column = x / kCellWidth - 1;
        const int row = (y - 21) / kCellHeight;
        FUZZ_CHECK(column >= 1 && row >= 1 && row <= kRows && column - 1 + length <= kColumns);
        std::memcpy(picture[row - 1] + column - 1, text, static_cast<size_t>(length));
    }

    void FullRepaint() override {
        FUZZ_CHECK(!repainting_);
        repainting_ = true;
        Erase();
        screen_->FormPaint();
        repainting_ = false;
    }

    char picture[kRows][kColumns];
    bool marks[kRows][kColumns + 1];

private:
    void Erase() {
        std::memset(picture, ' ', sizeof picture);
        std::memset(marks, 0, sizeof marks);
    }

    TerminalScreen*& screen_;
    bool repainting_ = false;
};

void CheckState(const TerminalScreen& s) {
    FUZZ_CHECK(s.CursorRow >= 0 && s.CursorRow < kRows);
    FUZZ_CHECK(s.CursorCol >= 1 && s.CursorCol <= kColumns + 1);
    FUZZ_CHECK(s.CursorCol <= kColumns || s.ScreenLines[s.CursorRow][0] == kColumns);
    FUZZ_CHECK(s.EscState <= 2);
    FUZZ_CHECK(s.MarkX % kCellWidth == 0 && s.MarkY % kCellHeight == 0);
    const int mark_column = s.MarkX / kCellWidth;
    const int mark_row = s.MarkY / kCellHeight;
    FUZZ_CHECK(mark_column >= 1 && mark_column <= kColumns + 1 && mark_row >= 1 && mark_row <= kRows);
    for (int row = 0; row < kRows; ++row) FUZZ_CHECK(s.ScreenLines[row][0] <= kColumns);
}

// The picture that the drawing calls left shows the model's lines and its one mark.
void CheckPicture(const TerminalScreen& s, const CheckingCanvas& canvas) {
    const int mark_column = s.MarkX / kCellWidth;
    const int mark_row = s.MarkY / kCellHeight;
    for (int row = 0; row < kRows; ++row) {
        const uint8_t* line = s.ScreenLines[row];
        FUZZ_CHECK(std::memcmp(canvas.picture[row], line + 1, line[0]) == 0);
        for (int column = line[0]; column < kColumns; ++column) FUZZ_CHECK(canvas.picture[row][column] == ' ');
        for (int column = 0; column <= kColumns; ++column) {
            const bool here = s.MarkShown && row == mark_row - 1 && column == mark_column - 1;
            FUZZ_CHECK(canvas.marks[row][column] == here);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    TerminalScreen* screen_of_canvas = nullptr;
    CheckingCanvas canvas(screen_of_canvas);
    TerminalScreen screen(canvas);
    screen_of_canvas = &screen;

    // The first byte says whether the window has been shown (painted) before bytes arrive.
    if (in.Byte() & 1) canvas.FullRepaint();
    CheckState(screen);
    CheckPicture(screen, canvas);
    // Then chunks: a length byte (bit 7: the window is uncovered and painted first), bytes.
    while (!in.Empty()) {
        const uint8_t head = in.Byte();
        if (head & 0x80) {
            screen.FormPaint();
            CheckState(screen);
        }
        size_t count = head & 0x7F;
        const uint8_t* bytes = in.Take(count);
        for (size_t i = 0; i < count; ++i) {
            screen.Receive(bytes + i, 1);
            CheckState(screen);
        }
        CheckPicture(screen, canvas);
    }
    return 0;
}
