// The link's host on the platform's serial port and wait.
#include "flash/run/link_host.h"

#include <algorithm>
#include <string>

#include "core/q42_protocol.h"
#include "core/serial_check.h"

namespace {

constexpr uint64_t kTickNs = uint64_t{kTickMs} * 1'000'000;

}  // namespace

SerialLinkHost::SerialLinkHost(SerialPort& port, BenchSystem& system)
    : port_(&port), system_(system), start_ns_(system.NowNs()), next_tick_ns_(start_ns_ + kTickNs) {}

void SerialLinkHost::Attach(SerialPort& port) {
    port_ = &port;
    hung_up_ = false;
    send_failed_ = false;
}

void SerialLinkHost::SendToDevice(const uint8_t* data, uint16_t count) {
    has_sent_ = true;
    last_send_ms_ = ElapsedMs();
    // Bytes that cannot go out are lost, as on an open cable; the link's wait then ends by
    // time-out and gives its verdict.
    if (hung_up_ || !port_->Write(data, count)) send_failed_ = true;
}

void SerialLinkHost::RunMessageLoopOnce() {
    SerialLinkHost* self = this;
    SerialPort* port = nullptr;
    SleepUntilDue(&self, 1, &port);
    Pass();
}

void SerialLinkHost::Pass() {
    TakeArrivedBytes();
    DeliverDueTicks();
}

bool SerialLinkHost::Terminated() const { return system_.StopRequests() >= 2; }

uint64_t SerialLinkHost::ElapsedMs() const { return (system_.NowNs() - start_ns_) / 1'000'000; }

bool SleepUntilDue(SerialLinkHost* const* hosts, size_t count, SerialPort** ports) {
    uint64_t next_tick_ns = UINT64_MAX;
    for (size_t i = 0; i < count; ++i) {
        next_tick_ns = std::min(next_tick_ns, hosts[i]->next_tick_ns_);
        // A line that has hung up stays readable; only the ticks are waited for then.
        ports[i] = hosts[i]->hung_up_ ? nullptr : hosts[i]->port_;
    }
    return count > 0 && hosts[0]->system_.Wait(ports, count, next_tick_ns);
}

void SerialLinkHost::TakeArrivedBytes() {
    if (hung_up_) return;
    for (;;) {
        const long n = port_->Read(received_, sizeof received_);
        if (n < 0) {
            hung_up_ = true;
            return;
        }
        // In arrival order: the greeting's carriage return sends the programming command
        // before any later byte is looked at.
        for (long i = 0; i < n; ++i) link.HandleBootByte(received_[i]);
        if (static_cast<size_t>(n) < sizeof received_) return;
    }
}

void SerialLinkHost::DeliverDueTicks() {
    const uint64_t now = system_.NowNs();
    while (now >= next_tick_ns_) {
        link.LinkTick();
        next_tick_ns_ += kTickNs;
    }
}

std::string LostLineText(const SerialLinkHost& host, BenchSystem& system, const std::string& device,
                         const std::string& port) {
    if (host.hung_up()) {
        // A USB converter's node goes with it, a moment after the kernel has hung its line up;
        // the node of a line whose far end closed stays. Up to 500 ms are given for that.
        for (int i = 0; i < 10 && system.PortPresent(device); ++i) system.Wait(nullptr, 0, system.NowNs() + 50'000'000);
        if (!system.PortPresent(device)) {
            // Taken from its driver by a program, the converter is still there without its port.
            const std::string cause = TakenCause(system.SerialSide(), port);
            return cause.empty() ? port + " has gone: its USB converter was unplugged, or lost its power" : cause;
        }
        return "the line on " + port + " hung up: is the cable or converter still plugged in?";
    }
    if (host.send_failed()) return port + " did not take all that was sent to the radio";
    return "";
}
