// The ports q42flash listens on, each opened with its own link and host. Nothing is sent on
// any of them until its radio's greeting completes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/q42_protocol.h"
#include "flash/run/link_host.h"
#include "flash/run/platform.h"

// A port as the command line gave it.
struct PortCandidate {
    std::string device;
    std::string position;  // --port DEVICE=NAME's NAME, or ""
    bool named = true;     // false: found by --port auto
};

struct ListenedPort {
    ListenedPort(const PortCandidate& given, std::unique_ptr<SerialPort> opened)
        : device(given.device),
          position(given.position),
          named(given.named),
          shown(given.position.empty() ? ShortPortName(given.device) : given.position),
          port(std::move(opened)) {}
    const std::string device;
    const std::string position;
    const bool named;
    const std::string shown;  // as the board and the table show it
    std::unique_ptr<SerialPort> port;
    SerialLinkHost host{*port};

    // Opens the port again once its node is back (the converter plugged in again); false,
    // with the reason in error, when it cannot be opened yet.
    bool Reopen(std::string& error, const PortVetting& may_take);

    // True on the first call at or after each 500 ms step of the host's clock: the steps
    // keep the host's grid, as the window's timer runs on.
    bool StepDue(uint64_t now_ms) {
        if (now_ms < next_step_ms_) return false;
        while (now_ms >= next_step_ms_) next_step_ms_ += kLinkStepMs;
        return true;
    }

private:
    uint64_t next_step_ms_ = kLinkStepMs;
};

class ListenedPorts {
public:
    // Opens the port and listens on it from now; false with the reason in error.
    bool Add(const PortCandidate& candidate, std::string& error, const PortVetting& may_take);
    size_t size() const { return ports_.size(); }
    const std::string& device(size_t i) const { return ports_[i]->device; }
    ListenedPort& at(size_t i) { return *ports_[i]; }
    // Puts every port back and closes it.
    void CloseAll();

private:
    std::vector<std::unique_ptr<ListenedPort>> ports_;
};
