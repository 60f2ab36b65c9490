// The bootloader as the program meets it: greeting, command, header read and write frames,
// faults, frames in pieces and recovery from a broken frame. Driven with a fake clock.
#include "sim/bootloader.h"

#include <gtest/gtest.h>
#include <cstdio>
#include <memory>

#include "program_side.h"

namespace {

using program_side::Block;
using program_side::WriteFrame;
using Bytes = std::vector<uint8_t>;

constexpr uint64_t kMs = 1000000;

struct Rig {
    explicit Rig(const SimOptions& options = SimOptions{}) {
        std::string error;
        EXPECT_TRUE(MakeHeader(options, header, error)) << error;
        boot = std::make_unique<Bootloader>(line, header);
    }
    void Feed(const Bytes& bytes, uint64_t now = 0) {
        for (uint8_t b : bytes) boot->Receive(b, now);
    }
    // Powers on, sends the command and drops everything the radio said so far.
    void Enter() {
        boot->PowerOn(0);
        Feed(program_side::kCommand);
        line.Take();
    }
    Bytes ReadHeader() {
        Feed(program_side::kHeaderRead);
        return program_side::DescrambleHeader(line.Take());
    }

    uint8_t header[kHeaderSize];
    RecordingLine line;
    std::unique_ptr<Bootloader> boot;
};

TEST(BootloaderHeader, ProgramReadsTheGivenNameAndVersion) {
    struct Row {
        const char* name;
        const char* version;
        int name_length;
        int version_length;
        uint8_t want_name_length;
        uint8_t want_version_length;
    };
    const Row rows[] = {
        {"ABCDE", "1.2.3x", -1, -1, 5, 6},
        {"Q42NV", "01.000", 4, -1, 4, 6},
        {"Q42NV", "01.000", -1, 7, 5, 7},
        {"AB", "9", -1, -1, 2, 1},
    };
    for (const Row& row : rows) {
        SimOptions options;
        options.name = row.name;
        options.version = row.version;
        options.name_length = row.name_length;
        options.version_length = row.version_length;
        Rig rig(options);
        rig.Enter();
        const Bytes header = rig.ReadHeader();
        ASSERT_EQ(header.size(), 256u) << row.name;
        EXPECT_EQ(header[16], row.want_name_length) << row.name;
        EXPECT_EQ(std::string(header.begin() + 17, header.begin() + 17 + std::string(row.name).size()), row.name);
        EXPECT_EQ(header[22], row.want_version_length) << row.version;
        EXPECT_EQ(std::string(header.begin() + 23, header.begin() + 23 + std::string(row.version).size()), row.version);
        EXPECT_TRUE(rig.line.HasEvent("header bytes=256"));
    }
}

TEST(BootloaderHeader, ImageHeaderArrivesWholeWithOnlyTheFirstHalfScrambled) {
    Bytes image(300);
    for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 37 + 11);
    const std::string path = ::testing::TempDir() + "bootloader_test_image.bin";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(image.data(), 1, image.size(), f);
    std::fclose(f);

    SimOptions options;
    options.image_path = path;
    Rig rig(options);
    rig.Enter();
    rig.Feed(program_side::kHeaderRead);
    const Bytes raw = rig.line.Take();
    ASSERT_EQ(raw.size(), 256u);
    EXPECT_EQ(Bytes(raw.begin() + 128, raw.end()), Bytes(image.begin() + 128, image.begin() + 256));
    EXPECT_NE(Bytes(raw.begin(), raw.begin() + 128), Bytes(image.begin(), image.begin() + 128));
    EXPECT_EQ(program_side::DescrambleHeader(raw), Bytes(image.begin(), image.begin() + 256));
}

TEST(BootloaderGreeting, FaultsShapeWhatTheRadioSaysUntilTheCommand) {
    struct Row {
        const char* fault;
        Bytes greeting;
        Bytes after_command;
    };
    const Row rows[] = {
        {"none", {'O', 'K', '\r'}, {'#'}},
        {"stray-bytes", {0x00, 0x55, 'O', 'K', '\r'}, {'#'}},
        {"bad-greeting", {'O', 'O', 'K', '\r'}, {'#'}},
        {"no-hash", {'O', 'K', '\r'}, {}},
    };
    for (const Row& row : rows) {
        Rig rig;
        std::string error;
        ASSERT_TRUE(ApplyFault(row.fault, rig.boot->faults, error)) << error;
        rig.line.delivery_ns = 3 * kMs + 1500;
        rig.boot->PowerOn(10 * kMs);
        EXPECT_EQ(rig.line.Take(), row.greeting) << row.fault;
        EXPECT_TRUE(rig.line.HasEvent("greeting t_ms=13.001")) << row.fault;
        rig.Feed(program_side::kCommand, 20 * kMs);
        EXPECT_EQ(rig.line.Take(), row.after_command) << row.fault;
        EXPECT_TRUE(rig.line.HasEvent("command t_ms=20.000")) << row.fault;
        // A radio that did not acknowledge stays deaf to the header read.
        rig.Feed(program_side::kHeaderRead);
        EXPECT_EQ(rig.line.Take().size(), row.after_command.empty() ? 0u : 256u) << row.fault;
    }
}

TEST(BootloaderCommand, FoundAfterNoiseButNotWhenOffOrIncomplete) {
    struct Row {
        const char* what;
        bool powered;
        Bytes input;
        bool hash;
    };
    const Row rows[] = {
        {"exact", true, {0x1B, 0x1B, 'P', 'R', 'O', 'G'}, true},
        {"after noise", true, {0x0A, 'x', 0x1B, 'P', 0x1B, 0x1B, 'P', 'R', 'O', 'G'}, true},
        {"three escapes", true, {0x1B, 0x1B, 0x1B, 'P', 'R', 'O', 'G'}, true},
        {"incomplete", true, {0x1B, 0x1B, 'P', 'R', 'O'}, false},
        {"broken", true, {0x1B, 0x1B, 'P', 'X', 'O', 'G'}, false},
        {"radio off", false, {0x1B, 0x1B, 'P', 'R', 'O', 'G'}, false},
    };
    for (const Row& row : rows) {
        Rig rig;
        if (row.powered) rig.boot->PowerOn(0);
        rig.line.Take();
        rig.Feed(row.input);
        EXPECT_EQ(rig.line.Take(), row.hash ? Bytes{'#'} : Bytes{}) << row.what;
    }
}

TEST(BootloaderHeader, SilentAndShortFaults) {
    const struct {
        const char* fault;
        size_t bytes;
    } rows[] = {{"silent-header", 0}, {"short-header", 200}};
    for (const auto& row : rows) {
        Rig rig;
        std::string error;
        ASSERT_TRUE(ApplyFault(row.fault, rig.boot->faults, error));
        rig.Enter();
        rig.Feed(program_side::kHeaderRead);
        EXPECT_EQ(rig.line.Take().size(), row.bytes) << row.fault;
    }
}

TEST(BootloaderFrame, ChecksAndAddressDecideTheAnswer) {
    enum Damage { None, CheckA, CheckB, DataByte };
    struct Row {
        const char* what;
        uint32_t address;
        Damage damage;
        uint8_t ack;
        const char* verdict;
    };
    const Row rows[] = {
        {"good first block", 0x20000, None, 13, "ok"},
        {"good later block", 0x35C00, None, 13, "ok"},
        {"check A wrong", 0x20000, CheckA, 0x15, "bad-check"},
        {"check B wrong", 0x20000, CheckB, 0x15, "bad-check"},
        {"data damaged", 0x20000, DataByte, 0x15, "bad-check"},
        {"not on a block", 0x20001, None, 0x15, "bad-address"},
        {"below the flash", 0x1FC00, None, 0x15, "bad-address"},
        {"beyond the flash", 0x60000, None, 0x15, "bad-address"},
    };
    for (const Row& row : rows) {
        Rig rig;
        rig.Enter();
        const Bytes block = Block(3);
        Bytes frame = WriteFrame(row.address, block);
        if (row.damage == CheckA) frame[1029] ^= 1;
        if (row.damage == CheckB) frame[1030] ^= 1;
        if (row.damage == DataByte) frame[500] ^= 0x40;
        rig.Feed(frame);
        EXPECT_EQ(rig.line.Take(), Bytes{row.ack}) << row.what;
        char event[80];
        std::snprintf(event, sizeof event, "frame block=0 address=0x%05X %s", unsigned(row.address), row.verdict);
        EXPECT_TRUE(rig.line.HasEvent(event)) << row.what;
        const size_t offset = row.address - Bootloader::kFlashBase;
        if (row.ack == 13) {
            EXPECT_EQ(Bytes(rig.boot->flash() + offset, rig.boot->flash() + offset + 1024), block) << row.what;
            EXPECT_EQ(rig.boot->flash_used(), offset + 1024) << row.what;
        } else {
            EXPECT_EQ(rig.boot->flash_used(), 0u) << row.what;
        }
    }
}

TEST(BootloaderFrame, AddressesMustRiseButMaySkipBlocks) {
    Rig rig;
    rig.Enter();
    const uint32_t addresses[] = {0x20000, 0x20800, 0x20400, 0x20800, 0x20C00};
    const uint8_t want[] = {13, 13, 0x15, 0x15, 13};
    for (size_t i = 0; i < 5; ++i) {
        rig.Feed(WriteFrame(addresses[i], Block(uint8_t(i))));
        EXPECT_EQ(rig.line.Take(), Bytes{want[i]}) << "frame " << i;
    }
    // The skipped block stays erased; the refused ones left the accepted data alone.
    const uint8_t* flash = rig.boot->flash();
    EXPECT_EQ(Bytes(flash + 0x400, flash + 0x800), Bytes(1024, 0xFF));
    EXPECT_EQ(Bytes(flash + 0x800, flash + 0xC00), Block(1));
    EXPECT_EQ(rig.boot->flash_used(), 0x1000u);
}

TEST(BootloaderFrame, FaultsStrikeTheKthFrameOnly) {
    struct Row {
        const char* fault;
        Bytes acks;  // the answers to four good frames
        bool hangs_up;
    };
    const Row rows[] = {
        {"nack=2", {13, 13, 0x15, 13}, false},
        {"no-ack=1", {13, 13, 13}, false},
        {"hangup=2", {13, 13}, true},
        {"nack=0", {0x15, 13, 13, 13}, false},
    };
    for (const Row& row : rows) {
        Rig rig;
        std::string error;
        ASSERT_TRUE(ApplyFault(row.fault, rig.boot->faults, error));
        rig.Enter();
        for (uint32_t i = 0; i < 4; ++i) rig.Feed(WriteFrame(0x20000 + 1024 * i, Block(uint8_t(i))));
        EXPECT_EQ(rig.line.Take(), row.acks) << row.fault;
        EXPECT_EQ(rig.line.hung_up, row.hangs_up) << row.fault;
    }
}

TEST(BootloaderFrame, FrameCountStartsAgainAtPowerOn) {
    Rig rig;
    std::string error;
    ASSERT_TRUE(ApplyFault("nack=0", rig.boot->faults, error));
    for (int session = 0; session < 2; ++session) {
        rig.Enter();
        rig.Feed(WriteFrame(0x20000, Block(1)));
        EXPECT_EQ(rig.line.Take(), Bytes{0x15}) << "session " << session;
    }
}

TEST(BootloaderFrame, PiecesOfAnySizeGiveTheSameConversation) {
    Bytes session = program_side::kHeaderRead;
    for (uint32_t i = 0; i < 3; ++i) {
        const Bytes frame = WriteFrame(0x20000 + 2048 * i, Block(uint8_t(40 + i)));
        session.insert(session.end(), frame.begin(), frame.end());
    }
    Rig whole;
    whole.Enter();
    whole.Feed(session);
    const Bytes want = whole.line.Take();
    ASSERT_EQ(want.size(), 256u + 3u);

    for (size_t piece : {size_t{1}, size_t{2}, size_t{7}, size_t{1000}, size_t{1031}, size_t{1500}}) {
        Rig rig;
        rig.Enter();
        uint64_t now = 0;
        for (size_t at = 0; at < session.size(); at += piece) {
            const size_t end = std::min(session.size(), at + piece);
            rig.Feed(Bytes(session.begin() + at, session.begin() + end), now);
            now += 20 * kMs;
            rig.boot->Tick(now);
        }
        EXPECT_EQ(rig.line.Take(), want) << "pieces of " << piece;
        EXPECT_EQ(Bytes(rig.boot->flash() + 4096, rig.boot->flash() + 5120), Block(42)) << piece;
    }
}

TEST(BootloaderFrame, StalledFrameIsGivenUpAndItsRestIgnored) {
    const Bytes frame = WriteFrame(0x20000, Block(9));
    // The rest of the broken frame must not look like a request of its own.
    ASSERT_NE(frame[600], 'W');
    ASSERT_NE(frame[600], 'R');
    struct Row {
        const char* what;
        uint64_t pause_ms;
        bool tick_in_pause;  // the radio notices the stall on its own
        Bytes acks;
    };
    const Row rows[] = {
        {"short pause", 400, false, {13, 0x15}},  // the resent frame repeats the address
        {"stall noticed by the next byte", 600, false, {13}},
        {"stall noticed by the clock", 600, true, {13}},
    };
    for (const Row& row : rows) {
        Rig rig;
        rig.Enter();
        rig.Feed(Bytes(frame.begin(), frame.begin() + 600), 0);
        const uint64_t later = row.pause_ms * kMs;
        if (row.tick_in_pause) {
            EXPECT_LE(rig.boot->NextDeadline(), later) << row.what;
            rig.boot->Tick(later);
            EXPECT_TRUE(rig.line.HasEvent("frame block=0 incomplete received=600")) << row.what;
        }
        rig.Feed(Bytes(frame.begin() + 600, frame.end()), later);
        rig.Feed(frame, later + 100 * kMs);
        EXPECT_EQ(rig.line.Take(), row.acks) << row.what;
        EXPECT_EQ(Bytes(rig.boot->flash(), rig.boot->flash() + 1024), Block(9)) << row.what;
    }
}

TEST(BootloaderFrame, NoiseBeforeAFrameCountsOnlyOnceTheLineIsQuiet) {
    const Bytes frame = WriteFrame(0x20000, Block(2));
    struct Row {
        uint64_t quiet_ms;
        Bytes acks;
    };
    for (const Row& row : {Row{0, {}}, Row{49, {}}, Row{50, {13}}}) {
        Rig rig;
        rig.Enter();
        rig.Feed({0x00, 'x'}, 0);
        rig.Feed(frame, row.quiet_ms * kMs);
        EXPECT_EQ(rig.line.Take(), row.acks) << row.quiet_ms << " ms";
        EXPECT_TRUE(rig.line.HasEvent("unexpected byte=0x00 during=request"));
    }
}

TEST(BootloaderFlash, NewBlockZeroBecomesTheHeaderAndIsSaved) {
    Rig rig;
    rig.Enter();
    Bytes block = Block(5);
    const std::string name =
        "\x05NEWAP\x06"
        "9.87.6";
    std::copy(name.begin(), name.end(), block.begin() + 16);
    rig.Feed(WriteFrame(0x20000, block));
    rig.Feed(WriteFrame(0x20800, Block(6)));
    rig.line.Take();
    EXPECT_EQ(rig.ReadHeader(), Bytes(block.begin(), block.begin() + 256));

    const std::string path = ::testing::TempDir() + "bootloader_test_flash.bin";
    std::string error;
    ASSERT_TRUE(rig.boot->SaveFlash(path, error)) << error;
    Bytes saved(4096);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    saved.resize(std::fread(saved.data(), 1, saved.size(), f));
    std::fclose(f);
    Bytes want = block;
    want.resize(2048, 0xFF);
    const Bytes second = Block(6);
    want.insert(want.end(), second.begin(), second.end());
    EXPECT_EQ(saved, want);
}

}  // namespace
