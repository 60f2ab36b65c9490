// Gathers and opens the ports to listen on; see port_choice.h.
#include "flash/run/port_choice.h"

#include <algorithm>

#include "flash/run/command_line.h"
#include "flash/run/platform.h"

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
        for (const PresentPort& port : PresentPorts()) add(port.device);
    }
    return ports;
}

bool OpenCandidates(const std::vector<std::string>& devices, ListenedPorts& listener, const Note& note) {
    const bool several = devices.size() > 1;
    int hidden_processes = 0;
    bool processes_visible = true;
    for (const std::string& device : devices) {
        const auto not_held = [&](std::string& error) {
            const PortHolderSearch found = SearchPortHolders(device);
            hidden_processes = std::max(hidden_processes, found.hidden_processes);
            processes_visible = processes_visible && found.processes_visible;
            if (!found.unreadable_lock.empty()) {
                note(found.unreadable_lock + " locks " + device +
                     " but names no process: if the radio's "
                     "greeting does not come, the program that made it may still hold the port");
            }
            if (found.held_by.empty()) return true;
            error = device + " is in use by another program: " + found.held_by + "; end it, then try again";
            return false;
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

std::string Listing(const ListenedPorts& listener) {
    std::string text;
    for (size_t i = 0; i < listener.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == listener.size() ? " and " : ", ") + listener.device(i);
    }
    return text;
}
