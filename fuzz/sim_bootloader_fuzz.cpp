// The simulated radio's receive side over any stream from the program, at any pace and with
// any of its faults: what it answers is only ever the greeting after power-on, "#" right after
// the whole programming command, the header (as it now stands) right after a whole read
// request, and an acknowledgement right after a whole frame; 13 only for a good frame whose
// bytes kept coming, and its flash is exactly the blocks it acknowledged.
#include <cstring>
#include <optional>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "sim/bootloader.h"

namespace {

constexpr uint64_t kMs = 1000000;
constexpr size_t kFrameSize = 1 + 4 + Bootloader::kBlockSize + 2;
// What the checker remembers of the received stream: room for a frame, a power of two so that
// the byte path costs a mask, not a division.
constexpr size_t kHistorySize = 2048;
static_assert(kHistorySize >= kFrameSize && (kHistorySize & (kHistorySize - 1)) == 0);
constexpr uint8_t kCommand[] = {0x1B, 0x1B, 'P', 'R', 'O', 'G'};
constexpr uint8_t kHeaderRead[] = {'R', 0x00, 0x02, 0x00, 0x00};
// The faults fall on the first eight frames; whole frames past a dozen reach nothing new, and
// at 1031 bytes each, a script made of them took over a millisecond a run.
constexpr int kMostWholeFrames = 12;

// What the radio's flash must hold; erased once, then only the blocks a run wrote are erased.
uint8_t shadow_flash[Bootloader::kFlashSize];
std::vector<size_t> shadow_written;

// The program's wire scrambling, written out from its rule.
uint8_t Scramble(uint8_t b, uint8_t& key) {
    const auto t = static_cast<uint8_t>(b ^ key);
    key = static_cast<uint8_t>((key << 1) | (key >> 7));
    return static_cast<uint8_t>((t << 4) | (t >> 4));
}

uint32_t BigEndian(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

class CheckingLine final : public RadioLine {
public:
    uint64_t Send(const uint8_t* data, size_t count, uint64_t now_ns) override {
        if (powering_on) {
            FUZZ_CHECK(greeting_count + count <= sizeof greeting);
            std::memcpy(greeting + greeting_count, data, count);
            greeting_count += count;
            return now_ns;
        }
        FUZZ_CHECK(delivering && count > 0);
        if (count == 1 && data[0] == '#') {
            FUZZ_CHECK(!hash_sent && EndsWith(kCommand, sizeof kCommand));
            hash_sent = true;
        } else if (count == 1 && (data[0] == 13 || data[0] == 0x15)) {
            CheckFrame(data[0] == 13);
        } else {
            CheckHeader(data, count);
        }
        return now_ns;
    }
    void DropPending() override {}
    void Report(const char* event) override { FUZZ_CHECK(std::strlen(event) < 159); }
    void HangUp() override { hung_up = true; }

    // What the radio has received since it was last switched on or off, with arrival times.
    void Received(uint8_t b, uint64_t now_ns) {
        history[history_count % kHistorySize] = b;
        arrivals[history_count % kHistorySize] = now_ns;
        ++history_count;
    }
    // Either way the radio forgets the conversation; after power-on any address may come first.
    void PowerCycled() {
        history_count = 0;
        any_accepted = false;
        hash_sent = false;
        greeting_count = 0;
    }

    Faults faults;
    bool powering_on = false;
    bool delivering = false;
    bool hung_up = false;
    bool hash_sent = false;
    uint8_t greeting[8] = {};
    size_t greeting_count = 0;
    uint8_t header[kHeaderSize] = {};
    bool any_accepted = false;
    uint32_t last_address = 0;
    size_t flash_used = 0;

private:
    // The received byte k places back from the latest (0 is the latest).
    uint8_t Back(size_t k) const { return history[(history_count - 1 - k) % kHistorySize]; }
    uint64_t ArrivalBack(size_t k) const { return arrivals[(history_count - 1 - k) % kHistorySize]; }

    bool EndsWith(const uint8_t* tail, size_t n) const {
        if (history_count < n) return false;
        for (size_t i = 0; i < n; ++i) {
            if (Back(n - 1 - i) != tail[i]) return false;
        }
        return true;
    }

    void CheckHeader(const uint8_t* reply, size_t count) {
        FUZZ_CHECK(hash_sent && !faults.silent_header && EndsWith(kHeaderRead, sizeof kHeaderRead));
        FUZZ_CHECK(count == (faults.short_header ? 200u : kHeaderSize));
        uint8_t key = 0x5B;
        for (size_t i = 0; i < count; ++i) {
            const uint8_t plain = i < 128 ? Scramble(reply[i], key) : reply[i];
            FUZZ_CHECK(plain == header[i]);
        }
    }

    // The frame is the last 1031 bytes received, none more than 500 ms after the one before.
    void CheckFrame(bool accepted) {
        FUZZ_CHECK(hash_sent && history_count >= kFrameSize && Back(kFrameSize - 1) == 'W');
        for (size_t k = 0; k + 1 < kFrameSize; ++k) {
            FUZZ_CHECK(ArrivalBack(k) - ArrivalBack(k + 1) <= Bootloader::kGapLimitNs);
        }
        if (!accepted) return;
        uint8_t frame[kFrameSize];
        for (size_t i = 0; i < kFrameSize; ++i) frame[i] = Back(kFrameSize - 1 - i);
        const uint32_t address = BigEndian(frame + 1);
        FUZZ_CHECK(address >= Bootloader::kFlashBase &&
                   (address - Bootloader::kFlashBase) % Bootloader::kBlockSize == 0);
        const size_t offset = address - Bootloader::kFlashBase;
        FUZZ_CHECK(offset + Bootloader::kBlockSize <= Bootloader::kFlashSize);
        FUZZ_CHECK(!any_accepted || address > last_address);
        // The radio undoes the program's rule: swap the halves back, then XOR the key.
        uint8_t key = 0x5B;
        uint8_t sum = 0;
        uint8_t* block = shadow_flash + offset;
        for (size_t j = 0; j < Bootloader::kBlockSize; ++j) {
            const uint8_t wire = frame[5 + j];
            block[j] = static_cast<uint8_t>(((wire << 4) | (wire >> 4)) ^ key);
            key = static_cast<uint8_t>((key << 1) | (key >> 7));
            sum = static_cast<uint8_t>(sum + block[j]);
        }
        FUZZ_CHECK(frame[1029] == sum && frame[1030] == static_cast<uint8_t>(sum + 165));
        if (offset == 0) std::memcpy(header, block, kHeaderSize);
        shadow_written.push_back(offset);
        if (offset + Bootloader::kBlockSize > flash_used) flash_used = offset + Bootloader::kBlockSize;
        any_accepted = true;
        last_address = address;
    }

    uint8_t history[kHistorySize] = {};
    uint64_t arrivals[kHistorySize] = {};
    size_t history_count = 0;
};

int FrameNumber(uint8_t v) { return v < 8 ? v : -1; }

class Run {
public:
    explicit Run(FuzzInput& script) : script_(script) {
        const uint8_t flags = script.Byte();
        Faults& f = line_.faults;
        f.stray_bytes = flags & 1;
        f.bad_greeting = flags & 2;
        f.no_hash = flags & 4;
        f.silent_header = flags & 8;
        f.short_header = flags & 16;
        f.nack_at = FrameNumber(script.Byte());
        f.no_ack_at = FrameNumber(script.Byte());
        f.hangup_at = FrameNumber(script.Byte());
        for (size_t i = 0; i < kHeaderSize; ++i) line_.header[i] = static_cast<uint8_t>(i * 13 + 1);
        line_.header[16] = 5;
        line_.header[22] = 6;
        boot_.emplace(line_, line_.header);
        boot_->faults = f;
        for (size_t offset : shadow_written) std::memset(shadow_flash + offset, 0xFF, Bootloader::kBlockSize);
        shadow_written.clear();
    }

    void Play() {
        while (!script_.Empty() && !line_.hung_up) Step(script_.Byte());
        FUZZ_CHECK(std::memcmp(boot_->flash(), shadow_flash, sizeof shadow_flash) == 0);
        FUZZ_CHECK(boot_->flash_used() == line_.flash_used);
    }

private:
    // One script step: bytes at this moment, time passing, power, or a whole message.
    void Step(uint8_t op) {
        if (op < 0x80) {
            for (int k = (op & 0x3F) + 1; k > 0 && !script_.Empty() && !line_.hung_up; --k) Deliver(script_.Byte());
            if (op & 0x40) Wait(kMs);
        } else if (op < 0xC0) {
            Wait((op & 0x3F) * 10 * kMs);
        } else if (op < 0xD0) {
            Power(!(op & 1));
        } else {
            Message(op);
        }
    }

    void Wait(uint64_t ns) {
        now_ += ns;
        if (boot_->NextDeadline() <= now_) boot_->Tick(now_);
    }

    void Power(bool on) {
        line_.PowerCycled();
        if (!on) {
            boot_->PowerOff();
            return;
        }
        line_.powering_on = true;
        boot_->PowerOn(now_);
        line_.powering_on = false;
        const Faults& f = line_.faults;
        uint8_t expected[8];
        size_t n = 0;
        if (f.stray_bytes) {
            expected[n++] = 0x00;
            expected[n++] = 0x55;
        }
        if (f.bad_greeting) expected[n++] = 'O';
        expected[n++] = 'O';
        expected[n++] = 'K';
        expected[n++] = '\r';
        FUZZ_CHECK(line_.greeting_count == n && std::memcmp(line_.greeting, expected, n) == 0);
    }

    void Deliver(uint8_t b) {
        line_.Received(b, now_);
        line_.delivering = true;
        boot_->Receive(b, now_);
        line_.delivering = false;
    }

    void Deliver(const uint8_t* bytes, size_t count) {
        for (size_t i = 0; i < count && !line_.hung_up; ++i) Deliver(bytes[i]);
    }

    // The messages the program sends, whole, so that the script can reach a write quickly.
    void Message(uint8_t op) {
        switch (op & 3) {
        case 0:
            Deliver(kCommand, sizeof kCommand);
            break;
        case 1: {
            uint8_t read[sizeof kHeaderRead];
            std::memcpy(read, kHeaderRead, sizeof read);
            if (op & 4) read[2] = script_.Byte();
            Deliver(read, sizeof read);
            break;
        }
        default: {
            // A frame for the block the script names; with op & 1 its checks are the script's.
            if (whole_frames_ == kMostWholeFrames) break;
            ++whole_frames_;
            const uint8_t block = script_.Byte();
            const uint8_t seed = script_.Byte();
            const uint32_t address = Bootloader::kFlashBase + Bootloader::kBlockSize * block;
            uint8_t frame[kFrameSize] = {'W', static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
                                         static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
            uint8_t key = 0x5B;
            uint8_t sum = 0;
            for (size_t j = 0; j < Bootloader::kBlockSize; ++j) {
                const auto plain = static_cast<uint8_t>(seed + j * 3 + (j >> 7));
                frame[5 + j] = Scramble(plain, key);
                sum = static_cast<uint8_t>(sum + plain);
            }
            frame[1029] = sum;
            frame[1030] = static_cast<uint8_t>(sum + 165);
            if (op & 1) {
                frame[1029] = script_.Byte();
                frame[1030] = script_.Byte();
            }
            Deliver(frame, sizeof frame);
            break;
        }
        }
    }

    FuzzInput& script_;
    CheckingLine line_;
    // In static storage: allocating a fresh radio with its 256 KiB flash every run costs more
    // than the run.
    static std::optional<Bootloader> boot_;
    uint64_t now_ = 0;
    int whole_frames_ = 0;
};

std::optional<Bootloader> Run::boot_;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::memset(shadow_flash, 0xFF, sizeof shadow_flash);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput script(data, size);
    Run run(script);
    run.Play();
    return 0;
}
