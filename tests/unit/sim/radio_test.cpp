// The radio by mode: the loopback cable, status packets on command and by period, power,
// and the control lines that tests send it.
#include "sim/radio.h"

#include <gtest/gtest.h>
#include <memory>

#include "program_side.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint64_t kMs = 1000000;
constexpr uint64_t kByteAt9600 = 1041666;  // 10 bits at 9600 baud, in ns

struct Rig {
    explicit Rig(RadioMode mode, uint32_t period_ms = 0, uint32_t baud = 0) {
        RadioSetup setup;
        setup.mode = mode;
        setup.status_period_ms = period_ms;
        setup.receive_baud = baud;
        radio = std::make_unique<Radio>(setup, line);
    }
    Radio::Control Control(const std::string& text, uint64_t now = 0) {
        error.clear();
        return radio->HandleControl(text, now, error);
    }
    RecordingLine line;
    std::unique_ptr<Radio> radio;
    std::string error;
};

TEST(RadioLoopback, EchoesEveryByteInOrder) {
    Rig rig(RadioMode::Loopback);
    Bytes all;
    for (size_t piece : {1, 5, 300}) {
        Bytes data(piece);
        for (size_t i = 0; i < piece; ++i) data[i] = static_cast<uint8_t>(all.size() + i * 13);
        rig.radio->Receive(data.data(), data.size(), 0);
        all.insert(all.end(), data.begin(), data.end());
    }
    EXPECT_EQ(rig.line.sent, all);
    EXPECT_EQ(rig.Control("on"), Radio::Control::Refused);
    EXPECT_EQ(rig.Control("status 5"), Radio::Control::Refused);
}

TEST(RadioReceived, AppAndLoopbackLogWhatArrives) {
    // A test that something was never sent to a radio relies on these lines.
    const uint8_t data[] = {0x1B, 0x1B, 'P', 'R'};
    for (RadioMode mode : {RadioMode::App, RadioMode::Loopback}) {
        Rig rig(mode, 0, 9600);
        rig.radio->Receive(data, 1, 0);
        rig.radio->Tick(kByteAt9600);
        rig.radio->Receive(data, sizeof data, 2 * kByteAt9600);
        rig.radio->Tick(6 * kByteAt9600);
        EXPECT_EQ(rig.line.events, (std::vector<std::string>{"received bytes=1", "received bytes=4"}))
            << static_cast<int>(mode);
    }
}

TEST(RadioPacedReceive, LoopbackEchoesEachByteOnceItHasArrived) {
    Rig rig(RadioMode::Loopback, 0, 9600);
    const uint64_t t = kByteAt9600;
    const uint8_t data[] = {7, 8, 9};
    EXPECT_EQ(rig.radio->Receive(data, 3, 0), 3u);
    const struct {
        uint64_t now;
        size_t echoed;
        uint64_t next;
    } steps[] = {{0, 0, t}, {t - 1, 0, t}, {t, 1, 2 * t}, {3 * t - 1, 2, 3 * t}, {3 * t, 3, UINT64_MAX}};
    for (const auto& step : steps) {
        rig.radio->Tick(step.now);
        EXPECT_EQ(rig.line.sent.size(), step.echoed) << step.now;
        EXPECT_EQ(rig.radio->NextDeadline(), step.next) << step.now;
    }
    EXPECT_EQ(rig.line.sent, Bytes(data, data + 3));
}

TEST(RadioPacedReceive, CommandIsStampedWhenItsLastByteHasArrived) {
    Rig rig(RadioMode::Boot, 0, 9600);
    rig.radio->PowerOn(0);
    rig.line.Take();
    rig.radio->Receive(program_side::kCommand.data(), 6, 10 * kMs);
    const uint64_t last_in = 10 * kMs + 6 * kByteAt9600;  // 16.249996 ms
    rig.radio->Tick(last_in - 1);
    EXPECT_TRUE(rig.line.sent.empty());
    // A control line acts after what arrived before it.
    EXPECT_EQ(rig.Control("fault none", last_in + 1), Radio::Control::Done);
    EXPECT_EQ(rig.line.Take(), Bytes{'#'});
    EXPECT_TRUE(rig.line.HasEvent("command t_ms=16.249"));
}

TEST(RadioPacedReceive, FrameStillOnTheCableIsNotTakenForStalled) {
    // 1031 bytes take 1.074 s at 9600 baud, longer than the 500 ms after which a frame
    // whose bytes stop is given up; a late look at the line must not count the bytes that
    // arrived meanwhile as missing.
    Rig rig(RadioMode::Boot, 0, 9600);
    rig.radio->PowerOn(0);
    rig.radio->Receive(program_side::kCommand.data(), 6, 0);
    rig.radio->Tick(10 * kMs);
    rig.line.Take();
    const Bytes frame = program_side::WriteFrame(0x20000, program_side::Block(3));
    rig.radio->Receive(frame.data(), frame.size(), 10 * kMs);
    rig.radio->Tick(400 * kMs);
    EXPECT_TRUE(rig.line.sent.empty());
    rig.radio->Tick(1500 * kMs);
    EXPECT_EQ(rig.line.Take(), Bytes{13});
    EXPECT_TRUE(rig.line.HasEvent("frame block=0 address=0x20000 ok"));
}

TEST(RadioStatus, OneRequestedPacketOfEachType) {
    const struct {
        const char* line;
        int type;  // -1: refused
    } rows[] = {{"status 1", 1},  {"status 2", 2}, {"status 5", 5},  {"status 6", 6},
                {"status 3", -1}, {"status", -1},  {"status 55", -1}};
    for (const auto& row : rows) {
        Rig rig(RadioMode::App);
        rig.radio->PowerOn(0);
        const Radio::Control want = row.type < 0 ? Radio::Control::Refused : Radio::Control::Done;
        EXPECT_EQ(rig.Control(row.line), want) << row.line;
        if (row.type < 0) {
            EXPECT_TRUE(rig.line.sent.empty()) << row.line;
        } else {
            ASSERT_GE(rig.line.sent.size(), 5u) << row.line;
            EXPECT_EQ(Bytes(rig.line.sent.begin(), rig.line.sent.begin() + 3), (Bytes{0x02, 0x05, uint8_t(row.type)}))
                << row.line;
        }
    }
}

TEST(RadioStatus, PeriodicPacketsWhileOnWithoutCatchingUp) {
    Rig rig(RadioMode::App, 100);
    rig.radio->PowerOn(0);
    const struct {
        uint64_t now_ms;
        size_t packets;
        uint64_t next_ms;
    } steps[] = {{0, 1, 100},   {50, 1, 100},  {100, 2, 200}, {199, 2, 200},
                 {200, 3, 300}, {750, 4, 850}, {849, 4, 850}, {850, 5, 950}};
    for (const auto& step : steps) {
        rig.radio->Tick(step.now_ms * kMs);
        EXPECT_EQ(rig.line.sent.size(), 33 * step.packets) << step.now_ms << " ms";
        EXPECT_EQ(rig.radio->NextDeadline(), step.next_ms * kMs) << step.now_ms << " ms";
    }
    EXPECT_EQ(rig.Control("off", 900 * kMs), Radio::Control::Done);
    EXPECT_EQ(rig.radio->NextDeadline(), UINT64_MAX);
    rig.radio->Tick(5000 * kMs);
    EXPECT_EQ(rig.line.sent.size(), 33 * 5u);
    EXPECT_EQ(rig.Control("status 5"), Radio::Control::Refused);
}

TEST(RadioBoot, PowerCyclesRestartTheBootloader) {
    Rig rig(RadioMode::Boot);
    rig.radio->Receive(program_side::kCommand.data(), 6, 0);
    EXPECT_TRUE(rig.line.sent.empty()) << "a radio that is off says nothing";

    EXPECT_EQ(rig.Control("on", 5 * kMs), Radio::Control::Done);
    EXPECT_EQ(rig.line.Take(), (Bytes{'O', 'K', '\r'}));
    rig.radio->Receive(program_side::kCommand.data(), 6, 6 * kMs);
    EXPECT_EQ(rig.line.Take(), Bytes{'#'});

    // Switched on again while on: a fresh greeting, pending output dropped.
    EXPECT_EQ(rig.Control("on", 7 * kMs), Radio::Control::Done);
    EXPECT_EQ(rig.line.drops, 1);
    EXPECT_EQ(rig.line.Take(), (Bytes{'O', 'K', '\r'}));

    EXPECT_EQ(rig.Control("off", 8 * kMs), Radio::Control::Done);
    rig.radio->Receive(program_side::kCommand.data(), 6, 9 * kMs);
    EXPECT_TRUE(rig.line.sent.empty());
    EXPECT_TRUE(rig.line.HasEvent("power state=off t_ms=8.000"));
}

TEST(RadioControl, FaultsAndSavesAndRefusals) {
    Rig rig(RadioMode::Boot);
    EXPECT_EQ(rig.Control("fault nack=0"), Radio::Control::Done);
    rig.Control("on");
    rig.radio->Receive(program_side::kCommand.data(), 6, 0);
    const Bytes good = program_side::WriteFrame(0x20000, program_side::Block(1));
    rig.line.Take();
    rig.radio->Receive(good.data(), good.size(), 0);
    EXPECT_EQ(rig.line.Take(), Bytes{0x15});
    EXPECT_EQ(rig.Control("fault none"), Radio::Control::Done);
    rig.radio->Receive(good.data(), good.size(), 0);
    EXPECT_EQ(rig.line.Take(), Bytes{13});

    const std::string path = ::testing::TempDir() + "radio_test_flash.bin";
    EXPECT_EQ(rig.Control("save " + path), Radio::Control::Done);
    EXPECT_TRUE(rig.line.HasEvent("saved bytes=1024"));

    // Erased, the radio holds nothing: a save is empty and the header read finds no
    // application, so a later update is proven on a blank flash.
    EXPECT_EQ(rig.Control("erase"), Radio::Control::Done);
    EXPECT_EQ(rig.radio->bootloader().flash_used(), 0u);
    EXPECT_EQ(rig.radio->bootloader().flash()[0], 0xFF);
    rig.line.Take();
    rig.radio->Receive(program_side::kHeaderRead.data(), program_side::kHeaderRead.size(), 0);
    EXPECT_EQ(program_side::DescrambleHeader(rig.line.Take()), Bytes(256, 0xFF));
    EXPECT_EQ(rig.Control("save " + path), Radio::Control::Done);
    EXPECT_TRUE(rig.line.HasEvent("saved bytes=0"));

    for (const char* bad : {"fault", "fault nack", "fault wobble", "save", "jump", "on now", "quit 1", "erase all"}) {
        EXPECT_EQ(rig.Control(bad), Radio::Control::Refused) << bad;
        EXPECT_FALSE(rig.error.empty()) << bad;
    }
    EXPECT_EQ(rig.Control("save /nonexistent-dir/flash.bin"), Radio::Control::Refused);
    EXPECT_EQ(rig.Control("quit"), Radio::Control::Quit);
}

}  // namespace
