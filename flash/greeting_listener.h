// The wait for the radio's greeting on one port or on several at once. Nothing is sent on
// any of them: only the port on which a greeting completes gets the programming command,
// and from then on it is the one port; the others are put back as they were and closed.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "flash/link_host.h"
#include "flash/serial_port.h"

// The window looks at the link on its 500 ms step, never straight after the "#".
constexpr uint64_t kLinkStepMs = 500;

// One port listened on; what a later mode needs to keep per port belongs here.
struct ListenedPort {
    explicit ListenedPort(const std::string& device_path) : device(device_path) {}
    const std::string device;
    SerialPort port;
    SerialLinkHost host{port};

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

enum class Greeting { Answered, NoGreeting, HungUp, Stopped };

class GreetingListener {
public:
    // Opens the port and listens on it from now; false with the reason in error.
    bool Add(const std::string& device, std::string& error, const SerialPort::Vetting& may_take);
    size_t size() const { return ports_.size(); }
    const std::string& device(size_t i) const { return ports_[i]->device; }
    ListenedPort& at(size_t i) { return *ports_[i]; }

    // Waits for the greeting and the "#" until the 500 ms step that finds the link settled,
    // as the update window does. note gets q42flash's own lines: the port chosen among
    // several, a port dropped because it hung up.
    Greeting Await(long wait_seconds, const std::function<void(const std::string&)>& note);

    // The port the radio greeted on (or the one port listened on).
    ListenedPort& chosen() { return *ports_.front(); }
    // Puts every port back and closes it.
    void CloseAll();
    // Puts every port back, closes it and listens on none.
    void Forget() { ports_.clear(); }

private:
    void KeepOnly(size_t index);

    std::vector<std::unique_ptr<ListenedPort>> ports_;
};
