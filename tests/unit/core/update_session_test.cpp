// One radio's update session against a radio that answers on its own terms: every outcome
// the one-radio flow and the batch report (result, exit code, words) comes from here.
#include "core/update_session.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "core/firmware_container.h"
#include "core/sha256.h"
#include "core/update_lines.h"

namespace {

using Lines = std::vector<std::string>;

constexpr int kTwoBlocks = 2000;  // an image of two frames

// What the radio would send for header byte p at position j: the program's descrambling
// swaps the halves after the XOR, so the radio swaps first.
uint8_t HeaderWireByte(uint8_t p, int j) {
    const int r = j % 8;
    const uint8_t key = static_cast<uint8_t>((0x5B << r) | (0x5B >> ((8 - r) % 8)));
    return static_cast<uint8_t>(((p << 4) | (p >> 4)) ^ key);
}

// A radio in its bootloader, already greeted: it answers the header request and each frame.
class Radio final : public LinkHost {
public:
    std::string name = "Q42NR";  // "" sends no valid name field
    bool answer_header = true;
    int refuse_frame = -1;  // this frame is answered with 0x15 instead of 13
    bool silent = false;    // frames are not answered
    int frames = 0;

    void SendToDevice(const uint8_t* data, uint16_t count) override {
        if (count == 5 && data[0] == 'R' && answer_header) {
            uint8_t header[256] = {};
            if (!name.empty()) {
                header[16] = 5;
                for (int i = 0; i < 5; ++i) header[17 + i] = static_cast<uint8_t>(name[i]);
            }
            header[22] = 6;
            for (int i = 0; i < 6; ++i) header[23 + i] = static_cast<uint8_t>("V1.000"[i]);
            for (int j = 0; j < 256; ++j) pending.push_back(j < 128 ? HeaderWireByte(header[j], j) : header[j]);
        }
        if (count == 1031 && !silent) pending.push_back(frames++ == refuse_frame ? 0x15 : 13);
    }
    void RunMessageLoopOnce() override {}
    bool Terminated() const override { return stop_count >= 2; }

    std::deque<uint8_t> pending;
    int stop_count = 0;
};

class Recorder final : public SessionDisplay, public SessionQuestion {
public:
    void Line(const std::string& text) override { lines.push_back(text); }
    void Note(const std::string& text) override { notes.push_back(text); }
    void WriteBegins(const RadioRecord&, uint64_t) override { ++writes; }
    void WriteProgress(const WriteTally& tally, uint64_t) override { covered = tally.covered; }
    void WriteEnds() override {}
    Answer MayWrite() override {
        ++asked;
        return answer;
    }

    Answer answer = Answer::Yes;
    Lines lines;
    Lines notes;
    int writes = 0;
    int asked = 0;
    int32_t covered = 0;
};

struct Row {
    const char* name;
    std::string image_name;  // "" leaves the image's name field empty
    std::string radio_name;
    bool answer_header;
    int refuse_frame;
    bool force;
    bool info;
    Answer answer;
    int stops_at_pass;  // from this pass on, stop_count requests; -1 never
    int stop_count;
    // What must come of it.
    bool abandoned;
    RadioResult result;
    int exit_code;
    int frames;
    const char* last_line;  // the last line said, or the last note with last_is_note
    bool last_is_note;
    bool changed_after_check;  // a byte of the image differs from what its SHA-256 was taken of
};

const Lines kWritten = {"Application in unit: Q42NR",
                        "Version: V1.000",
                        kReadyToProgram,
                        kSendingFirmware,
                        "New Firmware is loaded.",
                        "Finished...",
                        "Disconnect RS232 link from device",
                        "and restart device to verify operation.",
                        "Repeat programming if required."};

TEST(UpdateSession, EachOutcomeHasItsResultExitCodeAndWords) {
    const Answer Y = Answer::Yes;
    const Row rows[] = {
        {"written", "Q42NR", "Q42NR", true, -1, false, false, Y, -1, 0, false, RadioResult::Written, 0, 2,
         "Repeat programming if required.", false, false},
        {"no header", "Q42NR", "Q42NR", false, -1, false, false, Y, -1, 0, false, RadioResult::NoHeader, 3, 0,
         kCannotReadDevice, false, false},
        {"second frame refused", "Q42NR", "Q42NR", true, 1, false, false, Y, -1, 0, false, RadioResult::WriteFailed, 1,
         1, kWriteFailed, false, false},
        {"other application", "Q42XX", "Q42NR", true, -1, false, false, Y, -1, 0, false, RadioResult::NotWritten, 6, 0,
         "the image is for application Q42XX, the radio's application is Q42NR: not written (--force writes it "
         "anyway)",
         true, false},
        {"image without a name", "", "Q42NR", true, -1, false, false, Y, -1, 0, false, RadioResult::NotWritten, 6, 0,
         "the image carries no Q42 application name (at its offset 16), the radio's application is Q42NR: not "
         "written (--force writes it anyway)",
         true, false},
        {"other application, forced", "Q42XX", "Q42NR", true, -1, true, false, Y, -1, 0, false, RadioResult::Written, 0,
         2, "Repeat programming if required.", false, false},
        {"nameless radio takes any image", "Q42XX", "", true, -1, false, false, Y, -1, 0, false, RadioResult::Written,
         0, 2, "Repeat programming if required.", false, false},
        {"info", "Q42NR", "Q42NR", true, -1, false, true, Y, -1, 0, false, RadioResult::NotWritten, 0, 0,
         "Version: V1.000", false, false},
        {"answered no", "Q42NR", "Q42NR", true, -1, false, false, Answer::No, -1, 0, false, RadioResult::NotWritten, 5,
         0, kNotWritten, true, false},
        {"stopped at the question", "Q42NR", "Q42NR", true, -1, false, false, Answer::Stopped, -1, 0, true,
         RadioResult::NotWritten, 0, 0, kNothingWritten, true, false},
        {"stop during the header read", "Q42NR", "Q42NR", true, -1, false, false, Y, 0, 1, true,
         RadioResult::NotWritten, 0, 0, kNothingWritten, true, false},
        {"one stop during the write", "Q42NR", "Q42NR", true, -1, false, false, Y, 300, 1, false, RadioResult::Written,
         0, 2, "Repeat programming if required.", false, false},
        {"two stops during the write", "Q42NR", "Q42NR", true, -1, false, false, Y, 300, 2, false, RadioResult::Stopped,
         130, 1, kStoppedDuringWrite, true, false},
        {"image changed since its check", "Q42NR", "Q42NR", true, -1, false, false, Y, -1, 0, false,
         RadioResult::NotWritten, 8, 0, kImageChangedInMemory, true, true},
    };
    for (const Row& r : rows) {
        static FirmwareStore store;
        std::fill(std::begin(store.FirmwareImage), std::end(store.FirmwareImage), uint8_t{0xFF});
        for (int i = 0; i < kTwoBlocks; ++i) store.FirmwareImage[i] = static_cast<uint8_t>(i * 7);
        store.FirmwareImage[16] = r.image_name.empty() ? 0 : 5;
        for (size_t i = 0; i < r.image_name.size(); ++i) store.FirmwareImage[17 + i] = r.image_name[i];
        SessionImage image;
        image.bytes = store.FirmwareImage;
        image.length = kTwoBlocks;
        image.force = r.force;
        image.info = r.info;
        image.sha256 = Sha256Hex(store.FirmwareImage, kTwoBlocks);
        if (r.changed_after_check) store.FirmwareImage[kTwoBlocks - 1] ^= 0x20;

        Radio radio;
        radio.name = r.radio_name;
        radio.answer_header = r.answer_header;
        radio.refuse_frame = r.refuse_frame;
        Recorder shown;
        shown.answer = r.answer;
        BootLink link(radio);
        UpdateSession session(link, image, shown, shown);
        link.BootState = BootState::Active;  // greeted, settled and taken at the 500 ms step
        RadioRecord start;
        start.port = "COM3";
        session.Begin(start, 0);
        LinkStep step = LinkStep::Waiting;
        // Each pass: a byte from the radio, then a 10 ms tick, then the session's step.
        for (int pass = 0; pass < 3000 && step != LinkStep::Over; ++pass) {
            if (r.stops_at_pass >= 0 && pass >= r.stops_at_pass) radio.stop_count = r.stop_count;
            if (!radio.pending.empty()) {
                link.HandleBootByte(radio.pending.front());
                radio.pending.pop_front();
            }
            link.LinkTick();
            step = session.Step(StopState{radio.stop_count, 2}, static_cast<uint64_t>(pass) * 10);
        }
        ASSERT_EQ(step, LinkStep::Over) << r.name;
        EXPECT_EQ(session.abandoned(), r.abandoned) << r.name;
        const Lines& said = r.last_is_note ? shown.notes : shown.lines;
        ASSERT_FALSE(said.empty()) << r.name;
        EXPECT_EQ(said.back(), r.last_line) << r.name;
        if (r.abandoned) continue;
        const RadioRecord& record = session.radio();
        EXPECT_EQ(record.result, r.result) << r.name;
        EXPECT_EQ(record.exit_code, r.exit_code) << r.name;
        EXPECT_EQ(record.frames, r.frames) << r.name;
        EXPECT_EQ(radio.frames, r.frames + (r.refuse_frame >= 0 ? 1 : 0)) << r.name << ": frames sent";
        EXPECT_EQ(record.port, "COM3") << r.name;
        EXPECT_EQ(shown.writes, r.frames > 0 || r.refuse_frame >= 0 ? 1 : 0) << r.name;
        if (r.result == RadioResult::Written) {
            EXPECT_EQ(shown.covered, kTwoBlocks) << r.name;
            EXPECT_EQ(record.bytes, kTwoBlocks) << r.name;
            if (r.radio_name == r.image_name) {
                EXPECT_EQ(shown.lines, kWritten) << r.name;
            }
        }
        // The question comes after the header and the image's check, and never with --info.
        const bool reached_question =
            r.answer_header && !r.info && (r.image_name == r.radio_name || r.radio_name.empty() || r.force);
        EXPECT_EQ(shown.asked, reached_question ? 1 : 0) << r.name;
    }
}

// The update window's write, its verdict told as q42flash tells it: the reason comes from how
// the link ended, so a refusal and silence must not be mistaken for each other.
TEST(RecordWindowWrite, TellsEachEndOfTheWindowsWrite) {
    const struct {
        const char* name;
        int refuse_frame;
        bool silent;
        bool program_ending;
        RadioResult result;
        int exit_code;
        const char* reason;
    } rows[] = {
        {"written", -1, false, false, RadioResult::Written, 0, ""},
        {"second frame refused", 1, false, false, RadioResult::WriteFailed, 1, "refused"},
        {"no answer", -1, true, false, RadioResult::WriteFailed, 1, "no answer"},
        {"program ending", -1, false, true, RadioResult::Stopped, 129, ""},
    };
    for (const auto& r : rows) {
        static FirmwareStore store;
        std::fill(std::begin(store.FirmwareImage), std::end(store.FirmwareImage), uint8_t{0x11});
        Radio radio;
        radio.refuse_frame = r.refuse_frame;
        radio.silent = r.silent;
        radio.stop_count = r.program_ending ? 2 : 0;
        BootLink link(radio);
        link.BootState = BootState::Active;
        link.BeginWrite(store.FirmwareImage, kTwoBlocks, nullptr);
        LinkStep step = LinkStep::Waiting;
        for (int pass = 0; pass < 5000 && step != LinkStep::Over; ++pass) {
            if (!radio.pending.empty()) {
                link.HandleBootByte(radio.pending.front());
                radio.pending.pop_front();
            }
            link.LinkTick();
            step = link.StepWrite();
        }
        ASSERT_EQ(step, LinkStep::Over) << r.name;
        RadioRecord record;
        record.reason = "left from before";
        RecordWindowWrite(record, link.write_outcome(), radio.Terminated(), link);
        EXPECT_EQ(record.result, r.result) << r.name;
        EXPECT_EQ(record.exit_code, r.exit_code) << r.name;
        EXPECT_EQ(record.reason, r.reason) << r.name;
    }
}

}  // namespace
