// The bench in-process, on a virtual clock with fake ports: radios switched on at given times,
// answering, refusing or keeping silent, converters pulled out and plugged in, stop requests.
// What the bench decides (rows, exit code, record lines, its notes) is read back from what it
// was given.
#include "flash/run/radio_bench.h"
#include "flash/run/bench_rows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/firmware_container.h"
#include "core/sha256.h"
#include "core/update_lines.h"

namespace {

constexpr uint64_t kMs = 1'000'000;
constexpr uint64_t kNever = UINT64_MAX;
constexpr int kImageBlocks = 10;

// One power-on of a radio at the cable's far end.
struct Radio {
    uint64_t on_ms;
    bool acknowledges = true;  // answers the programming command with its "#"
    bool answers_header = true;
    int refuse_frame = -1;  // this frame (from 0) is answered with a refusal
    int silent_from = -1;   // from this frame on, no answer
    std::string version = "V1.000";
};

class FakeSystem;

// A cable with its converter: the radios switched on one after another at its far end; the
// converter may be pulled out and plugged in again.
struct Line {
    std::string device;
    std::string position;
    std::vector<Radio> radios;
    uint64_t gone_ms = kNever;  // pulled out
    uint64_t back_ms = kNever;  // plugged in again
    int stop_at_frame = -1;     // a stop request as this frame goes out
    // What happened on it.
    std::multimap<uint64_t, uint8_t> incoming;  // bytes from the radio, by the time they arrive
    std::vector<int> frames;                    // frames sent to each radio
    int writes = 0;                             // anything sent at all
};

class FakePort final : public SerialPort {
public:
    FakePort(Line& line, FakeSystem& system, uint64_t opened_ns);
    ~FakePort() override;
    long Read(uint8_t* buffer, size_t capacity) override;
    bool Write(const uint8_t* data, size_t count) override;
    void Close() override { closed_ = true; }
    bool HungUp() const;
    bool HasBytes() const;

private:
    Line& line_;
    FakeSystem& system_;
    uint64_t opened_ns_;
    bool closed_ = false;
};

class FakeSystem final : public BenchSystem {
public:
    uint64_t NowNs() override { return now_ns; }
    bool Wait(SerialPort* const* ports, size_t count, uint64_t until_ns) override {
        for (const FakePort* open : open_ports) {
            const bool watched = std::find(ports, ports + count, open) != ports + count;
            if (watched && (open->HasBytes() || open->HungUp())) return false;
        }
        uint64_t next = until_ns;
        // Wakes as the next byte arrives; one already in, on a line hung up, is never read.
        for (const Line* line : lines) {
            const auto arriving = line->incoming.upper_bound(now_ns);
            if (arriving != line->incoming.end()) next = std::min(next, arriving->first);
        }
        const int stops_before = StopRequests();
        now_ns = std::max(now_ns, next);
        if (now_ns > 600'000 * kMs && !overran) {
            // Ten minutes of the bench's time: it would wait for ever. Stopped twice, it ends.
            overran = true;
            stops += 2;
        }
        return StopRequests() > stops_before;
    }
    int StopRequests() override {
        int due = stops;
        for (const uint64_t at : stop_ms) due += at * kMs <= now_ns ? 1 : 0;
        return due;
    }
    int LastStopSignal() override { return 2; }
    std::string StopHint() override { return "Ctrl-C stops"; }
    std::string StopAgainHint() override { return "Ctrl-C again stops at once"; }
    void WritesUnderWay(int count) override { most_writes = std::max(most_writes, count); }
    bool PortPresent(const std::string& device) override {
        const Line& line = Find(device);
        return now_ns < line.gone_ms * kMs || now_ns >= line.back_ms * kMs;
    }
    std::unique_ptr<SerialPort> Reopen(const std::string& device, std::string& error) override {
        if (!PortPresent(device)) {
            error = device + " is not there";
            return nullptr;
        }
        return std::make_unique<FakePort>(Find(device), *this, now_ns);
    }
    int64_t UnixSeconds() override { return 1'765'400'000 + static_cast<int64_t>(now_ns / 1'000'000'000); }
    SerialSideSeen SerialSide() override { return {}; }

    Line& Find(const std::string& device) {
        for (Line* line : lines) {
            if (line->device == device) return *line;
        }
        throw std::logic_error(device);
    }

    std::vector<Line*> lines;
    std::vector<const FakePort*> open_ports;
    uint64_t now_ns = 0;
    int stops = 0;
    std::vector<uint64_t> stop_ms;
    int most_writes = 0;
    bool overran = false;
};

FakePort::FakePort(Line& line, FakeSystem& system, uint64_t opened_ns)
    : line_(line), system_(system), opened_ns_(opened_ns) {
    system_.open_ports.push_back(this);
}

FakePort::~FakePort() {
    auto& open = system_.open_ports;
    open.erase(std::find(open.begin(), open.end(), this));
}

bool FakePort::HungUp() const { return opened_ns_ < line_.gone_ms * kMs && system_.now_ns >= line_.gone_ms * kMs; }

bool FakePort::HasBytes() const {
    return !closed_ && !line_.incoming.empty() && line_.incoming.begin()->first <= system_.now_ns;
}

long FakePort::Read(uint8_t* buffer, size_t capacity) {
    if (HungUp()) return -1;
    size_t n = 0;
    while (n < capacity && HasBytes()) {
        buffer[n++] = line_.incoming.begin()->second;
        line_.incoming.erase(line_.incoming.begin());
    }
    return static_cast<long>(n);
}

// What the radio would send for header byte p at position j: the program's descrambling
// swaps the halves after the XOR, so the radio swaps first.
uint8_t HeaderWireByte(uint8_t p, int j) {
    const int r = j % 8;
    const uint8_t key = static_cast<uint8_t>((0x5B << r) | (0x5B >> ((8 - r) % 8)));
    return static_cast<uint8_t>(((p << 4) | (p >> 4)) ^ key);
}

bool FakePort::Write(const uint8_t* data, size_t count) {
    if (HungUp()) return false;
    ++line_.writes;
    const uint64_t now = system_.now_ns;
    // The radio switched on last answers; the answers take 20 ms, a frame's 100 ms.
    int on = -1;
    for (size_t i = 0; i < line_.radios.size(); ++i) {
        if (line_.radios[i].on_ms * kMs <= now) on = static_cast<int>(i);
    }
    if (on < 0) return true;
    const Radio& radio = line_.radios[static_cast<size_t>(on)];
    if (line_.frames.size() <= static_cast<size_t>(on)) line_.frames.resize(static_cast<size_t>(on) + 1);
    if (count == sizeof kProgrammingCommand && data[0] == kProgrammingCommand[0] && radio.acknowledges) {
        line_.incoming.emplace(now + 20 * kMs, kProgrammingAcknowledgement);
    }
    if (count == sizeof kHeaderRequest && data[0] == kHeaderRequest[0] && radio.answers_header) {
        uint8_t header[kHeaderSize] = {};
        header[kNameField] = kNameLength;
        std::copy_n("Q42NR", kNameLength, header + kNameField + 1);
        header[kVersionField] = kVersionLength;
        std::copy_n(radio.version.data(), kVersionLength, header + kVersionField + 1);
        for (int j = 0; j < kHeaderSize; ++j) {
            line_.incoming.emplace(now + 20 * kMs,
                                   j < kScrambledHeaderBytes ? HeaderWireByte(header[j], j) : header[j]);
        }
    }
    if (count == static_cast<size_t>(kFrameSize) && data[0] == kFrameCommand) {
        const int frame = line_.frames[static_cast<size_t>(on)]++;
        if (frame == line_.stop_at_frame) ++system_.stops;
        if (frame == radio.refuse_frame) {
            line_.incoming.emplace(now + 100 * kMs, 0x15);
        } else if (radio.silent_from < 0 || frame < radio.silent_from) {
            line_.incoming.emplace(now + 100 * kMs, kWriteAcknowledgement);
        }
    }
    return true;
}

class FakeDisplay final : public BenchDisplay, public SessionDisplay {
public:
    void Line(const std::string& text) override { lines.push_back(text); }
    void Note(const std::string& text) override { notes.push_back(text); }
    void PortLine(size_t, const std::string& text) override { lines.push_back(text); }
    void Status(size_t, const std::string&) override {}
    void Table(const std::string& text) override { table = text; }
    std::unique_ptr<SessionDisplay> RadioDisplay(size_t) override {
        struct Forward final : SessionDisplay {
            explicit Forward(FakeDisplay& to) : to_(to) {}
            void Line(const std::string& text) override { to_.Line(text); }
            void Note(const std::string& text) override { to_.Note(text); }
            void WriteBegins(const RadioRecord&, uint64_t) override {}
            void WriteProgress(const WriteTally&, uint64_t) override {}
            void WriteEnds() override {}
            FakeDisplay& to_;
        };
        return std::make_unique<Forward>(*this);
    }
    Answer Ask(const std::string&) override { return Answer::Yes; }
    void WriteBegins(const RadioRecord&, uint64_t) override {}
    void WriteProgress(const WriteTally&, uint64_t) override {}
    void WriteEnds() override {}

    std::vector<std::string> lines;
    std::vector<std::string> notes;
    std::string table;
};

class FakeRecord final : public AppendFile {
public:
    bool Append(const std::string& line, std::string& error) override {
        if (fails_from >= 0 && static_cast<int>(lines.size()) >= fails_from) {
            error = "cannot write the record";
            return false;
        }
        lines.push_back(line);
        return true;
    }
    std::vector<std::string> lines;
    int fails_from = -1;
};

// Gives its labels in turn; past the last, the technician presses Ctrl-C at the prompt.
class FakeLabels final : public LabelReader {
public:
    FakeLabels(FakeSystem& system, std::vector<std::string> labels) : system_(system), labels_(std::move(labels)) {}
    InputLine Read(std::string& label) override {
        if (next_ == labels_.size()) {
            ++system_.stops;
            return InputLine::Stopped;
        }
        label = labels_[next_++];
        return InputLine::Read;
    }

private:
    FakeSystem& system_;
    std::vector<std::string> labels_;
    size_t next_ = 0;
};

std::string Field(const std::string& line, const std::string& name) {
    const size_t at = line.find("\"" + name + "\":");
    if (at == std::string::npos) return "?";
    const size_t from = at + name.size() + 3;
    const size_t to = line.find_first_of(",}", from);
    std::string value = line.substr(from, to - from);
    if (!value.empty() && value.front() == '"') value = value.substr(1, value.size() - 2);
    return value;
}

struct Case {
    const char* name;
    FlashOptions options;
    std::vector<Line> lines;
    std::vector<uint64_t> stop_ms;
    int record_fails_from;
    std::vector<std::string> labels;
    // What must come of it.
    int exit_code;
    bool by_signal;
    std::vector<std::string> results;  // the record's lines' "result" (and "reason"), in their order
    std::vector<std::string> notes;    // each among the bench's notes
    int most_writes;                   // radios written at once, at most
    // When the run ends on the bench's clock, from and by; 0 and 0: any time.
    uint64_t ends_from_ms = 0;
    uint64_t ends_by_ms = 0;
    const char* count_line = "";  // the table's last line; "": not looked at
};

FlashOptions Options(bool all, bool repeat, long count, long wait_seconds, bool ask_label = false,
                     bool skip_current = false) {
    FlashOptions options;
    options.yes = true;
    options.all = all;
    options.repeat = repeat;
    options.count = count;
    options.wait_seconds = wait_seconds;
    options.ask_label = ask_label;
    options.skip_current = skip_current;
    return options;
}

Line Port(std::string device, std::vector<Radio> radios, std::string position = "") {
    Line line;
    line.device = std::move(device);
    line.position = std::move(position);
    line.radios = std::move(radios);
    return line;
}

Line Gone(Line line, uint64_t gone_ms, uint64_t back_ms) {
    line.gone_ms = gone_ms;
    line.back_ms = back_ms;
    return line;
}

Line StopAt(Line line, int frame) {
    line.stop_at_frame = frame;
    return line;
}

// Ten blocks named "Q42NR", version V2.000.
SessionImage TestImage(bool skip_current) {
    static FirmwareStore store;
    std::fill(std::begin(store.FirmwareImage), std::end(store.FirmwareImage), uint8_t{0xFF});
    for (int i = 0; i < kImageBlocks * kBlockSize; ++i) store.FirmwareImage[i] = static_cast<uint8_t>(i * 7);
    store.FirmwareImage[kNameField] = kNameLength;
    std::copy_n("Q42NR", kNameLength, store.FirmwareImage + kNameField + 1);
    SessionImage image;
    image.bytes = store.FirmwareImage;
    image.length = kImageBlocks * kBlockSize;
    image.version = "V2.000";
    image.sha256 = Sha256Hex(image.bytes, static_cast<size_t>(image.length));
    image.skip_current = skip_current;
    return image;
}

// Each greeting arrives when its radio is switched on. named: as --port names them, not found by
// --port auto or ticked in a window.
void ListenOn(std::vector<Line>& lines, FakeSystem& system, ListenedPorts& ports, bool named = true) {
    for (Line& line : lines) {
        system.lines.push_back(&line);
        for (const Radio& radio : line.radios) {
            for (const uint8_t b : {kGreetingFirst, kGreetingSecond, kGreetingEnd}) {
                line.incoming.emplace(radio.on_ms * kMs, b);
            }
        }
        ports.Take(PortCandidate{line.device, line.position, named, ""}, std::make_unique<FakePort>(line, system, 0));
    }
}

TEST(RadioBench, DecidesRowsExitCodeAndRecord) {
    const Radio missed{1000, false};
    const Radio refusing{1000, true, true, 7};
    const Radio refusing_5{1000, true, true, 5};
    const Radio silent_from_3{1000, true, true, -1, 3};
    const Radio silent_header{1000, true, false};
    const Radio current{1000, true, true, -1, -1, "V2.000"};
    const Case cases[] = {
        {"one radio written",
         Options(false, false, 0, 0),
         {Port("/dev/ttyA", {{1000}})},
         {},
         -1,
         {},
         0,
         false,
         {"written"},
         {},
         1},
        {"a missed \"#\", then a new greeting: written after that power-on",
         Options(false, false, 0, 0),
         {Port("/dev/ttyA", {missed, {3000}})},
         {},
         -1,
         {},
         0,
         false,
         {"written"},
         {},
         1},
        {"the converter gone between radios and back",
         Options(false, true, 2, 0),
         {Gone(Port("/dev/ttyA", {{1000}, {9000}}), 5000, 7000)},
         {},
         -1,
         {},
         0,
         false,
         {"written", "written"},
         {"/dev/ttyA is back; listening on it again"},
         1},
        {"the converter gone between radios, not back within --wait",
         Options(false, true, 2, 5),
         {Gone(Port("/dev/ttyA", {{1000}}), 5000, kNever)},
         {},
         -1,
         {},
         kExitPortUnusable,
         false,
         {"written", "hung up"},
         {"/dev/ttyA did not come back within 5 s"},
         1},
        {"one stop during two writes: both written",
         Options(true, false, 0, 0),
         {StopAt(Port("/dev/ttyA", {{1000}}), 3), Port("/dev/ttyB", {{1000}})},
         {},
         -1,
         {},
         0,
         false,
         {"written", "written"},
         {std::string(kWriteGoesOn) + "Ctrl-C again stops at once"},
         2},
        {"two stops during two writes: each stops at its next frame",
         Options(true, false, 0, 0),
         {StopAt(Port("/dev/ttyA", {{1000}}), 3), StopAt(Port("/dev/ttyB", {{1000}}), 4)},
         {},
         -1,
         {},
         0,
         true,
         {"stopped", "stopped"},
         {},
         2},
        {"three ports, one refusing frame 7",
         Options(true, false, 0, 0),
         {Port("/dev/ttyA", {{1000}}), Port("/dev/ttyB", {refusing}), Port("/dev/ttyC", {{1000}})},
         {},
         -1,
         {},
         kExitWriteFailed,
         false,
         {"write failed, refused", "written", "written"},
         {},
         3,
         0,
         0,
         "2 of 3 radios written; 1 failed: /dev/ttyB write failed at frame 8: refused by the radio"},
        {"a record lost in the middle of a run: no further radio",
         Options(false, true, 3, 0),
         {Port("/dev/ttyA", {{1000}, {9000}, {17000}})},
         {},
         1,
         {},
         kExitRecordLost,
         false,
         {"written"},
         {"cannot write the record; no further radio is started"},
         1},
        {"--all with a named port where no radio greets within --wait",
         Options(true, false, 0, 20),
         {Port("/dev/ttyA", {{1000}}), Port("/dev/ttyB", {}, "left")},
         {},
         -1,
         {},
         kExitNoRadio,
         false,
         {"written", "no radio"},
         {"no greeting on left within 20 s"},
         1},
        {"--all, one radio written, then a stop: the silent named port still has its row",
         Options(true, false, 0, 0),
         {Port("/dev/ttyA", {{1000}}), Port("/dev/ttyB", {})},
         {30000},
         -1,
         {},
         kExitNoRadio,
         false,
         {"written", "no radio"},
         {},
         1},
        {"a stop while no radio greeted: nothing written",
         Options(false, false, 0, 0),
         {Port("/dev/ttyA", {})},
         {5000},
         -1,
         {},
         0,
         true,
         {},
         {kNothingWritten},
         0},
        {"--skip-current: a radio left as it was is counted as what it is",
         Options(false, true, 2, 0, false, true),
         {Port("/dev/ttyA", {current, {9000}})},
         {},
         -1,
         {},
         0,
         false,
         {"already current", "written"},
         {},
         1,
         0,
         0,
         "1 of 2 radios written, 1 already current"},
        // Each failure ends when its own wait does: a refusal at once, a silence after its time-out.
        {"a refused frame ends the write at once",
         Options(false, false, 0, 0),
         {Port("/dev/ttyA", {refusing_5})},
         {},
         -1,
         {},
         kExitWriteFailed,
         false,
         {"write failed, refused"},
         {},
         1,
         1500,
         2500},
        {"a radio silent from frame 3: failed at the frame's time-out",
         Options(false, false, 0, 0),
         {Port("/dev/ttyA", {silent_from_3})},
         {},
         -1,
         {},
         kExitWriteFailed,
         false,
         {"write failed, no answer"},
         {},
         1,
         1500 + kWriteTimeoutMs,
         2500 + kWriteTimeoutMs},
        {"a converter pulled out during the write: said, failed at the frame's time-out",
         Options(false, false, 0, 0),
         {Gone(Port("/dev/ttyA", {{1000}}), 2000, kNever)},
         {},
         -1,
         {},
         kExitWriteFailed,
         false,
         {"write failed, gone"},
         {"/dev/ttyA has gone: its USB converter was unplugged, or lost its power"},
         1,
         1500 + kWriteTimeoutMs,
         2000 + kWriteTimeoutMs},
        {"a silent header: no header after its time-out",
         Options(false, false, 0, 0),
         {Port("/dev/ttyA", {silent_header})},
         {},
         -1,
         {},
         kExitNoRadio,
         false,
         {"no header, no answer"},
         {},
         0,
         1500 + kHeaderTimeoutMs,
         2000 + kHeaderTimeoutMs},
        {"no greeting within --wait 1",
         Options(false, false, 0, 1),
         {Port("/dev/ttyA", {})},
         {},
         -1,
         {},
         kExitNoRadio,
         false,
         {},
         {"no greeting from the radio within 1 s: is its port 1 on the cable, and was it switched on after q42flash "
          "said it waits? (one switched on before is heard only when switched off and on again)"},
         0,
         1000,
         1100},
        {"--ask-label, two radios, a stop at the third label: the table, exit 0",
         Options(false, true, 0, 0, true),
         {Port("/dev/ttyA", {{1000}, {9000}})},
         {},
         -1,
         {"R-1", "R-2"},
         0,
         false,
         {"written", "written"},
         {},
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSystem system;
        std::vector<Line> lines = c.lines;
        system.stop_ms = c.stop_ms;
        FakeDisplay display;
        FakeRecord record;
        record.fails_from = c.record_fails_from;
        FakeLabels labels(system, c.labels);
        ListenedPorts ports(system);
        ListenOn(lines, system, ports);

        const SessionImage image = TestImage(c.options.skip_current);

        const BenchGiven given{system, display, &record, nullptr, &labels, nullptr, "1765400000-0badcafe", "BENCH-PC"};
        const BenchEnd end = RunBench(c.options, image, ports, given);

        EXPECT_FALSE(system.overran);
        EXPECT_EQ(end.by_signal, c.by_signal);
        if (!c.by_signal) {
            EXPECT_EQ(end.exit_code, c.exit_code);
        }
        std::vector<std::string> results;
        for (const std::string& line : record.lines) {
            const std::string reason = Field(line, "reason");
            results.push_back(Field(line, "result") + (reason == "null" ? "" : ", " + reason));
            EXPECT_EQ(Field(line, "image_sha256"), image.sha256);
            EXPECT_EQ(Field(line, "run"), "1765400000-0badcafe");
            EXPECT_EQ(Field(line, "pc"), "BENCH-PC");
        }
        EXPECT_EQ(results, c.results);
        if (c.count_line[0] != '\0') {
            ASSERT_GT(display.table.size(), 1u);
            EXPECT_EQ(display.table.substr(display.table.rfind('\n', display.table.size() - 2) + 1),
                      std::string(c.count_line) + "\n");
        }
        for (const std::string& note : c.notes) {
            EXPECT_NE(std::find(display.notes.begin(), display.notes.end(), note), display.notes.end())
                << "no note: " << note;
        }
        EXPECT_EQ(system.most_writes, c.most_writes);
        if (c.ends_by_ms > 0) {
            EXPECT_GE(system.now_ns, c.ends_from_ms * kMs);
            EXPECT_LE(system.now_ns, c.ends_by_ms * kMs);
        }
        // Nothing is sent on a port before its radio's greeting.
        for (const Line& line : lines) {
            if (line.radios.empty()) {
                EXPECT_EQ(line.writes, 0) << line.device;
            }
        }
    }
}

// Each row's label field, as a scanner filled it before the row's radios greeted.
class FakeRowLabels final : public RowLabels {
public:
    explicit FakeRowLabels(std::vector<std::vector<std::string>> labels) : labels_(std::move(labels)) {}
    std::string Take(size_t port) override {
        std::vector<std::string>& left = labels_.at(port);
        if (left.empty()) return "";
        const std::string label = left.front();
        left.erase(left.begin());
        return label;
    }

private:
    std::vector<std::vector<std::string>> labels_;
};

// The window's face of the same bench: each row keeps its last verdict once stopped, the count
// line counts radios (not ports), and each row's label goes with that row's own next radio.
TEST(RadioBench, WindowRowsShowEachPortAndCount) {
    const Radio refusing{1000, true, true, 7};
    const Radio current{1000, true, true, -1, -1, "V2.000"};
    FakeSystem system;
    std::vector<Line> lines = {Port("COM1", {{1000}, {9000}}, "left"), Port("COM2", {refusing}),
                               Port("COM3", {current}), Port("COM4", {})};
    system.stop_ms = {30000};
    ListenedPorts ports(system);
    ListenOn(lines, system, ports, false);
    const SessionImage image = TestImage(true);
    BenchRows rows({"left", "COM2", "COM3", "COM4"}, image);
    FakeRecord record;
    FakeRowLabels labels({{"R-1", "R-2"}, {}, {"R-3"}, {"unused"}});
    BenchGiven given{system, rows, &record, nullptr, nullptr, nullptr, "1765400000-0badcafe", "BENCH-PC", &labels};
    FlashOptions options = Options(true, true, 0, 0, false, true);
    RunBench(options, image, ports, given);

    const BenchNews news = rows.Take();
    std::map<size_t, BenchRowView> shown(news.rows.begin(), news.rows.end());
    const struct {
        size_t row;
        const char* state_begins;
        int percent;
    } expected[] = {
        {0, "written V2.000 in ", 100},
        {1, "write failed at frame 8: refused by the radio in ", 70},
        {2, "already current in ", 0},
        {3, "no longer listened on", 0},
    };
    for (const auto& row : expected) {
        SCOPED_TRACE(row.row);
        EXPECT_EQ(shown[row.row].state.rfind(row.state_begins, 0), 0u) << shown[row.row].state;
        EXPECT_EQ(shown[row.row].percent, row.percent);
    }
    EXPECT_TRUE(news.count_changed);
    EXPECT_EQ(news.count_line, "2 written, 1 failed, 1 already current since Start");
    std::vector<std::string> kept;
    for (const std::string& line : record.lines) kept.push_back(Field(line, "port") + " " + Field(line, "label"));
    EXPECT_EQ(kept, (std::vector<std::string>{"COM3 R-3", "COM2 null", "COM1 R-1", "COM1 R-2"}));
}

}  // namespace
