// Drives the bootloader link over a serial port: what arrives goes to HandleBootByte, and
// LinkTick runs once for each 10 ms that has passed on the monotonic clock, so the link's
// tick-counted waits (500 and 300 ticks) hold in the clock's time. Every byte received goes to the
// link, as in the Windows program while its update window is up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/boot_link.h"
#include "flash/run/bench_given.h"
#include "flash/run/platform.h"

class SerialLinkHost final : public LinkHost {
public:
    SerialLinkHost(SerialPort& port, BenchSystem& system);

    void SendToDevice(const uint8_t* data, uint16_t count) override;
    // For the link's blocking forms: a pass that first sleeps until a byte or a tick is due.
    void RunMessageLoopOnce() override;
    // A second stop request: the write sends no further frame.
    bool Terminated() const override;

    // One pass that never sleeps: whatever has arrived, then the ticks that are due.
    void Pass();
    // Whether the link has sent anything since the host was made: only a completed greeting
    // sends while the radio is listened for.
    bool has_sent() const { return has_sent_; }
    uint64_t last_send_ms() const { return last_send_ms_; }

    // The port's node came back after its line hung up (a converter plugged in again): the
    // host serves the port opened anew, its clock and ticks going on.
    void Attach(SerialPort& port);

    // Milliseconds on the system's clock since the host was made.
    uint64_t ElapsedMs() const;
    bool hung_up() const { return hung_up_; }
    bool send_failed() const { return send_failed_; }

    BootLink link{*this};

private:
    friend bool SleepUntilDue(SerialLinkHost* const* hosts, size_t count, SerialPort** ports);
    void TakeArrivedBytes();
    void DeliverDueTicks();

    SerialPort* port_;
    BenchSystem& system_;
    uint64_t start_ns_;
    uint64_t next_tick_ns_;
    bool hung_up_ = false;
    bool send_failed_ = false;
    bool has_sent_ = false;
    uint64_t last_send_ms_ = 0;
    uint8_t received_[4096];
};

// Sleeps until a byte has arrived or a tick is due on any of the hosts, or a stop request
// comes; true when a stop request woke it. ports: room for count entries, the caller's, so
// that a pass allocates nothing.
bool SleepUntilDue(SerialLinkHost* const* hosts, size_t count, SerialPort** ports);

// Why the radio went silent when its line did: its port gone (the converter unplugged), hung
// up, or would not take what was sent, port naming device as the user reads it; "" when the
// line is fine.
std::string LostLineText(const SerialLinkHost& host, BenchSystem& system, const std::string& device,
                         const std::string& port);
