// The board of several radios: on a terminal its rows must stay where they are whatever is
// redrawn or noted above them, and never wrap; elsewhere each line must say its port.
#include "flash/run/batch_board.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// What a terminal shows after the text: \n as the tty's output turns it (CR LF), \r, and the
// board's cursor moves and erasures.
std::vector<std::string> Screen(const std::string& text) {
    std::vector<std::string> lines(1);
    size_t row = 0;
    size_t col = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n') {
            col = 0;
            if (++row == lines.size()) lines.emplace_back();
        } else if (c == '\r') {
            col = 0;
        } else if (c == '\x1b' && i + 1 < text.size() && text[i + 1] == '[') {
            size_t end = i + 2;
            while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
            const size_t n = end > i + 2 ? std::stoul(text.substr(i + 2, end - i - 2)) : 1;
            switch (text[end]) {
            case 'A':
                row = row >= n ? row - n : 0;
                break;
            case 'B':
                row = std::min(row + n, lines.size() - 1);
                break;
            case 'K':
                lines[row].resize(std::min(lines[row].size(), col));
                break;
            case 'J':
                lines[row].resize(std::min(lines[row].size(), col));
                lines.resize(row + 1);
                break;
            default:
                ADD_FAILURE() << "unexpected escape " << text[end];
            }
            i = end;
        } else {
            if (lines[row].size() <= col) lines[row].resize(col + 1, ' ');
            lines[row][col++] = c;
        }
    }
    if (lines.back().empty()) lines.pop_back();
    return lines;
}

struct Streams {
    Streams()
        : lines(open_memstream(&lines_text, &lines_size)), terminal(open_memstream(&terminal_text, &terminal_size)) {}
    ~Streams() {
        std::fclose(lines);
        std::fclose(terminal);
        std::free(lines_text);
        std::free(terminal_text);
    }
    std::string Lines() {
        std::fflush(lines);
        return std::string(lines_text, lines_size);
    }
    std::string Terminal() {
        std::fflush(terminal);
        return std::string(terminal_text, terminal_size);
    }
    char* lines_text = nullptr;
    size_t lines_size = 0;
    char* terminal_text = nullptr;
    size_t terminal_size = 0;
    FILE* lines;
    FILE* terminal;
};

ProgressFigures Figures(const char* label, int32_t bytes_done, int frames_done) {
    ProgressFigures figures{label, bytes_done, 9000, frames_done, 9, 950};
    std::snprintf(figures.left, sizeof figures.left, "0:05");
    return figures;
}

TEST(BatchBoard, KeepsOneRowPerPortInPlaceUnderItsNotes) {
    Streams streams;
    BatchBoard board({"ttyUSB0", "ttyUSB1", "ttyUSB2"}, streams.lines, streams.terminal, true, false,
                     [] { return 30; });
    for (size_t i = 0; i < 3; ++i) board.Status(i, "waiting");
    board.Note("waiting for the greetings");
    board.Show(1, "Application in unit: Q42NR");
    board.Progress(0, Figures("ttyUSB0 Q42NR V2.041", 1024, 1));
    board.Note("the line on ttyUSB2 hung up");
    board.Status(2, "hung up");
    board.Progress(0, Figures("ttyUSB0 Q42NR V2.041", 2048, 2));
    board.Show(1, "Connect the next radio and switch it on");
    // The verdict stays in sight while the port waits for its next radio.
    board.Status(1, "written V2.041 in 52 s; connect the next radio");
    const std::vector<std::string> expected = {
        "q42flash: waiting for the greetings", "q42flash: the line on ttyUSB2 hung up",
        "ttyUSB0 Q42NR V2.041 2/9     ",  // cut at a word, one short of the last column
        "ttyUSB1  written V2.041 in 52",       "ttyUSB2  hung up",
    };
    EXPECT_EQ(Screen(streams.Terminal()), expected);
    EXPECT_EQ(streams.Lines(), "") << "the terminal that shows the board gets no plain lines";
}

TEST(BatchBoard, GivesPlainLinesThatBeginWithTheirPort) {
    struct Row {
        bool live;
        bool lines_too;
        std::string lines;
    };
    const Row rows[] = {
        {false, false, "ttyUSB1: Version: V2.041\nttyUSB0: Finished...\n"},
        {true, true, "ttyUSB1: Version: V2.041\nttyUSB0: Finished...\n"},  // the log of | tee
    };
    for (const Row& r : rows) {
        Streams streams;
        BatchBoard board({"ttyUSB0", "ttyUSB1"}, streams.lines, streams.terminal, r.live, r.lines_too,
                         [] { return 80; });
        board.Status(0, "waiting");
        board.Show(1, "Version: V2.041");
        for (int32_t done : {1024, 2048, 9000}) board.Progress(0, Figures("ttyUSB0 Q42NR V2.041", done, done / 1024));
        board.Show(0, "Finished...");
        EXPECT_EQ(streams.Lines(), r.lines) << r.live;
        if (r.live) continue;
        EXPECT_EQ(streams.Terminal(),
                  "ttyUSB0: written 1024 of 9000 bytes (10%), 1 of 9 frames, 950 B/s, 0:05 left\n"
                  "ttyUSB0: written 2048 of 9000 bytes (20%), 2 of 9 frames, 950 B/s, 0:05 left\n"
                  "ttyUSB0: written 9000 of 9000 bytes (100%), 8 of 9 frames, 950 B/s, 0:05 left\n");
    }
}

}  // namespace
