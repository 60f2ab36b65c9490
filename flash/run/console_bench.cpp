// The bench's console faces; see console_bench.h.
#include "flash/run/console_bench.h"

#include <cstdio>
#include <ctime>

#include "core/printable_text.h"
#include "flash/run/flash_output.h"
#include "flash/run/port_choice.h"
#include "flash/run/question.h"

uint64_t ConsoleSystem::NowNs() { return MonotonicNs(); }

bool ConsoleSystem::Wait(SerialPort* const* ports, size_t count, uint64_t until_ns) {
    return WaitForPorts(ports, count, until_ns);
}

int ConsoleSystem::StopRequests() { return ::StopRequests(); }

int ConsoleSystem::LastStopSignal() { return ::LastStopSignal(); }

std::string ConsoleSystem::StopHint() { return "Ctrl-C stops"; }

std::string ConsoleSystem::StopAgainHint() { return ::StopAgainHint(); }

void ConsoleSystem::WritesUnderWay(int count) { ::WritesUnderWay(count); }

bool ConsoleSystem::PortPresent(const std::string& device) { return ::PortPresent(device); }

std::unique_ptr<SerialPort> ConsoleSystem::Reopen(const std::string& device, std::string& error) {
    const auto not_held = [&device](std::string& why) {
        why = HeldByText(device, SearchPortHolders(device));
        return why.empty();
    };
    PortOpenResult result = PortOpenResult::Failed;
    return OpenSerialPort(device, not_held, result, error);
}

int64_t ConsoleSystem::UnixSeconds() { return static_cast<int64_t>(time(nullptr)); }

SerialSideSeen ConsoleSystem::SerialSide() { return SeeSerialSide(); }

namespace {

// One radio's words as plain lines: the window's on standard output, q42flash's own and the
// progress on standard error.
class PlainDisplay final : public SessionDisplay {
public:
    PlainDisplay(std::optional<ProgressDisplay>& progress, const SessionImage& image)
        : progress_(progress), image_(image) {}

    void Line(const std::string& text) override { Say(text); }
    void Note(const std::string& text) override {
        if (progress_) progress_->Finish();
        Complain(text);
    }
    void WriteBegins(const RadioRecord& radio, uint64_t now_ms) override {
        // A bench position is called by its name wherever one is given.
        const std::string port = PrintableText(radio.position.empty() ? radio.port : radio.position);
        progress_.emplace(image_.length, image_.FramesToSend(), IsTerminal(stderr), port + " " + RadioName(radio), port,
                          TerminalColumns);
        progress_->Start(now_ms);
    }
    void WriteProgress(const WriteTally& tally, uint64_t now_ms) override {
        progress_->Update(tally.covered, tally.frames, now_ms);
    }
    void WriteEnds() override {
        progress_->Finish();
        progress_.reset();
    }

private:
    std::optional<ProgressDisplay>& progress_;
    const SessionImage& image_;
};

// One port's radio on the board of several.
class BoardDisplay final : public SessionDisplay {
public:
    BoardDisplay(BatchBoard& board, size_t row, std::string name, const SessionImage& image)
        : board_(board), row_(row), name_(std::move(name)), image_(image), meter_(0, 0) {}

    void Line(const std::string& text) override { board_.Show(row_, text); }
    void Note(const std::string& text) override { board_.Note(name_ + ": " + text); }
    void WriteBegins(const RadioRecord& radio, uint64_t now_ms) override {
        label_ = name_ + " " + RadioName(radio);
        meter_ = ProgressMeter(image_.length, image_.FramesToSend());
        meter_.Start(now_ms);
    }
    void WriteProgress(const WriteTally& tally, uint64_t now_ms) override {
        ProgressFigures figures = meter_.Measure(tally.covered, tally.frames, now_ms);
        figures.label = label_.c_str();
        board_.Progress(row_, figures);
    }
    void WriteEnds() override {}

private:
    BatchBoard& board_;
    size_t row_;
    std::string name_;
    const SessionImage& image_;
    std::string label_;
    ProgressMeter meter_;
};

}  // namespace

ConsoleDisplay::ConsoleDisplay(const std::vector<std::string>& ports, bool board, const SessionImage& image)
    : ports_(ports), image_(image) {
    if (board) {
        board_ = std::make_unique<BatchBoard>(ports_, SayStream(), stderr, IsTerminal(stderr), !IsTerminal(SayStream()),
                                              TerminalColumns);
    }
}

void ConsoleDisplay::Line(const std::string& text) { Say(text); }

void ConsoleDisplay::Note(const std::string& text) {
    if (board_) return board_->Note(text);
    // One radio: a note ends the progress bar's line first.
    if (progress_) progress_->Finish();
    Complain(text);
}

void ConsoleDisplay::PortLine(size_t port, const std::string& text) {
    if (board_) return board_->Show(port, text);
    Say(text);
}

void ConsoleDisplay::Status(size_t port, const std::string& text) {
    if (board_) board_->Status(port, text);
}

void ConsoleDisplay::Table(const std::string& text) { std::fputs(text.c_str(), stderr); }

std::unique_ptr<SessionDisplay> ConsoleDisplay::RadioDisplay(size_t port) {
    if (board_) return std::make_unique<BoardDisplay>(*board_, port, ports_[port], image_);
    return std::make_unique<PlainDisplay>(progress_, image_);
}

Answer ConsoleDisplay::Ask(const std::string& question) { return AskToWrite(question); }

InputLine ConsoleLabels::Read(std::string& label) {
    // A label is kept up to kLabelLength characters; a longer one is said to be cut, not cut
    // silently.
    constexpr size_t kLabelLength = 255;
    std::fprintf(stderr, "Scan or type the radio's label: ");
    std::fflush(stderr);
    char line[kLabelLength + 2];
    const InputLine read = ReadInputLine(line, sizeof line);
    label = read == InputLine::Read ? line : "";
    if (label.size() > kLabelLength) {
        label.resize(kLabelLength);
        Complain("the label is longer than " + std::to_string(kLabelLength) + " characters: its first " +
                 std::to_string(kLabelLength) + " are kept");
    }
    return read;
}

void TerminalBell::Ring() {
    if (!IsTerminal(stderr)) return;
    std::fputc('\a', stderr);
    std::fflush(stderr);
}

bool StandardOutputLines::Append(const std::string& line, std::string& error) {
    if (std::fputs(line.c_str(), stdout) >= 0 && std::fflush(stdout) == 0) return true;
    // Standard output closed by its reader (--json | head -1) loses the lines as surely.
    error = "standard output was closed, so the record lines of --json are lost";
    return false;
}
