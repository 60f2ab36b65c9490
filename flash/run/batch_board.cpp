// The board keeps the cursor on the line below its last row, so that a row is redrawn by
// going up to it and back, and a note by clearing the board, printing it and drawing the
// board again under it.
#include "flash/run/batch_board.h"

#include <algorithm>
#include <utility>

namespace {

// How much of text a row of room columns shows: all of it, or up to the last word that fits.
int Shown(const std::string& text, size_t room) {
    if (text.size() <= room) return static_cast<int>(text.size());
    size_t end = room;
    while (end > 0 && text[end] != ' ') --end;
    while (end > 0 && text[end - 1] == ' ') --end;
    return static_cast<int>(end > 0 ? end : room);
}

}  // namespace

BatchBoard::BatchBoard(std::vector<std::string> ports, FILE* lines, FILE* terminal, bool live, bool lines_too,
                       std::function<int()> columns)
    : lines_(lines), terminal_(terminal), live_(live), lines_too_(lines_too), columns_(std::move(columns)) {
    for (std::string& port : ports) rows_.push_back(Row{std::move(port), "", 0});
}

void BatchBoard::Show(size_t port, const std::string& text) {
    Row& row = rows_[port];
    row.text = row.port + "  " + text;
    if (!live_ || lines_too_) {
        std::fprintf(lines_, "%s: %s\n", row.port.c_str(), text.c_str());
        std::fflush(lines_);
    }
    if (live_) Draw(port);
}

void BatchBoard::Status(size_t port, const std::string& text) {
    if (!live_) return;
    rows_[port].text = rows_[port].port + "  " + text;
    Draw(port);
}

void BatchBoard::Progress(size_t port, const ProgressFigures& figures) {
    Row& row = rows_[port];
    if (live_) {
        char line[512];
        FormatProgressBar(figures, columns_(), line, sizeof line);
        row.text = line;
        Draw(port);
    } else if (Tenths(figures) > row.tenths_shown) {
        row.tenths_shown = Tenths(figures);
        std::fprintf(terminal_, "%s\n", PlainProgressLine(row.port, figures).c_str());
        std::fflush(terminal_);
    }
}

void BatchBoard::Note(const std::string& text) {
    if (live_ && drawn_) std::fprintf(terminal_, "\x1b[%zuA\r\x1b[J", rows_.size());
    std::fprintf(terminal_, "q42flash: %s\n", text.c_str());
    if (live_) DrawAll();
    std::fflush(terminal_);
}

void BatchBoard::Draw(size_t port) {
    if (!drawn_) {
        DrawAll();
    } else {
        // Cut short of the last column, so that a row never wraps and pushes the board down.
        const size_t room = static_cast<size_t>(std::max(columns_() - 1, 0));
        const size_t up = rows_.size() - port;
        std::fprintf(terminal_, "\x1b[%zuA\r%.*s\x1b[K\x1b[%zuB\r", up, Shown(rows_[port].text, room),
                     rows_[port].text.c_str(), up);
    }
    std::fflush(terminal_);
}

void BatchBoard::DrawAll() {
    const size_t room = static_cast<size_t>(std::max(columns_() - 1, 0));
    for (const Row& row : rows_) {
        const std::string& text = row.text.empty() ? row.port : row.text;
        std::fprintf(terminal_, "%.*s\x1b[K\n", Shown(text, room), text.c_str());
    }
    drawn_ = true;
}
