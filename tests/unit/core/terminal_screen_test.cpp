// Tests of the terminal's screen model. The fake canvas records every drawing call and keeps the
// picture that those calls leave in the window, so the tests check both the model and the screen.
#include "core/terminal_screen.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace std::string_literals;

namespace {

constexpr int kRows = TerminalScreen::kRows;
constexpr int kColumns = TerminalScreen::kColumns;
const std::string kFullLine(kColumns, 'a');

std::string Point(int x, int y) { return std::to_string(x) + "," + std::to_string(y); }

// Like the window's canvas, FullRepaint erases the client area and runs FormPaint.
class FakeCanvas : public TerminalCanvas {
public:
    void DrawLine(int x0, int y0, int x1, int y1, MarkColour colour) override {
        const bool black = colour == MarkColour::Black;
        calls.push_back("line " + Point(x0, y0) + "-" + Point(x1, y1) + (black ? " black" : " white"));
        EXPECT_TRUE(y1 == y0 && x1 == x0 + 8 && x0 % 8 == 0 && (y0 - 35) % 14 == 0) << calls.back();
        if (black) {
            marks.insert({x0, y0});
        } else {
            marks.erase({x0, y0});
        }
    }
    void PutText(int x, int y, const char* text, int length) override {
        calls.push_back("text " + Point(x, y) + " " + std::string(text, length));
        const int column = x / 8 - 1;
        const int row = (y - 21) / 14;
        ASSERT_TRUE(x % 8 == 0 && (y - 21) % 14 == 0 && column >= 1 && row >= 1 && row <= kRows &&
                    column - 1 + length <= kColumns)
            << calls.back();
        picture[row - 1].replace(column - 1, length, text, length);
    }
    void FullRepaint() override {
        calls.push_back("repaint");
        marks.clear();
        picture.fill(std::string(kColumns, ' '));
        screen->FormPaint();
    }

    TerminalScreen* screen = nullptr;
    std::vector<std::string> calls;
    std::set<std::pair<int, int>> marks;  // left ends of the black mark lines
    std::array<std::string, kRows> picture;
};

// A terminal whose window has been painted once, as when it is first shown.
struct Terminal {
    Terminal() {
        canvas.screen = &screen;
        canvas.FullRepaint();
        canvas.calls.clear();
    }
    void Feed(const std::string& bytes) {
        screen.Receive(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int>(bytes.size()));
    }
    std::string Line(int row) const {
        return std::string(reinterpret_cast<const char*>(screen.ScreenLines[row] + 1), screen.ScreenLines[row][0]);
    }
    std::pair<int, int> Cursor() const { return {screen.CursorCol, screen.CursorRow}; }
    std::pair<int, int> MarkCell() const { return {screen.MarkX / 8, screen.MarkY / 14}; }
    // Every line is shown in its row and exactly one black mark stands under the mark's cell.
    void ExpectPictureMatchesModel() const {
        for (int row = 0; row < kRows; ++row) {
            std::string shown = Line(row);
            shown.resize(kColumns, ' ');
            EXPECT_EQ(canvas.picture[row], shown) << "row " << row;
        }
        const std::set<std::pair<int, int>> mark{{screen.MarkX + 8, screen.MarkY + 35}};
        EXPECT_EQ(canvas.marks, mark);
    }

    FakeCanvas canvas;
    TerminalScreen screen{canvas};
};

TEST(TerminalScreenReceive, BytesLandWhereTheyShould) {
    struct Case {
        std::string input;
        std::vector<std::pair<int, std::string>> lines;  // row, text; every other row is empty
        std::pair<int, int> cursor;                      // column, row
        std::pair<int, int> mark;                        // 1-based cell
    };
    const Case cases[] = {
        {"A", {{0, "A"}}, {2, 0}, {2, 1}},
        {"ab\x1b\x05\x00x"s, {{0, "ab   x"}}, {7, 0}, {7, 1}},
        {kFullLine + "Z", {{0, kFullLine}, {1, "Z"}}, {2, 1}, {2, 2}},
        {kFullLine + "\rZ", {{0, kFullLine}, {1, "Z"}}, {2, 1}, {2, 2}},
        {"top\x1b\x00\x17"s + kFullLine + "Z", {{22, kFullLine}, {23, "Z"}}, {2, 23}, {2, 24}},
        {"top\x1b\x00\x17low\n"s, {{22, "low"}}, {1, 23}, {1, 24}},
        {"ab\ncd", {{0, "ab"}, {1, "cd"}}, {3, 1}, {3, 2}},
        {"abc\ndef\x1dX", {{0, "X"}}, {2, 0}, {2, 1}},
        {"\x00\x07\x09\x0c\x1c\x1e\x1f\x7f\x80\xff ~"s, {{0, "?????????? ~"}}, {13, 0}, {13, 1}},
        {"abc\b", {{0, "abc"}}, {3, 0}, {3, 1}},
        {"\b", {}, {1, 0}, {1, 1}},
        {"abc\b\bX", {{0, "aXc"}}, {3, 0}, {4, 1}},
        {"abc\r", {{0, "abc"}}, {1, 0}, {4, 1}},
        {"ab\r\b", {{0, "ab"}}, {1, 0}, {3, 1}},
        {"abc\rX", {{0, "Xbc"}}, {2, 0}, {4, 1}},
        {"ab\x1b\x50\x18", {{0, "ab"}}, {1, 0}, {1, 1}},
        {"ab\x1b\xff\xff", {{0, "ab"}}, {16, 15}, {16, 16}},
        {"ab\x1b\x1d\x0a", {{0, "ab"}}, {30, 10}, {30, 11}},
        {"ab\x1b\x0a\x1d", {{0, "ab"}}, {11, 5}, {11, 6}},
        {"ab\x1b\x1b\x08", {{0, "ab"}}, {28, 8}, {28, 9}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.input));
        Terminal t;
        t.Feed(c.input);
        for (int row = 0; row < kRows; ++row) {
            std::string expected;
            for (const auto& line : c.lines) {
                if (line.first == row) expected = line.second;
            }
            EXPECT_EQ(t.Line(row), expected) << "row " << row;
        }
        EXPECT_EQ(t.Cursor(), c.cursor);
        EXPECT_EQ(t.MarkCell(), c.mark);
        t.ExpectPictureMatchesModel();
    }
}

TEST(TerminalScreenControl, EscapeSplitAcrossReceivesCompletes) {
    const std::string sequence = "\x1b\x05\x02Z";
    for (size_t split = 1; split < sequence.size(); ++split) {
        SCOPED_TRACE(split);
        Terminal t;
        t.Feed(sequence.substr(0, split));
        t.Feed(sequence.substr(split));
        EXPECT_EQ(t.Line(2), "     Z");
        EXPECT_EQ(t.Cursor(), std::make_pair(7, 2));
    }
}

TEST(TerminalScreenDraw, WrittenCharacterRedrawsItsLineAndMovesTheMark) {
    Terminal t;
    t.Feed("\x1b\x02\x02");
    t.canvas.calls.clear();
    t.Feed("z");
    const std::vector<std::string> expected = {
        "line 32,77-40,77 white",  // mark leaves cell (3, 3)
        "line 16,77-24,77 black",  // ... for the line's start
        "text 16,63   z",         "line 16,77-24,77 white",
        "line 40,77-48,77 black",  // behind the line's end, cell (4, 3)
    };
    EXPECT_EQ(t.canvas.calls, expected);
}

TEST(TerminalScreenDraw, RepaintLeavesTextAndMarkInPlace) {
    Terminal t;
    t.Feed("hello\nworld\x1b\x02\x05\r");
    const auto picture = t.canvas.picture;
    const auto marks = t.canvas.marks;
    const auto mark = t.MarkCell();
    t.canvas.FullRepaint();
    EXPECT_EQ(t.canvas.picture, picture);
    EXPECT_EQ(t.canvas.marks, marks);
    EXPECT_EQ(t.MarkCell(), mark);
    EXPECT_EQ(t.Cursor(), std::make_pair(1, 5));
}

// Random bytes, weighted towards the control codes, in random-sized receives.
TEST(TerminalScreenFuzz, RandomBytesKeepStateInRangeAndPictureInStep) {
    const uint8_t codes[] = {0x08, 0x0A, 0x0D, 0x1B, 0x1D};
    std::mt19937 random(4242);
    Terminal t;
    for (int receive = 0; receive < 3000 && !HasFailure(); ++receive) {
        std::string bytes(random() % 64, '\0');
        for (char& b : bytes) b = static_cast<char>(random() % 8 == 0 ? codes[random() % 5] : random() % 256);
        t.Feed(bytes);
        const TerminalScreen& s = t.screen;
        ASSERT_TRUE(s.CursorRow >= 0 && s.CursorRow < kRows) << s.CursorRow;
        ASSERT_TRUE(s.CursorCol >= 1 && s.CursorCol <= kColumns + 1) << s.CursorCol;
        ASSERT_LE(s.EscState, 2);
        for (const auto& line : s.ScreenLines) ASSERT_LE(line[0], kColumns);
        if (s.CursorCol > kColumns) {
            ASSERT_EQ(s.ScreenLines[s.CursorRow][0], kColumns);
        }
        t.ExpectPictureMatchesModel();
    }
}

}  // namespace
