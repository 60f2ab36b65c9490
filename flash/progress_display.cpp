// Draws the write's progress: frames and bytes done, rate and time left.
#include "flash/progress_display.h"

#include <cstdio>

namespace {

constexpr int kBarWidth = 24;

}  // namespace

ProgressDisplay::ProgressDisplay(int32_t image_bytes, int frames_total, bool on_terminal)
    : image_bytes_(image_bytes), frames_total_(frames_total), on_terminal_(on_terminal) {}

void ProgressDisplay::Start(uint64_t now_ms) { start_ms_ = now_ms; }

void ProgressDisplay::Update(int32_t bytes_done, int frames_done, uint64_t now_ms) {
    const double seconds = static_cast<double>(now_ms - start_ms_) / 1000.0;
    const double rate = seconds > 0 ? bytes_done / seconds : 0;
    // Blank blocks cost no time, so what is left is reckoned in frames, not bytes.
    const long left = frames_done > 0
                          ? static_cast<long>(seconds * (frames_total_ - frames_done) / frames_done + 0.5)
                          : -1;
    char left_text[32] = "--:--";
    if (left >= 0) std::snprintf(left_text, sizeof left_text, "%ld:%02ld", left / 60, left % 60);
    const int tenths = image_bytes_ > 0 ? static_cast<int>(10LL * bytes_done / image_bytes_) : 10;

    if (on_terminal_) {
        const int filled = image_bytes_ > 0 ? static_cast<int>(1LL * kBarWidth * bytes_done / image_bytes_) : kBarWidth;
        char bar[kBarWidth + 1];
        for (int i = 0; i < kBarWidth; ++i) bar[i] = i < filled ? '#' : '.';
        bar[kBarWidth] = '\0';
        std::fprintf(stderr, "\r[%s] %d/%d frames  %ld/%ld bytes  %.0f B/s  %s left ", bar, frames_done,
                     frames_total_, static_cast<long>(bytes_done), static_cast<long>(image_bytes_), rate,
                     left_text);
        drawn_ = true;
    } else if (tenths > tenths_shown_) {
        tenths_shown_ = tenths;
        std::fprintf(stderr, "written %ld of %ld bytes (%d%%), %d of %d frames, %.0f B/s, %s left\n",
                     static_cast<long>(bytes_done), static_cast<long>(image_bytes_), tenths * 10, frames_done,
                     frames_total_, rate, left_text);
    }
    std::fflush(stderr);
}

void ProgressDisplay::Finish() {
    if (drawn_) std::fputc('\n', stderr);
    drawn_ = false;
}
