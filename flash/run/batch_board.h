// The lines of several radios updated at once. On a terminal: one line per port, redrawn in
// place, with q42flash's own notes printed above them. Otherwise: plain lines, each
// beginning with its port, and the progress at every tenth.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "flash/run/progress_display.h"

class BatchBoard {
public:
    // lines gets the radios' own lines (the window's words); terminal gets the board, or,
    // when not live, the progress and the notes. With live set, the radios' lines go to
    // lines as well only when it is not that terminal. columns gives the width at each redraw.
    BatchBoard(std::vector<std::string> ports, FILE* lines, FILE* terminal, bool live, bool lines_too,
               std::function<int()> columns);
    BatchBoard(const BatchBoard&) = delete;
    BatchBoard& operator=(const BatchBoard&) = delete;

    // The port's line now reads text.
    void Show(size_t port, const std::string& text);
    // On a terminal, the port's line now reads text; nothing is printed otherwise.
    void Status(size_t port, const std::string& text);
    // The port's write so far; figures.label begins its line.
    void Progress(size_t port, const ProgressFigures& figures);
    // A line of q42flash's own, above the ports' lines.
    void Note(const std::string& text);

private:
    struct Row {
        std::string port;
        std::string text;
        int tenths_shown = 0;
    };
    void Draw(size_t port);
    void DrawAll();

    std::vector<Row> rows_;
    FILE* lines_;
    FILE* terminal_;
    bool live_;
    bool lines_too_;
    bool drawn_ = false;
    std::function<int()> columns_;
};
