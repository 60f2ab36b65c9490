// Dispatches received bytes, timed work and control lines by the radio's mode.
#include "sim/radio.h"

#include <cstdio>

#include "sim/status_packet.h"

namespace {

constexpr uint64_t kNsPerMs = 1000000;
constexpr uint8_t kPeriodicStatusType = 5;  // the type that tells the program the radio is there

}  // namespace

Radio::Radio(const RadioSetup& setup, RadioLine& line)
    : mode_(setup.mode),
      line_(line),
      status_period_ns_(uint64_t{setup.status_period_ms} * kNsPerMs),
      inbound_(std::make_unique<LinePacer>(setup.receive_baud)),
      bootloader_(line, setup.header) {
    bootloader_.faults = setup.faults;
}

void Radio::PowerOn(uint64_t now_ns) {
    if (powered_) line_.DropPending();
    powered_ = true;
    char text[64];
    std::snprintf(text, sizeof text, "power state=on t_ms=%s", EventTime(now_ns).text);
    line_.Report(text);
    if (mode_ == RadioMode::Boot) bootloader_.PowerOn(now_ns);
    if (mode_ == RadioMode::App && status_period_ns_ > 0) next_status_ns_ = now_ns;
}

void Radio::PowerOff(uint64_t now_ns) {
    powered_ = false;
    line_.DropPending();
    bootloader_.PowerOff();
    next_status_ns_ = UINT64_MAX;
    char text[64];
    std::snprintf(text, sizeof text, "power state=off t_ms=%s", EventTime(now_ns).text);
    line_.Report(text);
}

size_t Radio::Receive(const uint8_t* data, size_t count, uint64_t now_ns) {
    const size_t queued = inbound_->Queue(data, count, now_ns, nullptr);
    DeliverArrived(now_ns);
    return queued;
}

void Radio::DeliverArrived(uint64_t now_ns) {
    uint8_t b;
    uint64_t arrived_ns;
    size_t unanswered = 0;
    while (inbound_->PopReady(now_ns, b, arrived_ns)) {
        if (mode_ != RadioMode::Boot) ++unanswered;
        switch (mode_) {
        case RadioMode::Loopback:
            // A cable with pins 2 and 3 shorted: each byte goes back as soon as it is in.
            line_.Send(&b, 1, arrived_ns);
            break;
        case RadioMode::Boot:
            bootloader_.Receive(b, arrived_ns);
            break;
        case RadioMode::App:
            // In normal operation the radio has nothing to say to what the program sends.
            break;
        }
    }
    // The bootloader reports what it gets; the other modes say at least that bytes came, so
    // that a test can tell a line that nothing was sent on.
    if (unanswered > 0) {
        char text[64];
        std::snprintf(text, sizeof text, "received bytes=%zu", unanswered);
        line_.Report(text);
    }
}

void Radio::Tick(uint64_t now_ns) {
    // Bytes first: one that arrived before now keeps a frame from counting as stalled.
    DeliverArrived(now_ns);
    bootloader_.Tick(now_ns);
    if (now_ns >= next_status_ns_) {
        SendStatus(kPeriodicStatusType, now_ns);
        next_status_ns_ += status_period_ns_;
        // After a stall, carry on from now rather than send a burst to catch up.
        if (next_status_ns_ <= now_ns) next_status_ns_ = now_ns + status_period_ns_;
    }
}

uint64_t Radio::NextDeadline() const {
    uint64_t next = bootloader_.NextDeadline();
    if (next_status_ns_ < next) next = next_status_ns_;
    if (inbound_->Pending() > 0 && inbound_->NextRelease() < next) next = inbound_->NextRelease();
    return next;
}

Radio::Control Radio::HandleControl(const std::string& line, uint64_t now_ns, std::string& error) {
    // What arrived before the operator acted is the radio's to handle first.
    DeliverArrived(now_ns);
    const size_t space = line.find(' ');
    const std::string word = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);

    if (word == "quit" && rest.empty()) return Control::Quit;
    if ((word == "on" || word == "off") && rest.empty()) {
        if (mode_ == RadioMode::Loopback) {
            error = "in loopback mode the radio is a cable; it cannot be switched " + word;
            return Control::Refused;
        }
        word == "on" ? PowerOn(now_ns) : PowerOff(now_ns);
        return Control::Done;
    }
    if (word == "status") {
        if (mode_ == RadioMode::Loopback || !powered_) {
            error = "status packets need a radio that is switched on";
            return Control::Refused;
        }
        const bool one_digit = rest.size() == 1 && rest[0] >= '0' && rest[0] <= '9';
        if (!one_digit || !SendStatus(static_cast<uint8_t>(rest[0] - '0'), now_ns)) {
            error = "status packet types are 1, 2, 5 and 6, not \"" + rest + "\"";
            return Control::Refused;
        }
        return Control::Done;
    }
    if (word == "fault") {
        return ApplyFault(rest, bootloader_.faults, error) ? Control::Done : Control::Refused;
    }
    if (word == "save" && !rest.empty()) {
        if (!bootloader_.SaveFlash(rest, error)) return Control::Refused;
        char text[64];
        std::snprintf(text, sizeof text, "saved bytes=%zu", bootloader_.flash_used());
        line_.Report(text);
        return Control::Done;
    }
    if (word == "erase" && rest.empty()) {
        bootloader_.EraseFlash();
        line_.Report("erased");
        return Control::Done;
    }
    error = "unknown control line \"" + line + "\" (on, off, status N, fault KIND[=K], save FILE, erase, quit)";
    return Control::Refused;
}

bool Radio::SendStatus(uint8_t type, uint64_t now_ns) {
    uint8_t packet[kMaxStatusPacket];
    const size_t n = BuildStatusPacket(type, sequence_, packet);
    if (n == 0) return false;
    ++sequence_;
    line_.Send(packet, n, now_ns);
    char text[64];
    std::snprintf(text, sizeof text, "status type=%u bytes=%zu", unsigned{type}, n);
    line_.Report(text);
    return true;
}
