// The bench's face in a window, kept apart from the window itself: each port's row (its state
// in the board's words, its write's per cent), the notes and the count line, filled by the
// bench on its own thread and taken by the window's thread when it redraws. Nothing here
// waits on the bench: the window reads what is there.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "flash/run/bench_given.h"

struct BenchRowView {
    std::string state;
    int percent = 0;
};

// What has changed since the window last looked.
struct BenchNews {
    std::vector<std::pair<size_t, BenchRowView>> rows;
    std::vector<std::string> notes;
    bool count_changed = false;
    std::string count_line;  // "3 written, 1 failed since Start"
};

class BenchRows final : public BenchDisplay {
public:
    // names: each port's as its row and the notes call it.
    BenchRows(std::vector<std::string> names, const SessionImage& image);

    void Line(const std::string& text) override;
    void Note(const std::string& text) override;
    void PortLine(size_t port, const std::string& text) override;
    void Status(size_t port, const std::string& text) override;
    void Table(const std::string& text) override;
    std::unique_ptr<SessionDisplay> RadioDisplay(size_t port) override;
    // The window's bench writes without asking: the technician's Start is the yes.
    Answer Ask(const std::string& question) override;
    void RadioKept(size_t port, const RadioRecord& row) override;

    // For the window's thread.
    BenchNews Take();

    // For a radio's display, on the bench's thread.
    void SetRow(size_t port, const std::string& state, int percent);
    void AddNote(const std::string& text);

private:
    struct Row {
        std::string name;
        BenchRowView view;
        bool changed = false;
    };
    std::string CountLine() const;

    const SessionImage& image_;
    std::mutex mutex_;
    std::vector<Row> rows_;
    std::vector<std::string> notes_;
    int written_ = 0;
    int failed_ = 0;
    int current_ = 0;
    bool count_changed_ = true;
};
