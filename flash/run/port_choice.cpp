// Gathers and opens the ports to listen on; see port_choice.h.
#include "flash/run/port_choice.h"

#include <algorithm>
#include <memory>

#include "flash/run/command_line.h"
#include "flash/run/platform.h"

bool CandidatePorts(const std::vector<std::string>& given, std::vector<PortCandidate>& ports, std::string& error) {
    std::vector<std::string> identities;
    const auto add = [&](PortCandidate port) {
        const std::string identity = PortIdentity(port.device);
        const auto same = std::find(identities.begin(), identities.end(), identity);
        if (same == identities.end()) {
            identities.push_back(identity);
            ports.push_back(std::move(port));
            return true;
        }
        PortCandidate& first = ports[static_cast<size_t>(same - identities.begin())];
        // --port auto finds the named ports too; only a port named twice is a mistake.
        if (!port.named) return true;
        if (!first.named) {
            first = std::move(port);
            return true;
        }
        error = first.device == port.device ? port.device + " is named twice"
                                            : first.device + " and " + port.device + " are one port, named twice";
        return false;
    };
    for (const std::string& text : given) {
        if (text == kAutoPort) {
            for (const PresentPort& present : PresentPorts()) {
                add(PortCandidate{present.device, "", false, ShortPortName(present.device)});
            }
            continue;
        }
        // DEVICE=NAME names a bench position; a device's own name holds no "=".
        const size_t equals = text.find('=');
        const std::string device = text.substr(0, equals);
        PortCandidate port{device, equals == std::string::npos ? "" : text.substr(equals + 1), true,
                           ShortPortName(device)};
        if (!add(std::move(port))) return false;
    }
    return true;
}

std::string HeldByText(const std::string& device, const PortHolderSearch& found) {
    if (found.held_by.empty()) return "";
    return device + " is in use by another program: " + found.held_by + "; end it, then try again";
}

bool OpenCandidates(const std::vector<PortCandidate>& candidates, ListenedPorts& listener, const Note& note) {
    const bool several = candidates.size() > 1;
    int hidden_processes = 0;
    bool processes_visible = true;
    // Looked for before the ports are opened (from an open until the raw settings, the
    // kernel's line discipline echoes what arrives, a radio's status packets, back out), and
    // for all of them at once: a look over every process's open files for each port took
    // seconds with hundreds of ports.
    std::vector<std::string> devices;
    for (const PortCandidate& candidate : candidates) devices.push_back(candidate.device);
    const std::vector<PortHolderSearch> searches = SearchPortHolders(devices);
    for (size_t i = 0; i < candidates.size(); ++i) {
        const PortCandidate& candidate = candidates[i];
        const std::string& device = candidate.device;
        const PortHolderSearch& found = searches[i];
        const auto not_held = [&](std::string& error) {
            hidden_processes = std::max(hidden_processes, found.hidden_processes);
            processes_visible = processes_visible && found.processes_visible;
            if (!found.unreadable_lock.empty()) {
                note(found.unreadable_lock + " locks " + device +
                     " but names no process: if the radio's "
                     "greeting does not come, the program that made it may still hold the port");
            }
            error = HeldByText(device, found);
            return error.empty();
        };
        std::string error;
        PortOpenResult result = PortOpenResult::Failed;
        std::unique_ptr<SerialPort> port = OpenSerialPort(device, not_held, result, error);
        if (port != nullptr) {
            listener.Take(candidate, std::move(port));
            continue;
        }
        if (!several) {
            note(error);
            return false;
        }
        note("skipping " + device + ": " + error);
    }
    if (listener.size() == 0) {
        note("no port left to listen on: none of the " + std::to_string(candidates.size()) + " ports could be used");
        return false;
    }
    const std::string which = several ? "the ports" : candidates.front().device;
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
