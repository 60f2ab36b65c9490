// The program's side of the radio bootloader's protocol: the greeting recogniser, the
// wire scrambling, the tick-counted waits, the header read and the block writes.
// Runs on the user-interface thread only; bytes and ticks arrive from inside the host's loop.
#include "core/boot_link.h"

#include <utility>

#include "core/firmware_container.h"

namespace {

constexpr uint8_t kNoReply = 0xFF;  // can never be taken for the acknowledgement

bool IsFiller(const uint8_t* block) {
    for (int32_t j = 0; j < kBlockSize; ++j) {
        if (block[j] != kFillerByte) return false;
    }
    return true;
}

}  // namespace

void BootLink::HandleBootByte(uint8_t b) {
    switch (BootState) {
    case BootState::WaitGreeting:
        if (b == kGreetingFirst) BootState = BootState::SeenO;
        break;
    case BootState::SeenO:
        BootState = (b == kGreetingSecond) ? BootState::SeenOK : BootState::WaitGreeting;
        break;
    case BootState::SeenOK:
        if (b == kGreetingEnd) {
            // The radio expects the command at once; it goes out before any later byte
            // of this batch is looked at.
            BootState = BootState::CommandSent;
            host_.SendToDevice(kProgrammingCommand, sizeof kProgrammingCommand);
        } else {
            BootState = BootState::WaitGreeting;
        }
        break;
    case BootState::CommandSent:
        BootState = (b == kProgrammingAcknowledgement) ? BootState::Acknowledged : BootState::WaitGreeting;
        break;
    case BootState::Active:
        // Public fields may be set to anything; never store past the reply buffer.
        if (RxExpected > 0 && RxCount < sizeof RxReply) {
            RxReply[RxCount] = b;
            ++RxCount;
            --RxExpected;
        }
        break;
    case BootState::Acknowledged:
    case BootState::Settled:
        break;  // what arrives is dropped
    }
}

void BootLink::LinkTick() {
    if (BootState == BootState::Acknowledged) BootState = BootState::Settled;
    if (TimeoutTicks > 0) {
        --TimeoutTicks;
        if (TimeoutTicks == 0) TimedOut = true;
    }
}

uint8_t BootLink::ScrambleByte(uint8_t b) {
    const uint8_t t = b ^ ScrambleKey;
    ScrambleKey = static_cast<uint8_t>((ScrambleKey << 1) | (ScrambleKey >> 7));
    return static_cast<uint8_t>((t << 4) | (t >> 4));
}

void BootLink::AwaitReply() {
    if (RxExpected == 0) return;
    do {
        host_.RunMessageLoopOnce();
    } while (StepHeaderRead() != LinkStep::Over);
}

DeviceHeader BootLink::ReadDeviceHeader() {
    BeginHeaderRead();
    AwaitReply();
    return TakeHeader();
}

void BootLink::BeginHeaderRead() {
    RxCount = 0;
    RxExpected = kHeaderSize;
    host_.SendToDevice(kHeaderRequest, sizeof kHeaderRequest);
    TimeoutTicks = kHeaderTimeoutTicks;
    TimedOut = false;
}

LinkStep BootLink::StepHeaderRead() const {
    // A time-out that falls in the same pass as the last byte wins.
    return TimedOut || RxExpected == 0 ? LinkStep::Over : LinkStep::Waiting;
}

DeviceHeader BootLink::TakeHeader() {
    DeviceHeader header;
    if (TimedOut) {
        header.timed_out = true;
        return header;
    }

    ScrambleKey = kScrambleSeed;
    for (int j = 0; j < kScrambledHeaderBytes; ++j) RxReply[j] = ScrambleByte(RxReply[j]);

    const char* reply = reinterpret_cast<const char*>(RxReply);
    if (RxReply[kNameField] == kNameLength) {
        header.has_name = true;
        header.name.assign(reply + kNameField + 1, kNameLength);
    }
    if (RxReply[kVersionField] == kVersionLength) {
        header.has_version = true;
        header.version.assign(reply + kVersionField + 1, kVersionLength);
    }
    return header;
}

WriteOutcome BootLink::WriteFirmware(const uint8_t* image, int32_t n, const std::function<void(int32_t)>& progress) {
    BeginWrite(image, n, progress);
    while (StepWrite() != LinkStep::Over) host_.RunMessageLoopOnce();
    return write_.outcome;
}

void BootLink::BeginWrite(const uint8_t* image, int32_t n, std::function<void(int32_t)> progress) {
    write_ = WriteJob{};
    // Blocks 0 .. n div 1024 are examined, so n must stay below the buffer's size.
    if (image == nullptr || n < 0 || n >= static_cast<int32_t>(kFirmwareImageSize)) return;
    write_.phase = WriteJob::Phase::NextBlock;
    write_.image = image;
    write_.last_block = n / kBlockSize;
    write_.address = kApplicationAddress;
    write_.progress = std::move(progress);
}

LinkStep BootLink::StepWrite() {
    for (;;) {
        switch (write_.phase) {
        case WriteJob::Phase::NextBlock:
            if (write_.block > write_.last_block) return EndWrite(WriteOutcome::Completed);
            if (IsFiller(write_.image + kBlockSize * write_.block)) {
                EndBlock();
                break;
            }
            if (host_.Terminated()) return EndWrite(WriteOutcome::Failed);
            // Armed before the frame is built: an acknowledgement that arrives while the
            // frame is built or sent is taken, never overwritten by the preset.
            RxCount = 0;
            RxExpected = 1;
            RxReply[0] = kNoReply;

            WriteFrame[0] = kFrameCommand;
            WriteFrame[1] = static_cast<uint8_t>(write_.address >> 24);
            WriteFrame[2] = static_cast<uint8_t>(write_.address >> 16);
            WriteFrame[3] = static_cast<uint8_t>(write_.address >> 8);
            WriteFrame[4] = static_cast<uint8_t>(write_.address);
            ScrambleKey = kScrambleSeed;
            write_.check_a = 0;
            write_.check_b = kCheckSeedB;
            write_.byte = 0;
            write_.phase = WriteJob::Phase::Building;
            break;
        case WriteJob::Phase::Building:
            if (write_.byte < kBlockSize) {
                const uint8_t b = write_.image[kBlockSize * write_.block + write_.byte];
                WriteFrame[kFrameDataOffset + write_.byte] = ScrambleByte(b);
                write_.check_a = static_cast<uint8_t>(write_.check_a + b);
                write_.check_b = static_cast<uint8_t>(write_.check_b + b);
                ++write_.byte;
                // One pass per byte keeps the window, the timers and the receive path live
                // while building.
                return LinkStep::Busy;
            }
            WriteFrame[kFrameDataOffset + kBlockSize] = write_.check_a;
            WriteFrame[kFrameDataOffset + kBlockSize + 1] = write_.check_b;
            host_.SendToDevice(WriteFrame, sizeof WriteFrame);
            TimeoutTicks = kWriteTimeoutTicks;
            TimedOut = false;
            write_.phase = WriteJob::Phase::AwaitingAck;
            break;
        case WriteJob::Phase::AwaitingAck:
            if (!TimedOut && RxExpected > 0) return LinkStep::Waiting;
            // Only the byte decides: a 13 that came with the last tick still counts.
            if (RxReply[0] != kWriteAcknowledgement) return EndWrite(WriteOutcome::Failed);
            EndBlock();
            break;
        case WriteJob::Phase::Over:
            return LinkStep::Over;
        }
    }
}

void BootLink::EndBlock() {
    write_.address += kBlockSize;
    write_.phase = WriteJob::Phase::NextBlock;
    const int32_t done = kBlockSize * write_.block;
    ++write_.block;
    if (write_.progress) write_.progress(done);
}

LinkStep BootLink::EndWrite(WriteOutcome outcome) {
    write_.outcome = outcome;
    write_.phase = WriteJob::Phase::Over;
    write_.progress = nullptr;
    return LinkStep::Over;
}
