// Gathers and opens the ports to listen on; see port_choice.h.
#include "flash/port_choice.h"

#include <sys/select.h>
#include <unistd.h>
#include <algorithm>

#include "flash/command_line.h"
#include "flash/port_holders.h"
#include "flash/port_list.h"
#include "flash/stop_signal.h"

std::vector<std::string> CandidatePorts(const std::vector<std::string>& named) {
    std::vector<std::string> ports;
    const auto add = [&ports](const std::string& device) {
        if (std::find(ports.begin(), ports.end(), device) == ports.end()) ports.push_back(device);
    };
    for (const std::string& device : named) {
        if (device != kAutoPort) {
            add(device);
            continue;
        }
        for (const SerialPortInfo& port : ListSerialPorts("/")) add(port.device);
    }
    return ports;
}

namespace {

// Why the port cannot be used while another program holds it, or "" when none is seen.
std::string HeldBy(const std::string& device, const PortHolders& found) {
    if (found.holders.empty()) return "";
    std::string names;
    for (const PortHolder& holder : found.holders) names += (names.empty() ? "" : ", ") + DescribeHolder(holder);
    return device + " is in use by another program: " + names + "; end it, then try again";
}

}  // namespace

bool OpenCandidates(const std::vector<std::string>& devices, GreetingListener& listener, const Note& note) {
    const bool several = devices.size() > 1;
    int hidden_processes = 0;
    bool processes_visible = true;
    for (const std::string& device : devices) {
        // Looked for before the port is opened: from the open until the raw settings, the
        // kernel's line discipline echoes what arrives (a radio's status packets) back out.
        const PortHolders found = FindPortHolders(device, HolderRoots{}, getpid());
        const auto not_held = [&](std::string& error) {
            hidden_processes = std::max(hidden_processes, found.hidden_processes);
            processes_visible = processes_visible && found.processes_visible;
            if (!found.unreadable_lock.empty()) {
                note(found.unreadable_lock + " locks " + device +
                     " but names no process: if the radio's "
                     "greeting does not come, the program that made it may still hold the port");
            }
            error = HeldBy(device, found);
            return error.empty();
        };
        std::string error;
        if (listener.Add(device, error, not_held)) continue;
        if (!several) {
            note(error);
            return false;
        }
        note("skipping " + device + ": " + error);
    }
    if (listener.size() == 0) {
        note("no port left to listen on: none of the " + std::to_string(devices.size()) + " ports could be used");
        return false;
    }
    const std::string which = several ? "the ports" : devices.front();
    if (!processes_visible) {
        note("this system does not show which programs have " + which +
             " open: if the radio's "
             "greeting does not come, end any program that may use it");
    } else if (hidden_processes > 0) {
        note("cannot see the open files of " + std::to_string(hidden_processes) +
             " processes of other users: if the radio's greeting does not come, one of them may hold " + which);
    }
    return true;
}

bool AwaitPortBack(GreetingListener& listener, long wait_seconds, const Note& note) {
    const std::string device = listener.device(0);
    listener.Forget();
    note("waiting for " + device + " to come back (Ctrl-C stops)");
    std::string refusal;
    for (uint64_t waited_ms = kLinkStepMs;; waited_ms += kLinkStepMs) {
        fd_set wake;
        FD_ZERO(&wake);
        FD_SET(StopWakeFd(), &wake);
        timeval step{0, static_cast<suseconds_t>(kLinkStepMs * 1000)};
        select(StopWakeFd() + 1, &wake, nullptr, nullptr, &step);
        if (StopRequests() > 0) return false;
        if (access(device.c_str(), F_OK) == 0) {
            std::vector<std::string> said;
            if (OpenCandidates({device}, listener, [&said](const std::string& text) { said.push_back(text); })) {
                for (const std::string& text : said) note(text);
                note(device + " is back; listening on it again");
                return true;
            }
            // Just plugged in, it may still be probed by another program: said once, tried again.
            if (!said.empty() && said.front() != refusal) {
                refusal = said.front();
                note(refusal + "; trying again");
            }
        }
        if (wait_seconds > 0 && waited_ms >= static_cast<uint64_t>(wait_seconds) * 1000) {
            note(device + " did not come back within " + std::to_string(wait_seconds) + " s");
            return false;
        }
    }
}

std::string Listing(const GreetingListener& listener) {
    std::string text;
    for (size_t i = 0; i < listener.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == listener.size() ? " and " : ", ") + listener.device(i);
    }
    return text;
}
