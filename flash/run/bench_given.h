// What the bench is given rather than reaching for: the wait and the clock, the display, the
// label reader and the bell. The console supplies them (console_bench.h), the tests a virtual
// clock and fake ports, and a window can supply its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/update_session.h"
#include "flash/run/platform.h"

// The wait, the clock and the little else of the system the bench asks of it.
class BenchSystem {
public:
    virtual ~BenchSystem() = default;
    // Nanoseconds on a clock that never goes back.
    virtual uint64_t NowNs() = 0;
    // Sleeps until a byte has arrived on one of ports, a stop request comes, or the clock
    // reaches until_ns; ports given as nullptr are not watched. True when a stop request woke it.
    virtual bool Wait(SerialPort* const* ports, size_t count, uint64_t until_ns) = 0;
    // How many stop requests have come so far, and the signal of the last one that counted.
    virtual int StopRequests() = 0;
    virtual int LastStopSignal() = 0;
    // How to make a request, "Ctrl-C stops", and a second one: "Ctrl-C again stops at once".
    virtual std::string StopHint() = 0;
    virtual std::string StopAgainHint() = 0;
    // How many radios are being written now, told each time that changes.
    virtual void WritesUnderWay(int count) = 0;
    // Whether the port's node is there: a USB converter's goes when it is unplugged.
    virtual bool PortPresent(const std::string& device) = 0;
    // Opens device again (its converter plugged in again) unless another program holds it;
    // nullptr with the reason in error otherwise.
    virtual std::unique_ptr<SerialPort> Reopen(const std::string& device, std::string& error) = 0;
    // Seconds since 1970 in UTC, for the record.
    virtual int64_t UnixSeconds() = 0;
    // The PC's converters and their takers now, so that a lost line can name what took it.
    virtual SerialSideSeen SerialSide() = 0;
};

// Where the bench's words go: its own notes, each port's line and state, the end's table,
// each radio's session, and the question before a write.
class BenchDisplay {
public:
    virtual ~BenchDisplay() = default;
    // A line in the update window's words, not tied to a port.
    virtual void Line(const std::string& text) = 0;
    // A word of the bench's own.
    virtual void Note(const std::string& text) = 0;
    // The port's line now reads text (the window's words, as a radio's lines are).
    virtual void PortLine(size_t port, const std::string& text) = 0;
    // The port's state as a glance shows it: "listening", "written V2.000 in 95 s".
    virtual void Status(size_t port, const std::string& text) = 0;
    // The table of every row and its count line, at the end.
    virtual void Table(const std::string& text) = 0;
    // The display of the port's radios, one session after another.
    virtual std::unique_ptr<SessionDisplay> RadioDisplay(size_t port) = 0;
    virtual Answer Ask(const std::string& question) = 0;
    // A row of the record has been kept for the port: a face that counts the radios counts it.
    virtual void RadioKept(size_t port, const RadioRecord& row) { (void)port, (void)row; }
};

// The next radio's label, as scanned or typed.
class LabelReader {
public:
    virtual ~LabelReader() = default;
    virtual InputLine Read(std::string& label) = 0;
};

// A label field for each port, as a window has: what it holds when the port's next radio
// greets is that radio's label.
class RowLabels {
public:
    virtual ~RowLabels() = default;
    virtual std::string Take(size_t port) = 0;
};

// Rung when a radio fails and when the run ends.
class Bell {
public:
    virtual ~Bell() = default;
    virtual void Ring() = 0;
};

// Everything given, for one run. record and json may be nullptr (no --record, no --json);
// labels is asked only with --ask-label, bell only with --bell; row_labels, where given, label
// each port's radios in place of labels. run and computer go into every record line, so that a
// day's lines from several PCs can be merged and counted.
struct BenchGiven {
    BenchSystem& system;
    BenchDisplay& display;
    AppendFile* record = nullptr;
    AppendFile* json = nullptr;
    LabelReader* labels = nullptr;
    Bell* bell = nullptr;
    std::string run;
    std::string computer;
    RowLabels* row_labels = nullptr;
};
