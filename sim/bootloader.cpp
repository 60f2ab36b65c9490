// The bootloader's conversation with the program, as the radio plays it.
#include "sim/bootloader.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kProgrammingCommand[] = {kEsc, kEsc, 'P', 'R', 'O', 'G'};
constexpr uint8_t kGreeting[] = {'O', 'K', '\r'};
constexpr uint8_t kStrayBytes[] = {0x00, 0x55};
constexpr uint8_t kBadGreeting[] = {'O', 'O', 'K', '\r'};
constexpr uint8_t kHash = '#';
constexpr uint8_t kAck = 13;
constexpr uint8_t kNack = 0x15;
constexpr uint8_t kRead = 'R';
constexpr uint8_t kWrite = 'W';
constexpr size_t kAddressSize = 4;
constexpr size_t kFrameRest = kAddressSize + Bootloader::kBlockSize + 2;
constexpr size_t kShortHeader = 200;
constexpr uint8_t kCheckBStart = 165;
constexpr size_t kScrambledHeader = 128;  // the rest of the header goes out plain

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

Bootloader::Bootloader(RadioLine& line, const uint8_t (&header)[kHeaderSize]) : line_(line) {
    std::memcpy(header_, header, kHeaderSize);
    std::memset(flash_, 0xFF, kFlashSize);
}

void Bootloader::PowerOn(uint64_t now_ns) {
    frames_ = 0;
    any_accepted_ = false;
    command_matched_ = 0;
    complained_ = false;
    if (faults.stray_bytes) line_.Send(kStrayBytes, sizeof kStrayBytes, now_ns);
    const uint64_t cr_ns = faults.bad_greeting ? line_.Send(kBadGreeting, sizeof kBadGreeting, now_ns)
                                               : line_.Send(kGreeting, sizeof kGreeting, now_ns);
    Report("greeting t_ms=%s", EventTime(cr_ns).text);
    phase_ = Phase::AwaitCommand;
}

void Bootloader::PowerOff() { phase_ = Phase::Off; }

void Bootloader::Receive(uint8_t b, uint64_t now_ns) {
    AbandonStalled(now_ns);
    switch (phase_) {
    case Phase::Off:
    case Phase::Silent:
        break;
    case Phase::AwaitCommand:
        MatchCommand(b, now_ns);
        break;
    case Phase::Discard:
        if (now_ns - last_byte_ns_ < kQuietNs) {
            last_byte_ns_ = now_ns;
            break;
        }
        phase_ = Phase::AwaitRequest;
        StartRequest(b, now_ns);
        break;
    case Phase::AwaitRequest:
        StartRequest(b, now_ns);
        break;
    case Phase::ReadAddress:
    case Phase::FrameBody:
        request_[collected_++] = b;
        last_byte_ns_ = now_ns;
        if (phase_ == Phase::ReadAddress && collected_ == kAddressSize) {
            FinishRead(now_ns);
        } else if (phase_ == Phase::FrameBody && collected_ == kFrameRest) {
            FinishFrame(now_ns);
        }
        break;
    }
}

void Bootloader::Tick(uint64_t now_ns) { AbandonStalled(now_ns); }

uint64_t Bootloader::NextDeadline() const {
    if (phase_ == Phase::ReadAddress || phase_ == Phase::FrameBody) {
        return last_byte_ns_ + kGapLimitNs + 1;
    }
    return UINT64_MAX;
}

void Bootloader::MatchCommand(uint8_t b, uint64_t now_ns) {
    if (b == kProgrammingCommand[command_matched_]) {
        ++command_matched_;
    } else {
        // Not the command: say so once, and look for it to begin afresh. After ESC ESC a
        // third ESC still leaves the last two as a possible start.
        if (!complained_) Report("unexpected byte=0x%02X during=command", unsigned{b});
        complained_ = true;
        command_matched_ = b != kEsc ? 0 : command_matched_ == 2 ? 2 : 1;
        return;
    }
    if (command_matched_ < sizeof kProgrammingCommand) return;

    Report("command t_ms=%s", EventTime(now_ns).text);
    if (faults.no_hash) {
        Report("hash withheld");
        phase_ = Phase::Silent;
        return;
    }
    line_.Send(&kHash, 1, now_ns);
    Report("hash");
    phase_ = Phase::AwaitRequest;
}

void Bootloader::StartRequest(uint8_t b, uint64_t now_ns) {
    last_byte_ns_ = now_ns;
    if (b != kRead && b != kWrite) {
        Report("unexpected byte=0x%02X during=request", unsigned{b});
        phase_ = Phase::Discard;
        return;
    }
    collected_ = 0;
    if (b == kRead) {
        phase_ = Phase::ReadAddress;
        return;
    }
    frame_number_ = frames_++;
    if (frame_number_ == faults.hangup_at) {
        Report("hangup block=%d", frame_number_);
        phase_ = Phase::Off;
        line_.HangUp();
        return;
    }
    phase_ = Phase::FrameBody;
}

void Bootloader::FinishRead(uint64_t now_ns) {
    phase_ = Phase::AwaitRequest;
    const uint32_t address = BigEndian32(request_);
    if (address != kFlashBase) {
        Report("read address=0x%05X refused", static_cast<unsigned>(address));
        return;
    }
    if (faults.silent_header) {
        Report("header withheld");
        return;
    }
    uint8_t reply[kHeaderSize];
    scrambler_.Reseed();
    for (size_t i = 0; i < kHeaderSize; ++i) {
        reply[i] = i < kScrambledHeader ? scrambler_.ForProgram(header_[i]) : header_[i];
    }
    const size_t count = faults.short_header ? kShortHeader : kHeaderSize;
    line_.Send(reply, count, now_ns);
    Report("header bytes=%zu", count);
}

void Bootloader::FinishFrame(uint64_t now_ns) {
    phase_ = Phase::AwaitRequest;
    const uint32_t address = BigEndian32(request_);
    const uint8_t* wire = request_ + kAddressSize;
    scrambler_.Reseed();
    uint8_t sum = 0;
    for (size_t j = 0; j < kBlockSize; ++j) {
        block_[j] = scrambler_.FromProgram(wire[j]);
        sum = static_cast<uint8_t>(sum + block_[j]);
    }
    const bool check_ok = wire[kBlockSize] == sum && wire[kBlockSize + 1] == static_cast<uint8_t>(sum + kCheckBStart);
    // Blocks go up in address order; skipped all-0xFF blocks leave gaps, which are fine.
    const bool address_ok = address >= kFlashBase && (address - kFlashBase) % kBlockSize == 0 &&
                            address - kFlashBase <= kFlashSize - kBlockSize &&
                            (!any_accepted_ || address > last_address_);
    const char* verdict = !check_ok ? "bad-check" : !address_ok ? "bad-address" : "ok";
    Report("frame block=%d address=0x%05X %s", frame_number_, static_cast<unsigned>(address), verdict);

    const bool good = check_ok && address_ok;
    if (frame_number_ == faults.no_ack_at) {
        Report("ack block=%d value=none", frame_number_);
        return;
    }
    const bool nacked = !good || frame_number_ == faults.nack_at;
    const uint8_t answer = nacked ? kNack : kAck;
    if (!nacked) {
        const size_t offset = address - kFlashBase;
        std::memcpy(flash_ + offset, block_, kBlockSize);
        if (offset + kBlockSize > flash_used_) flash_used_ = offset + kBlockSize;
        // The header read takes the application header from the start of the flash, so a
        // new block 0 is the new application's header.
        if (offset == 0) std::memcpy(header_, block_, kHeaderSize);
        any_accepted_ = true;
        last_address_ = address;
    }
    line_.Send(&answer, 1, now_ns);
    Report("ack block=%d value=%u", frame_number_, unsigned{answer});
}

void Bootloader::AbandonStalled(uint64_t now_ns) {
    if (phase_ != Phase::ReadAddress && phase_ != Phase::FrameBody) return;
    if (now_ns - last_byte_ns_ <= kGapLimitNs) return;
    if (phase_ == Phase::ReadAddress) {
        Report("read incomplete received=%zu", collected_ + 1);
    } else {
        Report("frame block=%d incomplete received=%zu", frame_number_, collected_ + 1);
    }
    phase_ = Phase::Discard;
}

void Bootloader::Report(const char* format, ...) {
    char text[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    line_.Report(text);
}

void Bootloader::EraseFlash() {
    std::memset(flash_, 0xFF, kFlashSize);
    std::memset(header_, 0xFF, kHeaderSize);
    flash_used_ = 0;
}

bool Bootloader::SaveFlash(const std::string& path, std::string& error) const {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(flash_, 1, flash_used_, f) == flash_used_;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed) {
        error = "cannot write " + path + ": the disk refused the data";
        return false;
    }
    return true;
}
