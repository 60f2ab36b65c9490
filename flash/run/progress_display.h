// The write's progress on standard error: a bar redrawn in place on a terminal, fitted to its
// width at every redraw (so a resize is followed), a plain line at every tenth otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

struct ProgressFigures {
    const char* label = "";  // the port, the radio's application and version
    int32_t bytes_done = 0;
    int32_t image_bytes = 0;
    int frames_done = 0;
    int frames_total = 0;
    double rate = 0;          // bytes a second
    char left[48] = "--:--";  // time left, as m:ss
};

// Rate and time left of one write, reckoned from its start.
class ProgressMeter {
public:
    ProgressMeter(int32_t image_bytes, int frames_total) : image_bytes_(image_bytes), frames_total_(frames_total) {}
    void Start(uint64_t now_ms) { start_ms_ = now_ms; }
    // After each block: image bytes covered so far, frames acknowledged so far.
    ProgressFigures Measure(int32_t bytes_done, int frames_done, uint64_t now_ms) const;

private:
    int32_t image_bytes_;
    int frames_total_;
    uint64_t start_ms_ = 0;
};

// Whole tenths of the image covered: a plain line is printed as each is reached.
int Tenths(const ProgressFigures& figures);
// "PORT: written 45056 of 90488 bytes (40%), 44 of 89 frames, 960 B/s, 0:47 left"
std::string PlainProgressLine(const std::string& port, const ProgressFigures& figures);

// The bar's line for a terminal of the given columns: the label, the bar, the figures; at
// most columns - 1 characters, so that it never wraps (the bar shrinks first, then the line
// is cut), padded with spaces to cover a longer line drawn before. Returns the line's length.
size_t FormatProgressBar(const ProgressFigures& figures, int columns, char* out, size_t size);

class ProgressDisplay {
public:
    // label begins every line drawn; plain lines begin with the port alone, port_label.
    // columns gives the terminal's width at each redraw.
    ProgressDisplay(int32_t image_bytes, int frames_total, bool on_terminal, std::string label, std::string port_label,
                    std::function<int()> columns);

    void Start(uint64_t now_ms);
    // After each block: image bytes covered so far, frames acknowledged so far.
    void Update(int32_t bytes_done, int frames_done, uint64_t now_ms);
    // Ends the bar's line, so that what follows starts on a line of its own.
    void Finish();

private:
    std::string label_;
    std::string port_label_;
    ProgressMeter meter_;
    bool on_terminal_;
    std::function<int()> columns_;
    bool drawn_ = false;
    int tenths_shown_ = 0;
};
