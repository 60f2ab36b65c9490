// Listens on the candidate ports in one select; see greeting_listener.h.
#include "flash/greeting_listener.h"

#include "flash/stop_signal.h"

bool GreetingListener::Add(const std::string& device, std::string& error, const SerialPort::Vetting& may_take) {
    auto listened = std::make_unique<ListenedPort>(device);
    if (listened->port.Open(device, error, may_take) != PortOpenResult::Opened) return false;
    ports_.push_back(std::move(listened));
    return true;
}

Greeting GreetingListener::Await(long wait_seconds, const std::function<void(const std::string&)>& note) {
    // The wait counts from now, which is later than the host's start for a radio after the first.
    const uint64_t started_ms = chosen().host.ElapsedMs();
    std::vector<SerialLinkHost*> hosts;
    for (;;) {
        hosts.clear();
        for (const auto& listened : ports_) hosts.push_back(&listened->host);
        const size_t greeted = WaitOnceOnAll(hosts.data(), hosts.size());
        if (StopRequests() > 0) return Greeting::Stopped;
        if (ports_.size() > 1 && greeted < ports_.size()) {
            KeepOnly(greeted);
            note("the radio greeted on " + chosen().device + "; the other ports were closed, nothing was sent on them");
        }
        // The last port left is judged as the one port: its hang-up ends the wait.
        for (auto it = ports_.begin(); ports_.size() > 1 && it != ports_.end();) {
            if (!(*it)->host.hung_up()) {
                ++it;
                continue;
            }
            note("the line on " + (*it)->device + " hung up; no longer listening on it");
            it = ports_.erase(it);
        }

        SerialLinkHost& host = chosen().host;
        const uint64_t now = host.ElapsedMs();
        if (chosen().StepDue(now) && ports_.size() == 1 && host.link.BootState == BootState::Settled) {
            return Greeting::Answered;
        }
        if (ports_.size() == 1 && host.hung_up()) return Greeting::HungUp;
        // While several are listened on, none has greeted: the command would have chosen one.
        if (wait_seconds > 0 && (ports_.size() > 1 || !host.link.Acknowledged()) &&
            now >= started_ms + static_cast<uint64_t>(wait_seconds) * 1000) {
            return Greeting::NoGreeting;
        }
    }
}

void GreetingListener::CloseAll() {
    for (const auto& listened : ports_) listened->port.Close();
}

void GreetingListener::KeepOnly(size_t index) {
    std::unique_ptr<ListenedPort> kept = std::move(ports_[index]);
    // The others' settings are put back and their ports closed here, before anything else.
    ports_.clear();
    ports_.push_back(std::move(kept));
}
