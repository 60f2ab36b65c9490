// The bench's faces on a console: the platform's wait and clock, the words on standard output
// and error (plain lines for one radio at a time, the board with --all), the label read from
// standard input, the terminal's bell, and --json's lines on standard output.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "flash/run/batch_board.h"
#include "flash/run/bench_given.h"
#include "flash/run/progress_display.h"

class ConsoleSystem final : public BenchSystem {
public:
    uint64_t NowNs() override;
    bool Wait(SerialPort* const* ports, size_t count, uint64_t until_ns) override;
    int StopRequests() override;
    int LastStopSignal() override;
    std::string StopHint() override;
    std::string StopAgainHint() override;
    void WritesUnderWay(int count) override;
    bool PortPresent(const std::string& device) override;
    std::unique_ptr<SerialPort> Reopen(const std::string& device, std::string& error) override;
    int64_t UnixSeconds() override;
    SerialSideSeen SerialSide() override;
};

class ConsoleDisplay final : public BenchDisplay {
public:
    // ports: each port's name as the board and the notes show it; board: --all's.
    ConsoleDisplay(const std::vector<std::string>& ports, bool board, const SessionImage& image);

    void Line(const std::string& text) override;
    void Note(const std::string& text) override;
    void PortLine(size_t port, const std::string& text) override;
    void Status(size_t port, const std::string& text) override;
    void Table(const std::string& text) override;
    std::unique_ptr<SessionDisplay> RadioDisplay(size_t port) override;
    Answer Ask(const std::string& question) override;

private:
    std::vector<std::string> ports_;
    const SessionImage& image_;
    std::unique_ptr<BatchBoard> board_;
    // One radio at a time: the progress bar in hand, ended by any note first.
    std::optional<ProgressDisplay> progress_;
};

class ConsoleLabels final : public LabelReader {
public:
    InputLine Read(std::string& label) override;
};

// Rings only a terminal: in a file or a pipe the bell is a stray character in the log.
class TerminalBell final : public Bell {
public:
    void Ring() override;
};

// --json: the record's lines on standard output.
class StandardOutputLines final : public AppendFile {
public:
    bool Append(const std::string& line, std::string& error) override;
};
