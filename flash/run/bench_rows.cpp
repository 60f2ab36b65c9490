// The bench's rows for a window; see bench_rows.h.
#include "flash/run/bench_rows.h"

#include <utility>

#include "flash/run/progress_display.h"

namespace {

// One radio's session as its row shows it: the radio's name and version from the header on,
// then the write's per cent and time left.
class RowDisplay final : public SessionDisplay {
public:
    RowDisplay(BenchRows& rows, size_t port, std::string name, const SessionImage& image)
        : rows_(rows), port_(port), name_(std::move(name)), image_(image), meter_(0, 0) {}

    // The window's lines for one radio are its row's state and the notes' business.
    void Line(const std::string&) override {}
    void Note(const std::string& text) override { rows_.AddNote(name_ + ": " + text); }
    void WriteBegins(const RadioRecord& radio, uint64_t now_ms) override {
        radio_ = RadioName(radio);
        meter_ = ProgressMeter(image_.length, image_.FramesToSend());
        meter_.Start(now_ms);
        rows_.SetRow(port_, radio_ + ": writing 0%", 0);
    }
    void WriteProgress(const WriteTally& tally, uint64_t now_ms) override {
        const ProgressFigures figures = meter_.Measure(tally.covered, tally.frames, now_ms);
        const int percent =
            figures.image_bytes > 0 ? static_cast<int>(int64_t{100} * figures.bytes_done / figures.image_bytes) : 0;
        rows_.SetRow(port_, radio_ + ": writing " + std::to_string(percent) + "%, " + figures.left + " left", percent);
    }
    void WriteEnds() override {}

private:
    BenchRows& rows_;
    size_t port_;
    std::string name_;
    const SessionImage& image_;
    std::string radio_;
    ProgressMeter meter_;
};

}  // namespace

BenchRows::BenchRows(std::vector<std::string> names, const SessionImage& image) : image_(image) {
    for (std::string& name : names) rows_.push_back(Row{std::move(name), {}, false});
}

void BenchRows::Line(const std::string&) {}

void BenchRows::Note(const std::string& text) { AddNote(text); }

void BenchRows::PortLine(size_t, const std::string&) {}

void BenchRows::Status(size_t port, const std::string& text) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Row& row = rows_.at(port);
    row.view.state = text;
    row.changed = true;
}

void BenchRows::Table(const std::string& text) {
    size_t from = 0;
    while (from < text.size()) {
        const size_t end = text.find('\n', from);
        AddNote(text.substr(from, end - from));
        if (end == std::string::npos) break;
        from = end + 1;
    }
}

std::unique_ptr<SessionDisplay> BenchRows::RadioDisplay(size_t port) {
    return std::make_unique<RowDisplay>(*this, port, rows_.at(port).name, image_);
}

Answer BenchRows::Ask(const std::string&) { return Answer::Yes; }

void BenchRows::RadioKept(size_t, const RadioRecord& row) {
    const std::lock_guard<std::mutex> lock(mutex_);
    switch (row.result) {
    case RadioResult::Written:
        ++written_;
        break;
    case RadioResult::AlreadyCurrent:
        ++current_;
        break;
    // A port without a radio is no radio that failed.
    case RadioResult::NoRadio:
    case RadioResult::HungUp:
        return;
    default:
        ++failed_;
        break;
    }
    count_changed_ = true;
}

void BenchRows::SetRow(size_t port, const std::string& state, int percent) {
    const std::lock_guard<std::mutex> lock(mutex_);
    Row& row = rows_.at(port);
    row.view = BenchRowView{state, percent};
    row.changed = true;
}

void BenchRows::AddNote(const std::string& text) {
    const std::lock_guard<std::mutex> lock(mutex_);
    notes_.push_back(text);
}

std::string BenchRows::CountLine() const {
    std::string line = std::to_string(written_) + " written, " + std::to_string(failed_) + " failed";
    if (current_ > 0) line += ", " + std::to_string(current_) + " already current";
    return line + " since Start";
}

BenchNews BenchRows::Take() {
    const std::lock_guard<std::mutex> lock(mutex_);
    BenchNews news;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (!rows_[i].changed) continue;
        rows_[i].changed = false;
        news.rows.emplace_back(i, rows_[i].view);
    }
    news.notes.swap(notes_);
    news.count_changed = count_changed_;
    news.count_line = CountLine();
    count_changed_ = false;
    return news;
}
