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
    std::string position;    // --port DEVICE=NAME's NAME, or ""
    bool named = true;       // false: found by --port auto
    std::string short_name;  // how a person reads the device shortest, or "" for as given
};

struct ListenedPort {
    ListenedPort(const PortCandidate& given, std::unique_ptr<SerialPort> opened, BenchSystem& system)
        : device(given.device),
          position(given.position),
          named(given.named),
          shown(!given.position.empty()     ? given.position
                : !given.short_name.empty() ? given.short_name
                                            : given.device),
          port(std::move(opened)),
          host(*port, system) {}
    const std::string device;
    const std::string position;
    const bool named;
    const std::string shown;  // as the board and the table show it
    std::unique_ptr<SerialPort> port;
    SerialLinkHost host;

    // Opens the port again once its node is back (the converter plugged in again); false,
    // with the reason in error, when it cannot be opened yet.
    bool Reopen(BenchSystem& system, std::string& error);

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
    explicit ListenedPorts(BenchSystem& system) : system_(system) {}
    // Listens on the port, opened, from now.
    void Take(const PortCandidate& candidate, std::unique_ptr<SerialPort> opened);
    size_t size() const { return ports_.size(); }
    const std::string& device(size_t i) const { return ports_[i]->device; }
    ListenedPort& at(size_t i) { return *ports_[i]; }
    // Puts every port back and closes it.
    void CloseAll();
    // "A, B and C": each port's position name, else its device.
    std::string Listing() const;

private:
    BenchSystem& system_;
    std::vector<std::unique_ptr<ListenedPort>> ports_;
};
