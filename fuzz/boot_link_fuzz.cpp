// The bootloader link against a hostile radio whose bytes and ticks arrive from inside the
// message-loop passes, as the script says: the handshake, the header read and a write. Checked
// throughout: the reply is never stored past its buffer, the states move only along the
// handshake's edges and the command goes out only at the greeting's carriage return, progress
// only rises, every sent frame, read as the radio reads it, is the block it claims, built over
// one pass per data byte, a failed block ends the write with nothing sent after it, and every
// wait ends once the radio falls silent. A last kind of run presets the public reply fields to anything.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "core/boot_link.h"
#include "core/firmware_container.h"
#include "fuzz/fuzz_input.h"

namespace {

// Once the radio is silent and every pass ticks: the header wait ends with its time-out; a
// write ends within the frame being built, one more whose acknowledgement came early, and the
// acknowledgement's time-out.
constexpr long kHeaderQuietLimit = kHeaderTimeoutTicks;
constexpr long kWriteQuietLimit = 2 * kBlockSize + kWriteTimeoutTicks;

// 0xFF past the first eight blocks for good; only those carry a pattern.
uint8_t image[kFirmwareImageSize];
constexpr int kPatternedBlocks = 8;

// How the radio reads byte j of a frame, and equally how it encodes byte j of its header: the
// halves swapped, then XOR with the seed rotated left by j mod 8 bits.
uint8_t RadioCoding(uint8_t b, int j) {
    const int r = j % 8;
    const auto key = static_cast<uint8_t>(kScrambleSeed << r | kScrambleSeed >> (8 - r));
    return static_cast<uint8_t>((b << 4 | b >> 4) ^ key);
}

// The handshake one byte a step. A state it passes through falls back to WaitGreeting on any
// other byte; the states after it are left by no byte.
struct Edge {
    BootState from;
    uint8_t byte;
    BootState to;
};
constexpr Edge kHandshake[] = {
    {BootState::WaitGreeting, kGreetingFirst, BootState::SeenO},
    {BootState::SeenO, kGreetingSecond, BootState::SeenOK},
    {BootState::SeenOK, kGreetingEnd, BootState::CommandSent},
    {BootState::CommandSent, kProgrammingAcknowledgement, BootState::Acknowledged},
};

bool IsFiller(int block) {
    if (block >= kPatternedBlocks) return true;
    for (int j = 0; j < kBlockSize; ++j) {
        if (image[kBlockSize * block + j] != kFillerByte) return false;
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
    uint8_t stored[kHeaderSize] = {};
    int stored_count = 0;
    int verdict = -1;           // the byte stored as this frame's acknowledgement, -1 for none
    int last_frame_block = -1;  // block number of the latest frame sent in this write
    int frames = 0;
    long block_done_pass = 0;      // when the link was last done with a block, sent or skipped
    long answered_send_pass = -1;  // the frame's send, when its answer had come before it

    void SendToDevice(const uint8_t* data, uint16_t count) override {
        ++sends;
        if (count == sizeof kProgrammingCommand && std::memcmp(data, kProgrammingCommand, count) == 0) {
            FUZZ_CHECK(command_due_);
            command_due_ = false;
            return;
        }
        if (count == sizeof kHeaderRequest && std::memcmp(data, kHeaderRequest, count) == 0) {
            FUZZ_CHECK(phase == Phase::Header && sends == 1 && passes == 0);
            return;
        }
        FUZZ_CHECK(phase == Phase::Write && count == kFrameSize && data[0] == kFrameCommand);
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
        const BootState state = link->BootState;
        const uint16_t count = link->RxCount;
        const uint16_t expected = link->RxExpected;
        BootState next = state;
        for (const Edge& edge : kHandshake) {
            if (edge.from == state) next = b == edge.byte ? edge.to : BootState::WaitGreeting;
        }
        // The command goes out once, while the carriage return that completes the greeting is
        // handled, and only then.
        const bool due = next == BootState::CommandSent;
        command_due_ = due;
        const int sends_before = sends;

        link->HandleBootByte(b);

        FUZZ_CHECK(sends == sends_before + (due ? 1 : 0));
        FUZZ_CHECK(!command_due_);
        FUZZ_CHECK(link->BootState == next);
        FUZZ_CHECK(link->RxCount <= sizeof link->RxReply);
        if (link->RxCount == count) {
            FUZZ_CHECK(link->RxExpected == expected);
            return;
        }
        FUZZ_CHECK(state == BootState::Active && expected > 0);
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
        block_done_pass = 0;
    }

private:
    // The tick's one edge: the acknowledged link settles.
    void Tick() {
        const BootState state = link->BootState;
        const uint16_t ticks = link->TimeoutTicks;
        const bool timed_out = link->TimedOut;
        link->LinkTick();
        FUZZ_CHECK(link->BootState == (state == BootState::Acknowledged ? BootState::Settled : state));
        FUZZ_CHECK(link->TimeoutTicks == (ticks > 0 ? ticks - 1 : 0));
        FUZZ_CHECK(link->TimedOut == (timed_out || ticks == 1));
    }

    // The frame carries the block it names, in address order, and only filler lies between
    // it and the one before.
    void CheckFrame(const uint8_t* frame) {
        const uint32_t address =
            uint32_t{frame[1]} << 24 | uint32_t{frame[2]} << 16 | uint32_t{frame[3]} << 8 | frame[4];
        FUZZ_CHECK(address >= kApplicationAddress && (address - kApplicationAddress) % kBlockSize == 0);
        const auto block = static_cast<int>((address - kApplicationAddress) / kBlockSize);
        FUZZ_CHECK(block > last_frame_block && block < static_cast<int>(kFirmwareImageSize / kBlockSize));
        for (int skipped = last_frame_block + 1; skipped < block; ++skipped) FUZZ_CHECK(IsFiller(skipped));
        FUZZ_CHECK(!IsFiller(block));
        uint8_t a = 0;
        for (int j = 0; j < kBlockSize; ++j) {
            const uint8_t plain = RadioCoding(frame[kFrameDataOffset + j], j);
            FUZZ_CHECK(plain == image[kBlockSize * block + j]);
            a = static_cast<uint8_t>(a + plain);
        }
        const uint8_t* checks = frame + kFrameDataOffset + kBlockSize;
        FUZZ_CHECK(checks[0] == a && checks[1] == static_cast<uint8_t>(a + kCheckSeedB));
        // The loop ran once after each data byte, so what came meanwhile was handled.
        FUZZ_CHECK(passes - block_done_pass == kBlockSize);
        answered_send_pass = verdict != -1 ? passes : -1;
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
    FUZZ_CHECK(radio.stored_count == kHeaderSize && link.RxCount == kHeaderSize && link.RxExpected == 0);
    // The plain header, encoded as the radio encodes it, is what came over the wire.
    for (int j = 0; j < kHeaderSize; ++j) {
        const uint8_t plain = link.RxReply[j];
        FUZZ_CHECK((j < kScrambledHeaderBytes ? RadioCoding(plain, j) : plain) == radio.stored[j]);
    }
    const auto* reply = reinterpret_cast<const char*>(link.RxReply);
    FUZZ_CHECK(header.has_name == (link.RxReply[kNameField] == kNameLength));
    FUZZ_CHECK(header.name == (header.has_name ? std::string(reply + kNameField + 1, kNameLength) : ""));
    FUZZ_CHECK(header.has_version == (link.RxReply[kVersionField] == kVersionLength));
    FUZZ_CHECK(header.version == (header.has_version ? std::string(reply + kVersionField + 1, kVersionLength) : ""));
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
        n = static_cast<int32_t>(kFirmwareImageSize) - 1 - tail % kBlockSize;  // the largest images
    } else {
        n = (shape & 7) * kBlockSize + tail % kBlockSize;
    }
    std::memset(image, kFillerByte, kPatternedBlocks * kBlockSize);
    const int32_t patterned = n < 0 ? 0 : std::min(n, kPatternedBlocks * kBlockSize);
    for (int32_t j = 0; j < patterned; ++j) {
        if (holes >> (j / kBlockSize) & 1) continue;
        image[j] = static_cast<uint8_t>(seed + j * 7 + j / 251);
    }
    return n;
}

void CheckWrite(HostileRadio& radio, FuzzInput& script) {
    const int32_t n = MakeImage(script);
    radio.StartPhase(Phase::Write, kWriteQuietLimit);
    int progress_calls = 0;
    const auto progress = [&](int32_t value) {
        FUZZ_CHECK(value == kBlockSize * progress_calls);
        if (radio.last_frame_block == progress_calls) {
            FUZZ_CHECK(radio.verdict == kWriteAcknowledgement);
            FUZZ_CHECK(radio.answered_send_pass < 0 || radio.passes == radio.answered_send_pass);
        }
        radio.block_done_pass = radio.passes;
        ++progress_calls;
        radio.verdict = -1;
    };
    const WriteOutcome outcome = radio.link->WriteFirmware(image, n, progress);
    if (n < 0 || n >= static_cast<int32_t>(kFirmwareImageSize)) {
        FUZZ_CHECK(outcome == WriteOutcome::Failed && radio.sends == 0 && radio.passes == 0);
        return;
    }
    if (outcome == WriteOutcome::Completed) {
        FUZZ_CHECK(progress_calls == n / kBlockSize + 1);
        for (int skipped = radio.last_frame_block + 1; skipped <= n / kBlockSize; ++skipped) {
            FUZZ_CHECK(IsFiller(skipped));
        }
        return;
    }
    // The failed block is the last thing sent, and the one after the last progress call.
    FUZZ_CHECK(radio.frames > 0 && radio.sends == radio.frames);
    FUZZ_CHECK(radio.last_frame_block == progress_calls && radio.verdict != kWriteAcknowledgement);
    // No pass is run after a send whose answer had already come.
    FUZZ_CHECK(radio.answered_send_pass < 0 || radio.passes == radio.answered_send_pass);
}

// Reply fields set to anything from outside: bytes are stored only inside RxReply.
void CheckPresetReply(HostileRadio& radio, FuzzInput& script) {
    BootLink& link = *radio.link;
    link.BootState = BootState::Active;
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
    std::memset(image, kFillerByte, sizeof image);
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
    while (radio.link->BootState != BootState::Settled && !script.Empty()) radio.RunMessageLoopOnce();
    if (radio.link->BootState != BootState::Settled) return 0;

    FUZZ_CHECK(radio.link->TakeSettled());  // the update window's half-second step
    radio.StartPhase(Phase::Header, kHeaderQuietLimit);
    CheckHeader(radio, radio.link->ReadDeviceHeader());
    CheckWrite(radio, script);
    return 0;
}
