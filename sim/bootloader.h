// The radio's bootloader as a byte-at-a-time state machine: the power-on greeting, the
// programming command and its "#", the header read and the acknowledged write frames,
// which it checks and stores in its copy of the flash. Time comes in as an argument.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/faults.h"
#include "sim/header_block.h"
#include "sim/radio_line.h"
#include "sim/radio_scrambler.h"

class Bootloader {
public:
    static constexpr uint32_t kFlashBase = 0x20000;
    static constexpr size_t kFlashSize = 0x40000;
    static constexpr size_t kBlockSize = 1024;
    // A request or frame whose bytes stop coming for this long is given up, so that a
    // broken frame does not swallow the start of the next one.
    static constexpr uint64_t kGapLimitNs = 500000000;
    // After a broken request the rest of it may still be coming; the radio ignores the line
    // until it has been quiet this long, so that no stray "R" or "W" in it starts a request.
    static constexpr uint64_t kQuietNs = 50000000;

    Bootloader(RadioLine& line, const uint8_t (&header)[kHeaderSize]);

    void PowerOn(uint64_t now_ns);
    void PowerOff();
    void Receive(uint8_t b, uint64_t now_ns);
    // Gives up a request or frame that has stalled; call when NextDeadline() has come.
    void Tick(uint64_t now_ns);
    uint64_t NextDeadline() const;

    // The flash from kFlashBase as written by accepted frames, 0xFF elsewhere; used() ends
    // with the highest block written.
    const uint8_t* flash() const { return flash_; }
    size_t flash_used() const { return flash_used_; }
    bool SaveFlash(const std::string& path, std::string& error) const;
    // Blanks the whole flash, the application's header with it, as a fresh radio's is.
    void EraseFlash();

    Faults faults;

private:
    enum class Phase {
        Off,           // switched off: everything received is lost
        AwaitCommand,  // greeting sent; expecting ESC ESC "PROG"
        Silent,        // did not acknowledge the command; deaf until the next power-on
        AwaitRequest,  // expecting "R" or "W"
        ReadAddress,   // collecting the 4 address bytes of a header read
        FrameBody,     // collecting the 1030 bytes after a frame's "W"
        Discard,       // after a broken request: waiting for the line to fall quiet
    };

    void MatchCommand(uint8_t b, uint64_t now_ns);
    void StartRequest(uint8_t b, uint64_t now_ns);
    void FinishRead(uint64_t now_ns);
    void FinishFrame(uint64_t now_ns);
    void AbandonStalled(uint64_t now_ns);
    void Report(const char* format, ...) __attribute__((format(printf, 2, 3)));

    RadioLine& line_;
    RadioScrambler scrambler_;
    Phase phase_ = Phase::Off;
    size_t command_matched_ = 0;
    bool complained_ = false;  // a wrong byte in place of the command was reported
    int frames_ = 0;           // write frames begun since power-on
    int frame_number_ = 0;     // the one being collected
    bool any_accepted_ = false;
    uint32_t last_address_ = 0;
    size_t collected_ = 0;
    uint64_t last_byte_ns_ = 0;                 // arrival of the latest byte of a request or of discarded noise
    uint8_t request_[4 + kBlockSize + 2] = {};  // what follows "R" or "W"
    uint8_t header_[kHeaderSize];
    uint8_t block_[kBlockSize] = {};
    uint8_t flash_[kFlashSize];
    size_t flash_used_ = 0;
};
