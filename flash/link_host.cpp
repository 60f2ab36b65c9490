// The link's host on a POSIX serial port. Waits use select, not poll: macOS's poll does not
// take terminal devices.
#include "flash/link_host.h"

#include <sys/select.h>
#include <time.h>
#include <algorithm>
#include <cerrno>

#include "flash/stop_signal.h"

namespace {

constexpr uint64_t kTickNs = 10'000'000;  // the update window's 10 ms timer

uint64_t MonotonicNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(ts.tv_nsec);
}

}  // namespace

SerialLinkHost::SerialLinkHost(SerialPort& port)
    : port_(port), start_ns_(MonotonicNs()), next_tick_ns_(start_ns_ + kTickNs) {}

void SerialLinkHost::SendToDevice(const uint8_t* data, uint16_t count) {
    awaiting_reply_ = true;
    has_sent_ = true;
    // Bytes that cannot go out are lost, as on an open cable; the link's wait then ends by
    // time-out and gives its verdict.
    if (hung_up_ || !port_.Write(data, count)) send_failed_ = true;
}

void SerialLinkHost::RunMessageLoopOnce() {
    if (awaiting_reply_) {
        SerialLinkHost* self = this;
        WaitOnceOnAll(&self, 1);
        return;
    }
    Pass();
}

void SerialLinkHost::Pass() {
    TakeArrivedBytes();
    DeliverDueTicks();
}

bool SerialLinkHost::Terminated() const { return StopRequests() >= 2; }

void SerialLinkHost::WaitOnce() {
    SerialLinkHost* self = this;
    WaitOnceOnAll(&self, 1);
}

uint64_t SerialLinkHost::ElapsedMs() const { return (MonotonicNs() - start_ns_) / 1'000'000; }

void SleepUntilDue(SerialLinkHost* const* hosts, size_t count) {
    const uint64_t now = MonotonicNs();
    uint64_t next_tick_ns = UINT64_MAX;
    for (size_t i = 0; i < count; ++i) next_tick_ns = std::min(next_tick_ns, hosts[i]->next_tick_ns_);
    if (now < next_tick_ns) {
        fd_set readable;
        FD_ZERO(&readable);
        const int wake = StopWakeFd();
        FD_SET(wake, &readable);
        int highest = wake;
        for (size_t i = 0; i < count; ++i) {
            // A line that has hung up stays readable; only the ticks are waited for then.
            if (hosts[i]->hung_up_) continue;
            FD_SET(hosts[i]->port_.fd(), &readable);
            highest = std::max(highest, hosts[i]->port_.fd());
        }
        const uint64_t wait_us = (next_tick_ns - now + 999) / 1000;  // never wake before the tick is due
        timeval limit{static_cast<time_t>(wait_us / 1'000'000u), static_cast<suseconds_t>(wait_us % 1'000'000u)};
        if (select(highest + 1, &readable, nullptr, nullptr, &limit) > 0 && FD_ISSET(wake, &readable)) {
            ClearStopWake();
            for (size_t i = 0; i < count; ++i) {
                if (hosts[i]->on_stop_request) hosts[i]->on_stop_request();
            }
        }
    }
}

size_t WaitOnceOnAll(SerialLinkHost* const* hosts, size_t count) {
    SleepUntilDue(hosts, count);
    for (size_t i = 0; i < count; ++i) {
        const bool had_sent = hosts[i]->has_sent_;
        hosts[i]->Pass();
        if (!had_sent && hosts[i]->has_sent_) return i;
    }
    return count;
}

void SerialLinkHost::TakeArrivedBytes() {
    if (hung_up_) return;
    for (;;) {
        const long n = port_.Read(received_, sizeof received_);
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
    const uint64_t now = MonotonicNs();
    while (now >= next_tick_ns_) {
        link.LinkTick();
        next_tick_ns_ += kTickNs;
    }
}
