// The progress bar's line fitted to the terminal's width: a line as long as the terminal
// wraps, and every redraw then adds a line instead of replacing one.
#include "flash/run/progress_display.h"

#include <gtest/gtest.h>

#include <string>

TEST(FormatProgressBar, NeverReachesTheLastColumnAndShrinksTheBarFirst) {
    const ProgressFigures figures{"", 45056, 90488, 44, 89, 960, "0:47"};
    const std::string whole = "44/89 frames  45056/90488 bytes  960 B/s  0:47 left";
    struct Row {
        int columns;
        bool bar;
        bool all_figures;
    };
    const Row rows[] = {
        {200, true, true},  {80, true, true},  {70, true, true},  {60, false, true},
        {40, false, false}, {2, false, false}, {1, false, false}, {0, false, false},
    };
    for (const Row& r : rows) {
        char line[512];
        const size_t length = FormatProgressBar(figures, r.columns, line, sizeof line);
        const std::string text(line);
        EXPECT_EQ(text.size(), length) << r.columns;
        // Padded to the last column but one, so that a longer line drawn before is covered.
        EXPECT_EQ(static_cast<int>(length), r.columns > 0 ? r.columns - 1 : 0) << r.columns;
        EXPECT_EQ(text.rfind('[', 0) == 0, r.bar) << r.columns << ": " << text;
        EXPECT_EQ(text.find(whole) != std::string::npos, r.all_figures) << r.columns << ": " << text;
        if (!r.all_figures && length > 0) {
            // Cut at a word: what shows is the figures' start, up to a space.
            const std::string shown = text.substr(0, text.find_last_not_of(' ') + 1);
            EXPECT_EQ(whole.rfind(shown, 0), 0u) << r.columns << ": " << text;
            EXPECT_TRUE(shown.empty() || whole[shown.size()] == ' ') << r.columns << ": " << text;
        }
    }
    char line[512];
    FormatProgressBar(figures, 80, line, sizeof line);
    EXPECT_EQ(std::string(line).substr(0, 26), "[###########.............]");

    // The port and the radio come first; on a narrow terminal the bar gives way to them.
    ProgressFigures labelled = figures;
    labelled.label = "/dev/ttyUSB0 Q42NR V2.041";
    FormatProgressBar(labelled, 100, line, sizeof line);
    EXPECT_EQ(std::string(line).substr(0, 27), "/dev/ttyUSB0 Q42NR V2.041 [");
    FormatProgressBar(labelled, 80, line, sizeof line);
    EXPECT_EQ(std::string(line), "/dev/ttyUSB0 Q42NR V2.041 " + whole + "  ");
}

TEST(FormatProgressBar, StaysInsideASmallBuffer) {
    const ProgressFigures figures{"", 1024, 2048, 1, 2, 100, "0:01"};
    char line[16];
    EXPECT_EQ(FormatProgressBar(figures, 200, line, sizeof line), 15u);
    EXPECT_EQ(std::string(line), "1/2 frames     ");
}
