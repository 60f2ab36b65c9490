// Opening the ports listened on; see listened_ports.h.
#include "flash/run/listened_ports.h"

void ListenedPorts::Take(const PortCandidate& candidate, std::unique_ptr<SerialPort> opened) {
    ports_.push_back(std::make_unique<ListenedPort>(candidate, std::move(opened), system_));
}

bool ListenedPort::Reopen(BenchSystem& system, std::string& error) {
    std::unique_ptr<SerialPort> opened = system.Reopen(device, error);
    if (opened == nullptr) return false;
    port = std::move(opened);
    host.Attach(*port);
    return true;
}

void ListenedPorts::CloseAll() {
    for (const auto& listened : ports_) listened->port->Close();
}

std::string ListenedPorts::Listing() const {
    std::string text;
    for (size_t i = 0; i < ports_.size(); ++i) {
        const ListenedPort& port = *ports_[i];
        text += (i == 0                   ? ""
                 : i + 1 == ports_.size() ? " and "
                                          : ", ") +
                (port.position.empty() ? port.device : port.position);
    }
    return text;
}
