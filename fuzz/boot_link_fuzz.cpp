// The bootloader link against a hostile radio whose bytes and ticks arrive from inside the
// message-loop passes, as the script says: the greeting recogniser, the header read and a
// write. Checked throughout: the reply is never stored past its buffer, the recogniser and
// the tick follow their tables, progress only rises, every sent frame is the block it claims,
// a failed block ends the write with nothing sent after it, and every wait ends once the
// radio falls silent. A last kind of run presets the public reply fields to anything.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "core/boot_link.h"
#include "core/firmware_container.h"
#include "fuzz/fuzz_input.h"

namespace {

constexpr uint8_t kCommand[] = {0x1B, 0x1B, 'P', 'R', 'O', 'G'};
constexpr uint8_t kHeaderRequest[] = {'R', 0x00, 0x02, 0x00, 0x00};
constexpr int kBlock = 1024;
// Once the radio is silent and every pass ticks: the header wait ends in 500 passes; a write
// ends within the frame being built, one more whose acknowledgement came early, and 300 ticks.
constexpr long kHeaderQuietLimit = 500;
constexpr long kWriteQuietLimit = 2 * kBlock + 300;

// 0xFF past the first eight blocks for good; only those carry a pattern.
uint8_t image[kFirmwareImageSize];
constexpr int kPatternedBlocks = 8;

// The program's wire scrambling, written out again: swap the halves of b XOR key, then
// rotate the key left.
uint8_t Scramble(uint8_t b, uint8_t& key) {
    const auto t = static_cast<uint8_t>(b ^ key);
    key = static_cast<uint8_t>((key << 1) | (key >> 7));
    return static_cast<uint8_t>((t << 4) | (t >> 4));
}

uint8_t Unscramble(uint8_t wire, uint8_t& key) {
    const auto plain = static_cast<uint8_t>(((wire << 4) | (wire >> 4)) ^ key);
    key = static_cast<uint8_t>((key << 1) | (key >> 7));
    return plain;
}

bool IsFiller(int block) {
    if (block >= kPatternedBlocks) return true;
    for (int j = 0; j < kBlock; ++j) {
        if (image[kBlock * block + j] != 0xFF) return false;
    }
    return true;
}

enum class Phase { Greeting, Header, Write };

class HostileRadio final : public LinkHost {
public:
    explicit HostileRadio(FuzzInput& script) : script_(script) {}

    // On the heap, so that AddressSanitizer sees a store past the object.
    std::unique_ptr<BootLink> link = std::make_unique<BootLink>(*this);
    Phase phase = Phase::Greeting;
    long quiet_passes = 0;
    long quiet_limit = 0;
    long passes = 0;
    int sends = 0;
    uint8_t stored[256] = {};
    int stored_count = 0;
    int verdict = -1;           // the byte stored as this frame's acknowledgement, -1 for none
    int last_frame_block = -1;  // block number of the latest frame sent in this write
    int frames = 0;

    void SendToDevice(const uint8_t* data, uint16_t count) override {
        ++sends;
        if (count == sizeof kCommand && std::memcmp(data, kCommand, count) == 0) {
            FUZZ_CHECK(command_due_);
            command_due_ = false;
            return;
        }
        if (count == sizeof kHeaderRequest && std::memcmp(data, kHeaderRequest, count) == 0) {
            FUZZ_CHECK(phase == Phase::Header && sends == 1 && passes == 0);
            return;
        }
        FUZZ_CHECK(phase == Phase::Write && count == 1031 && data[0] == 'W');
        CheckFrame(data);
    }

    void RunMessageLoopOnce() override {
        ++passes;
        if (quiet_stretch_ > 0) {
            --quiet_stretch_;
            Tick();
            return;
        }
        if (script_.Empty()) {
            ++quiet_passes;
            FUZZ_CHECK(quiet_passes <= quiet_limit);
            Tick();
            return;
        }
        // One script byte per pass: 0xF0 and above are a stretch of ticking silence;
        // otherwise bit 7 ticks and the low three bits say how many bytes arrive first.
        const uint8_t c = script_.Byte();
        if (c >= 0xF0) {
            quiet_stretch_ = (c & 0x0F) * 32;
            Tick();
            return;
        }
        for (int k = c & 7; k > 0 && !script_.Empty(); --k) Deliver(script_.Byte());
        if (c & 0x80) Tick();
    }

    void Deliver(uint8_t b) {
        const uint8_t state = link->BootState;
        const uint16_t count = link->RxCount;
        const uint16_t expected = link->RxExpected;
        // The command goes out while the carriage return is handled, and only then.
        const bool due = state == 2 && b == 0x0D;
        command_due_ = due;
        const int sends_before = sends;

        link->HandleBootByte(b);

        FUZZ_CHECK(sends == sends_before + (due ? 1 : 0));
        FUZZ_CHECK(!command_due_);
        FUZZ_CHECK(link->BootState == NextState(state, b));
        FUZZ_CHECK(link->RxCount <= sizeof link->RxReply);
        if (link->RxCount == count) {
            FUZZ_CHECK(link->RxExpected == expected);
            return;
        }
        FUZZ_CHECK(state == 6 && expected > 0);
        FUZZ_CHECK(link->RxCount == count + 1 && link->RxExpected == expected - 1);
        FUZZ_CHECK(link->RxReply[count] == b);
        if (stored_count < static_cast<int>(sizeof stored)) stored[stored_count++] = b;
        verdict = b;
    }

    void StartPhase(Phase next, long limit) {
        phase = next;
        quiet_passes = 0;
        quiet_limit = limit;
        passes = 0;
        sends = 0;
        stored_count = 0;
        verdict = -1;
        last_frame_block = -1;
        frames = 0;
    }

private:
    static uint8_t NextState(uint8_t state, uint8_t b) {
        switch (state) {
        case 0:
            return b == 'O' ? 1 : 0;
        case 1:
            return b == 'K' ? 2 : 0;
        case 2:
            return b == 0x0D ? 3 : 0;
        case 3:
            return b == '#' ? 4 : 0;
        default:
            return state;
        }
    }

    void Tick() {
        const uint8_t state = link->BootState;
        const uint16_t ticks = link->TimeoutTicks;
        const bool timed_out = link->TimedOut;
        link->LinkTick();
        FUZZ_CHECK(link->BootState == (state == 4 ? 5 : state));
        FUZZ_CHECK(link->TimeoutTicks == (ticks > 0 ? ticks - 1 : 0));
        FUZZ_CHECK(link->TimedOut == (timed_out || ticks == 1));
    }

    // The frame carries the block it names, in address order, and only filler lies between
    // it and the one before.
    void CheckFrame(const uint8_t* frame) {
        const uint32_t address =
            uint32_t{frame[1]} << 24 | uint32_t{frame[2]} << 16 | uint32_t{frame[3]} << 8 | frame[4];
        FUZZ_CHECK(address >= 0x20000 && (address - 0x20000) % kBlock == 0);
        const auto block = static_cast<int>((address - 0x20000) / kBlock);
        FUZZ_CHECK(block > last_frame_block && block < static_cast<int>(kFirmwareImageSize / kBlock));
        for (int skipped = last_frame_block + 1; skipped < block; ++skipped) FUZZ_CHECK(IsFiller(skipped));
        FUZZ_CHECK(!IsFiller(block));
        uint8_t key = 0x5B;
        uint8_t a = 0;
        for (int j = 0; j < kBlock; ++j) {
            const uint8_t plain = Unscramble(frame[5 + j], key);
            FUZZ_CHECK(plain == image[kBlock * block + j]);
            a = static_cast<uint8_t>(a + plain);
        }
        FUZZ_CHECK(frame[1029] == a && frame[1030] == static_cast<uint8_t>(a + 165));
        last_frame_block = block;
        ++frames;
    }

    FuzzInput& script_;
    long quiet_stretch_ = 0;
    bool command_due_ = false;
};

void CheckHeader(HostileRadio& radio, const DeviceHeader& header) {
    const BootLink& link = *radio.link;
    FUZZ_CHECK(radio.sends == 1);
    if (header.timed_out) {
        FUZZ_CHECK(link.TimedOut && !header.has_name && !header.has_version);
        return;
    }
    FUZZ_CHECK(radio.stored_count == 256 && link.RxCount == 256 && link.RxExpected == 0);
    uint8_t key = 0x5B;
    for (int j = 0; j < 256; ++j) {
        const uint8_t plain = j < 128 ? Scramble(radio.stored[j], key) : radio.stored[j];
        FUZZ_CHECK(link.RxReply[j] == plain);
    }
    FUZZ_CHECK(header.has_name == (link.RxReply[16] == 5));
    FUZZ_CHECK(header.name ==
               (header.has_name ? std::string(reinterpret_cast<const char*>(link.RxReply + 17), 5) : ""));
    FUZZ_CHECK(header.has_version == (link.RxReply[22] == 6));
    FUZZ_CHECK(header.version ==
               (header.has_version ? std::string(reinterpret_cast<const char*>(link.RxReply + 23), 6) : ""));
}

// The image: a length, a pattern and up to eight blocks made filler; 0xFF past its end.
int32_t MakeImage(FuzzInput& script) {
    const uint8_t shape = script.Byte();
    const uint16_t tail = script.Word();
    const uint8_t seed = script.Byte();
    const uint8_t holes = script.Byte();
    int32_t n = 0;
    if (shape == 0xFF) {
        const int32_t outside[] = {-1, INT32_MIN, static_cast<int32_t>(kFirmwareImageSize), INT32_MAX};
        n = outside[tail % 4];
    } else if (shape == 0xFE) {
        n = static_cast<int32_t>(kFirmwareImageSize) - 1 - tail % kBlock;  // the largest images
    } else {
        n = (shape & 7) * kBlock + tail % kBlock;
    }
    std::memset(image, 0xFF, kPatternedBlocks * kBlock);
    const int32_t patterned = n < 0 ? 0 : std::min(n, kPatternedBlocks * kBlock);
    for (int32_t j = 0; j < patterned; ++j) {
        if (holes >> (j / kBlock) & 1) continue;
        image[j] = static_cast<uint8_t>(seed + j * 7 + j / 251);
    }
    return n;
}

void CheckWrite(HostileRadio& radio, FuzzInput& script) {
    const int32_t n = MakeImage(script);
    radio.StartPhase(Phase::Write, kWriteQuietLimit);
    int progress_calls = 0;
    const auto progress = [&](int32_t value) {
        FUZZ_CHECK(value == kBlock * progress_calls);
        if (radio.last_frame_block == progress_calls) FUZZ_CHECK(radio.verdict == 13);
        ++progress_calls;
        radio.verdict = -1;
    };
    const WriteOutcome outcome = radio.link->WriteFirmware(image, n, progress);
    if (n < 0 || n >= static_cast<int32_t>(kFirmwareImageSize)) {
        FUZZ_CHECK(outcome == WriteOutcome::Failed && radio.sends == 0 && radio.passes == 0);
        return;
    }
    if (outcome == WriteOutcome::Completed) {
        FUZZ_CHECK(progress_calls == n / kBlock + 1);
        for (int skipped = radio.last_frame_block + 1; skipped <= n / kBlock; ++skipped) {
            FUZZ_CHECK(IsFiller(skipped));
        }
        return;
    }
    // The failed block is the last thing sent, and the one after the last progress call.
    FUZZ_CHECK(radio.frames > 0 && radio.sends == radio.frames);
    FUZZ_CHECK(radio.last_frame_block == progress_calls && radio.verdict != 13);
}

// Reply fields set to anything from outside: bytes are stored only inside RxReply.
void CheckPresetReply(HostileRadio& radio, FuzzInput& script) {
    BootLink& link = *radio.link;
    link.BootState = 6;
    link.RxCount = script.Word() % 320;
    link.RxExpected = script.Word();
    while (!script.Empty()) {
        const uint16_t count = link.RxCount;
        link.HandleBootByte(script.Byte());
        FUZZ_CHECK(link.RxCount <= sizeof link.RxReply || link.RxCount == count);
    }
    static const uint8_t zeros[sizeof link.WriteFrame] = {};
    FUZZ_CHECK(link.TimeoutTicks == 0 && !link.TimedOut && link.ScrambleKey == 0);
    FUZZ_CHECK(std::memcmp(link.WriteFrame, zeros, sizeof zeros) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::memset(image, 0xFF, sizeof image);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput script(data, size);
    HostileRadio radio(script);
    if (script.Byte() == 0xA5) {
        CheckPresetReply(radio, script);
        return 0;
    }

    // Until the bootloader has answered and settled, as far as the script goes.
    while (radio.link->BootState != 5 && !script.Empty()) radio.RunMessageLoopOnce();
    if (radio.link->BootState != 5) return 0;

    radio.link->BootState = 6;  // the update window's half-second step
    radio.StartPhase(Phase::Header, kHeaderQuietLimit);
    CheckHeader(radio, radio.link->ReadDeviceHeader());
    CheckWrite(radio, script);
    return 0;
}
