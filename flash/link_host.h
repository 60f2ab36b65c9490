// Drives the bootloader link over a POSIX serial port: what arrives goes to HandleBootByte,
// and LinkTick runs once for each 10 ms that has passed on the monotonic clock, so the
// link's tick-counted waits (500 and 300 ticks) hold in real time. Every byte received goes
// to the link, as in the Windows program while its update window is up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "core/boot_link.h"
#include "flash/serial_port.h"

class SerialLinkHost final : public LinkHost {
public:
    explicit SerialLinkHost(SerialPort& port);

    void SendToDevice(const uint8_t* data, uint16_t count) override;
    // One pass: whatever has arrived, then the ticks that are due. While a reply is awaited
    // (from a send until ReplyHandled) the pass first sleeps until a byte or a tick is due, so
    // the link's busy wait costs no processor; passes while a frame is built never sleep.
    void RunMessageLoopOnce() override;
    // A second stop request: the write sends no further frame.
    bool Terminated() const override;

    // The exchange begun by the last send is over: passes no longer sleep.
    void ReplyHandled() { awaiting_reply_ = false; }
    // A pass that sleeps until a byte, a tick or a stop request is due: for the waits of
    // q42flash's own (the greeting, the question).
    void WaitOnce();
    // A pass that never sleeps: what has arrived, then the ticks that are due.
    void Pass();

    // Milliseconds on the monotonic clock since the host was made.
    uint64_t ElapsedMs() const;
    bool hung_up() const { return hung_up_; }
    bool send_failed() const { return send_failed_; }

    BootLink link{*this};
    // Called from a pass that a stop request woke, so that a wait the link holds for seconds
    // (the header's 5 s) can say at once what becomes of the request.
    std::function<void()> on_stop_request;

private:
    friend void SleepUntilDue(SerialLinkHost* const* hosts, size_t count);
    friend size_t WaitOnceOnAll(SerialLinkHost* const* hosts, size_t count);
    void TakeArrivedBytes();
    void DeliverDueTicks();

    SerialPort& port_;
    uint64_t start_ns_;
    uint64_t next_tick_ns_;
    bool awaiting_reply_ = false;
    bool hung_up_ = false;
    bool send_failed_ = false;
    bool has_sent_ = false;  // while listening, only a completed greeting sends
    uint8_t received_[4096];
};

// Sleeps until a byte has arrived or a tick is due on any of the hosts, or a stop request
// comes; each host's on_stop_request hears of the request at once.
void SleepUntilDue(SerialLinkHost* const* hosts, size_t count);

// WaitOnce over several ports at once, in one select: then each host's bytes and ticks in
// turn, up to the first whose link sends (its greeting has completed), so that no two ports
// ever answer in the same pass. Returns that host's index, or count when none sent.
size_t WaitOnceOnAll(SerialLinkHost* const* hosts, size_t count);
