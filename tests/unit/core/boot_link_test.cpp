// Drives the real BootLink against a simulated Q42 radio: the greeting recogniser, the
// tick-counted waits, the header read and the block writes with their acknowledgements.
// The radio scrambles and descrambles with its own code, so a fault in BootLink's is not mirrored.
#include "core/boot_link.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/firmware_container.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

const Bytes kCommand = {0x1B, 0x1B, 'P', 'R', 'O', 'G'};
const Bytes kHeaderRequest = {'R', 0x00, 0x02, 0x00, 0x00};
constexpr int kNoAck = -1;

// Byte j of a frame or header goes with the seed 0x5B rotated left by j mod 8 bits.
uint8_t WireKey(int j) {
    const int r = j % 8;
    return static_cast<uint8_t>((0x5B << r) | (0x5B >> (8 - r)));
}

// Undoes the program's "XOR, then swap the halves": how the radio reads frame byte j, and
// equally how it must encode header byte j so that the program's pass restores it.
uint8_t RadioUnscramble(uint8_t wire, int j) { return static_cast<uint8_t>(((wire << 4) | (wire >> 4)) ^ WireKey(j)); }

class SimulatedRadio final : public LinkHost {
public:
    BootLink link{*this};
    int passes_per_tick = 1;
    long passes = 0;

    std::vector<Bytes> sent;
    std::vector<size_t> delivered_at_send;  // bytes the link had been handed at each send
    std::vector<long> passes_at_send;

    bool answer_command = true;
    size_t terminate_after_frames = SIZE_MAX;  // the program ends once this many frames are sent
    Bytes header_reply;                        // the radio's 256 (or more, or fewer) bytes on the wire
    long header_delay = 1;                     // passes from the request to the reply's arrival
    std::vector<int> acks;                     // per frame: the answer byte or kNoAck; 13 past the end
    long ack_delay = 3;

    Bytes flash = Bytes(kFirmwareImageSize, 0xFF);
    std::vector<int> blocks_written;
    int bad_frames = 0;

    // One receive event handed straight to the link, as the dispatcher does.
    void Deliver(const Bytes& batch) {
        for (uint8_t b : batch) {
            ++delivered_;
            link.HandleBootByte(b);
        }
    }

    void Schedule(const Bytes& bytes, long delay) {
        for (uint8_t b : bytes) incoming_.emplace(passes + delay, b);
    }

    void RunMessageLoopOnce() override {
        ++passes;
        Bytes due;
        while (!incoming_.empty() && incoming_.begin()->first <= passes) {
            due.push_back(incoming_.begin()->second);
            incoming_.erase(incoming_.begin());
        }
        Deliver(due);
        if (passes % passes_per_tick == 0) link.LinkTick();
    }

    bool Terminated() const override { return frames_ >= terminate_after_frames; }

    void SendToDevice(const uint8_t* data, uint16_t count) override {
        const Bytes message(data, data + count);
        sent.push_back(message);
        delivered_at_send.push_back(delivered_);
        passes_at_send.push_back(passes);
        if (message == kCommand && answer_command) Schedule({'#'}, 1);
        if (message == kHeaderRequest) Schedule(header_reply, header_delay);
        if (count == 1031 && data[0] == 'W') TakeFrame(data);
    }

private:
    void TakeFrame(const uint8_t* frame) {
        const uint32_t address =
            (uint32_t{frame[1]} << 24) | (uint32_t{frame[2]} << 16) | (uint32_t{frame[3]} << 8) | frame[4];
        const uint32_t offset = address - 0x20000;
        uint8_t block[1024];
        uint8_t a = 0;
        uint8_t b = 165;
        for (int j = 0; j < 1024; ++j) {
            block[j] = RadioUnscramble(frame[5 + j], j);
            a = static_cast<uint8_t>(a + block[j]);
            b = static_cast<uint8_t>(b + block[j]);
        }
        const bool ok = address >= 0x20000 && offset % 1024 == 0 && offset < kFirmwareImageSize && frame[1029] == a &&
                        frame[1030] == b;
        int ack = frames_ < acks.size() ? acks[frames_] : 13;
        ++frames_;
        if (ok) {
            std::copy(block, block + 1024, flash.begin() + offset);
            blocks_written.push_back(static_cast<int>(offset / 1024));
        } else {
            ++bad_frames;
            ack = 0x15;
        }
        if (ack != kNoAck) Schedule({static_cast<uint8_t>(ack)}, ack_delay);
    }

    std::multimap<long, uint8_t> incoming_;  // arrival pass -> byte, in order of arrival
    size_t delivered_ = 0;
    size_t frames_ = 0;
};

Bytes PatternImage(int32_t n) {
    Bytes image(kFirmwareImageSize, 0xFF);
    for (int32_t j = 0; j < n; ++j) image[j] = static_cast<uint8_t>(j * 31 + 7);
    return image;
}

TEST(ScrambleByte, XorsWithTheKeyBeforeSwappingHalvesAndRotatesTheKey) {
    struct Row {
        uint8_t key, in, out, next_key;
    };
    const Row rows[] = {
        {0x5B, 0x00, 0xB5, 0xB6}, {0x5B, 0x5B, 0x00, 0xB6}, {0x80, 0x0F, 0xF8, 0x01},
        {0x00, 0x12, 0x21, 0x00}, {0xB6, 0x01, 0x7B, 0x6D}, {0xFF, 0xFF, 0x00, 0xFF},
    };
    for (const Row& r : rows) {
        SimulatedRadio radio;
        radio.link.ScrambleKey = r.key;
        EXPECT_EQ(radio.link.ScrambleByte(r.in), r.out) << int{r.key} << "/" << int{r.in};
        EXPECT_EQ(radio.link.ScrambleKey, r.next_key) << int{r.key};
    }
}

// What reaches the link: the bytes of one receive event, a 10 ms tick or the window's 500 ms step.
struct Input {
    enum Kind { Received, Tick, Step } kind;
    std::string bytes;
    Input(const char* received) : kind(Received), bytes(received) {}
    Input(Kind event) : kind(event) {}
};

TEST(BootState, MovesAsTheHandshakeTableSays) {
    using S = BootState;
    struct Row {
        S from;
        Input input;
        S to;
        std::vector<size_t> command_after = {};  // bytes handed over as each command went out
    };
    // The command leaves before the byte after the carriage return is looked at. Only the tick
    // after the "#" settles the link; only the step makes a settled link active.
    const Row rows[] = {
        {S::WaitGreeting, "OK\r#", S::Acknowledged, {3}},
        {S::WaitGreeting, "\nOK\r#", S::Acknowledged, {4}},
        {S::WaitGreeting, "OOK\r", S::WaitGreeting},
        {S::WaitGreeting, "OK\r\n#", S::WaitGreeting, {3}},
        {S::WaitGreeting, "OKX\r#", S::WaitGreeting},
        {S::WaitGreeting, "OK\rXOK\r#", S::Acknowledged, {3, 7}},
        {S::WaitGreeting, "OK\r#OK\r#", S::Acknowledged, {3}},
        {S::Settled, "OK\r#", S::Settled},
        {S::Active, "OK\r#", S::Active},
        {S::WaitGreeting, Input::Tick, S::WaitGreeting},
        {S::SeenO, Input::Tick, S::SeenO},
        {S::SeenOK, Input::Tick, S::SeenOK},
        {S::CommandSent, Input::Tick, S::CommandSent},
        {S::Acknowledged, Input::Tick, S::Settled},
        {S::Settled, Input::Tick, S::Settled},
        {S::Active, Input::Tick, S::Active},
        {S::WaitGreeting, Input::Step, S::WaitGreeting},
        {S::SeenO, Input::Step, S::SeenO},
        {S::SeenOK, Input::Step, S::SeenOK},
        {S::CommandSent, Input::Step, S::CommandSent},
        {S::Acknowledged, Input::Step, S::Acknowledged},
        {S::Settled, Input::Step, S::Active},
        {S::Active, Input::Step, S::Active},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "row " << &r - rows);
        SimulatedRadio radio;
        radio.link.BootState = r.from;
        if (r.input.kind == Input::Received) radio.Deliver(Text(r.input.bytes));
        if (r.input.kind == Input::Tick) radio.link.LinkTick();
        if (r.input.kind == Input::Step) {
            EXPECT_EQ(radio.link.TakeSettled(), r.to != r.from) << "the step says whether it made the link active";
        }
        EXPECT_EQ(radio.link.BootState, r.to);
        EXPECT_EQ(radio.delivered_at_send, r.command_after);
        for (const Bytes& message : radio.sent) EXPECT_EQ(message, kCommand);
    }
}

TEST(LinkTick, SetsTimedOutExactlyWhenCountingFromOneToZero) {
    SimulatedRadio radio;
    radio.link.LinkTick();
    EXPECT_FALSE(radio.link.TimedOut) << "no wait pending";
    radio.link.TimeoutTicks = 3;
    const bool expected[] = {false, false, true, true};
    for (bool timed_out : expected) {
        radio.link.LinkTick();
        EXPECT_EQ(radio.link.TimedOut, timed_out) << radio.link.TimeoutTicks;
    }
    EXPECT_EQ(radio.link.TimeoutTicks, 0);
}

TEST(HandleBootByte, StoresRepliesOnlyWithinTheReplyBuffer) {
    struct Row {
        uint16_t count, expected, final_count, final_expected;
    };
    const Row rows[] = {{0, 256, 256, 0}, {0, 1, 1, 0}, {250, 1000, 256, 994}, {256, 5, 256, 5}};
    for (const Row& r : rows) {
        SimulatedRadio radio;
        radio.link.BootState = BootState::Active;
        radio.link.RxCount = r.count;
        radio.link.RxExpected = r.expected;
        radio.Deliver(Bytes(300, 0xAB));
        EXPECT_EQ(radio.link.RxCount, r.final_count) << r.expected;
        EXPECT_EQ(radio.link.RxExpected, r.final_expected) << r.expected;
        // The fields laid out after the reply buffer show any overrun.
        EXPECT_EQ(radio.link.TimeoutTicks, 0);
        EXPECT_FALSE(radio.link.TimedOut);
        EXPECT_EQ(radio.link.ScrambleKey, 0);
        EXPECT_EQ(radio.link.WriteFrame[0], 0);
    }
}

TEST(AwaitReply, ReturnsAtOnceWhenNothingIsAwaited) {
    SimulatedRadio radio;
    radio.link.AwaitReply();
    EXPECT_EQ(radio.passes, 0);
}

Bytes PlainHeader(uint8_t name_length, uint8_t version_length) {
    Bytes plain(256);
    for (int j = 0; j < 256; ++j) plain[j] = static_cast<uint8_t>(j * 7 + 3);
    plain[16] = name_length;
    std::copy_n("Q42NV", 5, plain.begin() + 17);
    plain[22] = version_length;
    std::copy_n("V2.07b", 6, plain.begin() + 23);
    return plain;
}

// Only the first 128 bytes are scrambled; the surplus beyond 256 is filler.
Bytes HeaderOnTheWire(uint8_t name_length, uint8_t version_length, size_t size) {
    Bytes wire = PlainHeader(name_length, version_length);
    for (int j = 0; j < 128; ++j) wire[j] = RadioUnscramble(wire[j], j);
    wire.resize(size, 0x5A);
    return wire;
}

TEST(ReadDeviceHeader, JudgesNameAndVersionByTheirOwnLengthBytes) {
    struct Row {
        uint8_t name_length, version_length;
        bool has_name, has_version;
    };
    const Row rows[] = {
        {5, 6, true, true},
        {5, 7, true, false},
        {4, 6, false, true},
        {0, 0, false, false},
    };
    for (const Row& r : rows) {
        SimulatedRadio radio;
        radio.link.BootState = BootState::Active;
        radio.header_reply = HeaderOnTheWire(r.name_length, r.version_length, 300);
        radio.link.TimedOut = true;  // left over from an earlier wait
        const DeviceHeader header = radio.link.ReadDeviceHeader();
        ASSERT_FALSE(header.timed_out);
        ASSERT_EQ(radio.sent, std::vector<Bytes>{kHeaderRequest});
        EXPECT_EQ(header.has_name, r.has_name) << int{r.name_length};
        EXPECT_EQ(header.name, r.has_name ? "Q42NV" : "");
        EXPECT_EQ(header.has_version, r.has_version) << int{r.version_length};
        EXPECT_EQ(header.version, r.has_version ? "V2.07b" : "");
        // Bytes 0..127 come back plain; the rest stays as it came over the wire.
        const Bytes plain = PlainHeader(r.name_length, r.version_length);
        EXPECT_TRUE(std::equal(plain.begin(), plain.end(), radio.link.RxReply));
        EXPECT_EQ(radio.link.RxCount, 256);
    }
}

TEST(ReadDeviceHeader, CountsItsTimeOutInTicksAndTestsItBeforeCompletion) {
    struct Row {
        const char* name;
        int passes_per_tick;
        size_t size;
        long delay;
        bool timed_out;
        long passes;
    };
    const Row rows[] = {
        {"silent radio", 1, 0, 1, true, 500},
        {"silent radio, slow timer", 3, 0, 1, true, 1500},
        {"one byte short", 1, 255, 1, true, 500},
        {"complete just before the last tick", 1, 256, 499, false, 499},
        {"complete with the last tick", 1, 256, 500, true, 500},
    };
    for (const Row& r : rows) {
        SimulatedRadio radio;
        radio.link.BootState = BootState::Active;
        radio.passes_per_tick = r.passes_per_tick;
        radio.header_reply = HeaderOnTheWire(5, 6, r.size);
        radio.header_delay = r.delay;
        const DeviceHeader header = radio.link.ReadDeviceHeader();
        EXPECT_EQ(header.timed_out, r.timed_out) << r.name;
        EXPECT_EQ(radio.passes, r.passes) << r.name;
        EXPECT_FALSE(r.timed_out && (header.has_name || header.has_version)) << r.name;
    }
}

struct WriteRun {
    WriteOutcome outcome;
    std::vector<int32_t> progress;
};

WriteRun Write(SimulatedRadio& radio, const Bytes& image, int32_t n) {
    radio.link.BootState = BootState::Active;
    WriteRun run{WriteOutcome::Completed, {}};
    const auto progress = [&run](int32_t value) { run.progress.push_back(value); };
    run.outcome = radio.link.WriteFirmware(image.data(), n, progress);
    return run;
}

TEST(WriteFirmware, SendsEveryBlockThatIsNotFillerToItsOwnAddress) {
    // The radio files each frame by its address, so block 88 is the frame sent to 0x00036000.
    struct Row {
        const char* name;
        int32_t n;
        int hole;
        std::vector<int> blocks;
        size_t progress_calls;
    };
    std::vector<int> all89(89), all256(256);
    for (int i = 0; i < 89; ++i) all89[i] = i;
    for (int i = 0; i < 256; ++i) all256[i] = i;
    const Row rows[] = {
        {"shipped image, 90,488 bytes", 90488, -1, all89, 89},
        {"exactly 2048 bytes", 2048, -1, {0, 1}, 3},
        {"empty image", 0, -1, {}, 1},
        {"filler block inside", 4100, 1, {0, 2, 3, 4}, 5},
        {"largest image", 262143, -1, all256, 256},
    };
    for (const Row& r : rows) {
        Bytes image = PatternImage(r.n);
        if (r.hole >= 0) std::fill_n(image.begin() + 1024 * r.hole, 1024, 0xFF);
        SimulatedRadio radio;
        const WriteRun run = Write(radio, image, r.n);
        EXPECT_EQ(run.outcome, WriteOutcome::Completed) << r.name;
        EXPECT_EQ(radio.bad_frames, 0) << r.name;
        EXPECT_EQ(radio.blocks_written, r.blocks) << r.name;
        EXPECT_TRUE(std::equal(image.begin(), image.end(), radio.flash.begin())) << r.name;
        ASSERT_EQ(run.progress.size(), r.progress_calls) << r.name;
        for (size_t i = 0; i < run.progress.size(); ++i) {
            EXPECT_EQ(run.progress[i], 1024 * static_cast<int32_t>(i)) << r.name;
        }
    }
}

TEST(WriteFirmware, CheckBytesSumTheUnscrambledBlock) {
    struct Row {
        uint8_t fill, first, a, b;
    };
    const Row rows[] = {
        {0x01, 0x01, 0x00, 165},
        {0x00, 0x10, 0x10, 0xB5},  // a block of 01s: A = 0, B = 165
        {0x00, 0xFF, 0xFF, 0xA4},
        {0x01, 0x00, 0xFF, 0xA4},
    };
    for (const Row& r : rows) {
        Bytes image(kFirmwareImageSize, 0xFF);
        std::fill_n(image.begin(), 1024, r.fill);
        image[0] = r.first;
        SimulatedRadio radio;
        EXPECT_EQ(Write(radio, image, 1024).outcome, WriteOutcome::Completed);
        ASSERT_EQ(radio.sent.size(), 1u);
        EXPECT_EQ(radio.sent[0][1029], r.a) << int{r.fill} << "/" << int{r.first};
        EXPECT_EQ(radio.sent[0][1030], r.b) << int{r.fill} << "/" << int{r.first};
        EXPECT_EQ(radio.bad_frames, 0);
    }
}

TEST(WriteFirmware, StopsAtTheFirstBlockNotAcknowledged) {
    struct Row {
        const char* name;
        std::vector<int> acks;
        size_t frames;
        size_t progress_calls;
    };
    const Row rows[] = {
        {"second block refused", {13, 0x15}, 2, 1},
        {"first block unanswered", {kNoAck}, 1, 0},
        {"second block unanswered after a good one", {13, kNoAck}, 2, 1},
        {"third block answers the preset value", {13, 13, 0xFF}, 3, 2},
    };
    for (const Row& r : rows) {
        SimulatedRadio radio;
        radio.acks = r.acks;
        const WriteRun run = Write(radio, PatternImage(4096), 4096);
        EXPECT_EQ(run.outcome, WriteOutcome::Failed) << r.name;
        EXPECT_EQ(radio.sent.size(), r.frames) << r.name;
        EXPECT_EQ(run.progress.size(), r.progress_calls) << r.name;
    }
}

TEST(WriteFirmware, EndingProgramWaitsForTheFrameInHandAndSendsNoMore) {
    struct Row {
        const char* name;
        std::vector<int> acks;
        long waited;
    };
    const Row rows[] = {
        {"acknowledged", {13, 13}, 5},
        {"refused", {13, 0x15}, 5},
        {"unanswered: the wait runs to its time-out", {13, kNoAck}, 300},
    };
    for (const Row& r : rows) {
        SimulatedRadio radio;
        radio.terminate_after_frames = 2;
        radio.acks = r.acks;
        radio.ack_delay = 5;
        const WriteRun run = Write(radio, PatternImage(5000), 5000);
        EXPECT_EQ(run.outcome, WriteOutcome::Failed) << r.name;
        EXPECT_EQ(radio.sent.size(), 2u) << r.name;
        EXPECT_EQ(radio.passes - radio.passes_at_send[1], r.waited) << r.name;
    }
}

TEST(WriteFirmware, WaitsForTheAcknowledgementInTicks) {
    struct Row {
        int passes_per_tick;
        long delay;
        WriteOutcome outcome;
        long wait;
    };
    const Row rows[] = {
        {1, 1, WriteOutcome::Completed, 1},
        {1, 300, WriteOutcome::Completed, 300},  // arrives with the tick that times out
        {1, 301, WriteOutcome::Failed, 300},
        {2, 600, WriteOutcome::Completed, 600},
        {2, 601, WriteOutcome::Failed, 600},
    };
    for (const Row& r : rows) {
        SimulatedRadio radio;
        radio.passes_per_tick = r.passes_per_tick;
        radio.ack_delay = r.delay;
        EXPECT_EQ(Write(radio, PatternImage(100), 100).outcome, r.outcome) << r.delay;
        ASSERT_EQ(radio.passes_at_send.size(), 1u);
        EXPECT_EQ(radio.passes - radio.passes_at_send[0], r.wait) << r.delay;
    }
}

// The loop runs after each of the 1024 data bytes while a frame is built, so the window stays
// live: what arrives meanwhile is handled before the frame goes, and an acknowledgement already
// in leaves no pass to run after the send.
TEST(WriteFirmware, HandlesWhatArrivesWhileTheFrameIsBuilt) {
    struct Row {
        long arrives;       // the pass that brings the 13
        size_t handled;     // bytes the link had been handed when the frame went
        long passes_after;  // passes run after the send
    };
    const Row rows[] = {{1, 1, 0}, {1024, 1, 0}, {1025, 0, 1}};
    for (const Row& r : rows) {
        SimulatedRadio radio;
        radio.acks = {kNoAck};
        radio.Schedule({13}, r.arrives);
        EXPECT_EQ(Write(radio, PatternImage(100), 100).outcome, WriteOutcome::Completed) << r.arrives;
        EXPECT_EQ(radio.delivered_at_send, std::vector<size_t>{r.handled}) << r.arrives;
        EXPECT_EQ(radio.passes - radio.passes_at_send.at(0), r.passes_after) << r.arrives;
    }
}

TEST(WriteFirmware, RefusesALengthOutsideTheImageBuffer) {
    const Bytes image = PatternImage(0);
    for (int32_t n : {-1, INT32_MIN, 262144, INT32_MAX}) {
        SimulatedRadio radio;
        const WriteRun run = Write(radio, image, n);
        EXPECT_EQ(run.outcome, WriteOutcome::Failed) << n;
        EXPECT_TRUE(radio.sent.empty() && run.progress.empty()) << n;
        EXPECT_EQ(radio.passes, 0) << n;
    }
}

TEST(BootLink, RunsAWholeUpdateAgainstTheRadio) {
    SimulatedRadio radio;
    radio.header_reply = HeaderOnTheWire(5, 6, 256);
    radio.Schedule(Text("OK\r"), 1);
    while (radio.link.BootState != BootState::Settled && radio.passes < 10) radio.RunMessageLoopOnce();
    ASSERT_EQ(radio.link.BootState, BootState::Settled);
    ASSERT_TRUE(radio.link.TakeSettled());  // the window's half-second step
    const DeviceHeader header = radio.link.ReadDeviceHeader();
    EXPECT_EQ(header.name + " " + header.version, "Q42NV V2.07b");
    const Bytes image = PatternImage(5000);
    EXPECT_EQ(radio.link.WriteFirmware(image.data(), 5000, nullptr), WriteOutcome::Completed);
    EXPECT_EQ(radio.blocks_written, std::vector<int>({0, 1, 2, 3, 4}));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), radio.flash.begin()));
}

// Several radios on one loop, as q42flash drives a bench of them: each link's steps touch
// only its own state, so the frames interleave and every radio still gets its image.
TEST(BootLink, StepsSeveralLinksFromOneLoop) {
    SimulatedRadio radios[3];
    const Bytes images[3] = {PatternImage(5000), PatternImage(3000), PatternImage(4100)};
    const int32_t lengths[3] = {5000, 3000, 4100};
    radios[1].acks = {13, 0x15};
    radios[2].header_delay = 40;  // answered later than the others
    for (SimulatedRadio& radio : radios) {
        radio.header_reply = HeaderOnTheWire(5, 6, 256);
        radio.link.BootState = BootState::Active;
        radio.link.BeginHeaderRead();
    }
    bool header_over[3] = {};
    bool write_over[3] = {};
    for (int pass = 0; pass < 100000; ++pass) {
        bool all_over = true;
        for (int i = 0; i < 3; ++i) {
            BootLink& link = radios[i].link;
            if (!header_over[i] && link.StepHeaderRead() == LinkStep::Over) {
                header_over[i] = true;
                EXPECT_EQ(link.TakeHeader().version, "V2.07b") << i;
                link.BeginWrite(images[i].data(), lengths[i], nullptr);
            }
            if (header_over[i] && !write_over[i]) write_over[i] = link.StepWrite() == LinkStep::Over;
            if (!write_over[i]) radios[i].RunMessageLoopOnce();
            all_over = all_over && write_over[i];
        }
        if (all_over) break;
    }
    EXPECT_EQ(radios[0].link.write_outcome(), WriteOutcome::Completed);
    EXPECT_EQ(radios[1].link.write_outcome(), WriteOutcome::Failed);
    EXPECT_EQ(radios[2].link.write_outcome(), WriteOutcome::Completed);
    EXPECT_EQ(radios[1].blocks_written, std::vector<int>({0, 1}));
    for (int i : {0, 2}) {
        EXPECT_EQ(radios[i].blocks_written.size(), static_cast<size_t>(lengths[i] / 1024 + 1)) << i;
        EXPECT_TRUE(std::equal(images[i].begin(), images[i].begin() + lengths[i], radios[i].flash.begin())) << i;
    }
    // The late header held back only its own radio, and the writes then went side by side.
    EXPECT_LT(radios[0].passes_at_send[1], radios[2].passes_at_send[1]);
    EXPECT_LT(radios[2].passes_at_send[1], radios[0].passes_at_send.back());
}

}  // namespace
