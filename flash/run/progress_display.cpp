// Draws the write's progress: frames and bytes done, rate and time left.
#include "flash/run/progress_display.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

constexpr int kBarWidth = 24;

}  // namespace

size_t FormatProgressBar(const ProgressFigures& f, int columns, char* out, size_t size) {
    if (size == 0) return 0;
    char figures[160];
    const int figures_length =
        std::max(0, std::snprintf(figures, sizeof figures, " %d/%d frames  %ld/%ld bytes  %.0f B/s  %s left",
                                  f.frames_done, f.frames_total, static_cast<long>(f.bytes_done),
                                  static_cast<long>(f.image_bytes), f.rate, f.left));
    const int room = std::min(std::max(columns - 1, 0), static_cast<int>(size) - 1);
    int length = 0;
    for (const char* c = f.label; *c != '\0' && length < room; ++c) out[length++] = *c;
    if (length > 0 && length < room) out[length++] = ' ';
    // "[" bar "]" then the figures; the bar gives way first, but is never under 8 cells.
    const int bar = std::min(kBarWidth, room - length - 2 - figures_length);
    if (bar >= 8) {
        out[length++] = '[';
        const int filled = f.image_bytes > 0 ? static_cast<int>(1LL * bar * f.bytes_done / f.image_bytes) : bar;
        for (int i = 0; i < bar; ++i) out[length++] = i < filled ? '#' : '.';
        out[length++] = ']';
    }
    // Figures that do not fit end at a word, never inside one ("0:00 l").
    const char* shown = figures + (bar >= 8 ? 0 : 1);
    const int available = figures_length - (bar >= 8 ? 0 : 1);
    int copied = std::min(available, room - length);
    if (copied < available) {
        while (copied > 0 && shown[copied] != ' ') --copied;
    }
    if (copied > 0) {
        std::memcpy(out + length, shown, static_cast<size_t>(copied));
        length += copied;
    }
    while (length < room) out[length++] = ' ';
    out[length] = '\0';
    return static_cast<size_t>(length);
}

ProgressFigures ProgressMeter::Measure(int32_t bytes_done, int frames_done, uint64_t now_ms) const {
    ProgressFigures figures;
    figures.bytes_done = bytes_done;
    figures.image_bytes = image_bytes_;
    figures.frames_done = frames_done;
    figures.frames_total = frames_total_;
    const double seconds = static_cast<double>(now_ms - start_ms_) / 1000.0;
    figures.rate = seconds > 0 ? bytes_done / seconds : 0;
    // Blank blocks cost no time, so what is left is reckoned in frames, not bytes.
    if (frames_done > 0) {
        const long left = static_cast<long>(seconds * (frames_total_ - frames_done) / frames_done + 0.5);
        std::snprintf(figures.left, sizeof figures.left, "%ld:%02ld", left / 60, left % 60);
    }
    return figures;
}

int Tenths(const ProgressFigures& f) {
    return f.image_bytes > 0 ? static_cast<int>(10LL * f.bytes_done / f.image_bytes) : 10;
}

std::string PlainProgressLine(const std::string& port, const ProgressFigures& f) {
    char line[256];
    std::snprintf(line, sizeof line, "%s: written %ld of %ld bytes (%d%%), %d of %d frames, %.0f B/s, %s left",
                  port.c_str(), static_cast<long>(f.bytes_done), static_cast<long>(f.image_bytes), Tenths(f) * 10,
                  f.frames_done, f.frames_total, f.rate, f.left);
    return line;
}

ProgressDisplay::ProgressDisplay(int32_t image_bytes, int frames_total, bool on_terminal, std::string label,
                                 std::string port_label, std::function<int()> columns)
    : label_(std::move(label)),
      port_label_(std::move(port_label)),
      meter_(image_bytes, frames_total),
      on_terminal_(on_terminal),
      columns_(std::move(columns)) {}

void ProgressDisplay::Start(uint64_t now_ms) { meter_.Start(now_ms); }

void ProgressDisplay::Update(int32_t bytes_done, int frames_done, uint64_t now_ms) {
    ProgressFigures figures = meter_.Measure(bytes_done, frames_done, now_ms);
    if (on_terminal_) {
        figures.label = label_.c_str();
        char line[512];
        FormatProgressBar(figures, columns_(), line, sizeof line);
        std::fprintf(stderr, "\r%s", line);
        drawn_ = true;
    } else if (Tenths(figures) > tenths_shown_) {
        tenths_shown_ = Tenths(figures);
        std::fprintf(stderr, "%s\n", PlainProgressLine(port_label_, figures).c_str());
    }
    std::fflush(stderr);
}

void ProgressDisplay::Finish() {
    if (drawn_) std::fputc('\n', stderr);
    drawn_ = false;
}
