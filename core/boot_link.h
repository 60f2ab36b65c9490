// The program's side of the radio bootloader's protocol: the greeting and programming
// command, the application header read and the acknowledged 1031-byte write frames.
// Runs on one thread only; waits poll by running the host's message loop, or, in the step
// form, the caller's own loop.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/q42_protocol.h"

// What the link needs from the program around it. The Windows program sends through
// SendToDevice and runs its real message loop; tests hand in a simulated radio.
class LinkHost {
public:
    virtual void SendToDevice(const uint8_t* data, uint16_t count) = 0;
    // Handles every pending message once: received bytes reach HandleBootByte and
    // 10 ms ticks reach LinkTick from inside this call.
    virtual void RunMessageLoopOnce() = 0;
    // The program is ending: a write sends no further frame. The wait in hand still ends by
    // its bytes or its time-out, so the radio sees nothing that a normal run would not send.
    virtual bool Terminated() const { return false; }

protected:
    ~LinkHost() = default;
};

struct DeviceHeader {
    bool timed_out = false;
    bool has_name = false;
    bool has_version = false;
    std::string name;     // 5 characters when has_name
    std::string version;  // 6 characters when has_version
};

enum class WriteOutcome { Completed, Failed };

// What a step of the header read or the write leaves its caller to do: run the loop once at
// once (a frame is being built), or once a byte or a tick has come (the radio is awaited).
enum class LinkStep { Busy, Waiting, Over };

class BootLink {
public:
    explicit BootLink(LinkHost& host) : host_(host) {}

    // The radio's next greeting starts the handshake from the beginning.
    void RestartHandshake() { BootState = BootState::WaitGreeting; }
    // The radio has answered the programming command: its greeting is no longer awaited.
    bool Acknowledged() const {
        return BootState == BootState::Acknowledged || BootState == BootState::Settled ||
               BootState == BootState::Active;
    }
    // The 500 ms step: a settled link becomes active and true is returned; any other state
    // is left as it is.
    bool TakeSettled() {
        if (BootState != BootState::Settled) return false;
        BootState = BootState::Active;
        return true;
    }

    void HandleBootByte(uint8_t b);
    void LinkTick();
    uint8_t ScrambleByte(uint8_t b);
    void AwaitReply();
    DeviceHeader ReadDeviceHeader();
    // Writes the image of length n held in image (kFirmwareImageSize bytes, 0xFF filler);
    // an n outside 0 .. kFirmwareImageSize - 1 fails without sending anything, and so does
    // every block once the host is terminated. After block i, sent or skipped as filler,
    // progress gets 1024 * i.
    WriteOutcome WriteFirmware(const uint8_t* image, int32_t n, const std::function<void(int32_t)>& progress);

    // The same header read and write a step at a time, for a caller that runs one loop for
    // several links: begin, then after each pass of that loop step until Over. The blocking
    // forms above are these with the host's loop run between the steps.
    void BeginHeaderRead();
    LinkStep StepHeaderRead() const;
    DeviceHeader TakeHeader();
    // image must stay unchanged until the write is over.
    void BeginWrite(const uint8_t* image, int32_t n, std::function<void(int32_t)> progress);
    LinkStep StepWrite();
    WriteOutcome write_outcome() const { return write_.outcome; }

    // Shared link state; zero at start.
    bool UpdateActive = false;
    ::BootState BootState = ::BootState::WaitGreeting;
    uint16_t RxCount = 0;
    uint16_t RxExpected = 0;
    uint8_t RxReply[kHeaderSize] = {};
    uint16_t TimeoutTicks = 0;
    bool TimedOut = false;
    uint8_t ScrambleKey = 0;
    uint8_t WriteFrame[kFrameSize] = {};

private:
    struct WriteJob {
        enum class Phase { NextBlock, Building, AwaitingAck, Over };
        Phase phase = Phase::Over;
        WriteOutcome outcome = WriteOutcome::Failed;
        const uint8_t* image = nullptr;
        int32_t last_block = 0;
        int32_t block = 0;
        int32_t byte = 0;  // of the frame being built
        uint32_t address = 0;
        uint8_t check_a = 0;
        uint8_t check_b = 0;
        std::function<void(int32_t)> progress;
    };
    void EndBlock();
    LinkStep EndWrite(WriteOutcome outcome);

    LinkHost& host_;
    WriteJob write_;
};
