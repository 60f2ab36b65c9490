// The write's progress on standard error: a bar redrawn in place on a terminal, a plain
// line at every tenth otherwise (a log or a pipe).
#pragma once

#include <cstdint>

class ProgressDisplay {
public:
    ProgressDisplay(int32_t image_bytes, int frames_total, bool on_terminal);

    void Start(uint64_t now_ms);
    // After each block: image bytes covered so far, frames acknowledged so far.
    void Update(int32_t bytes_done, int frames_done, uint64_t now_ms);
    // Ends the bar's line, so that what follows starts on a line of its own.
    void Finish();

private:
    int32_t image_bytes_;
    int frames_total_;
    bool on_terminal_;
    bool drawn_ = false;
    int tenths_shown_ = 0;
    uint64_t start_ms_ = 0;
};
