// Opening the ports listened on; see listened_ports.h.
#include "flash/run/listened_ports.h"

bool ListenedPorts::Add(const PortCandidate& candidate, std::string& error, const PortVetting& may_take) {
    PortOpenResult result = PortOpenResult::Failed;
    std::unique_ptr<SerialPort> port = OpenSerialPort(candidate.device, may_take, result, error);
    if (port == nullptr) return false;
    ports_.push_back(std::make_unique<ListenedPort>(candidate, std::move(port)));
    return true;
}

bool ListenedPort::Reopen(std::string& error, const PortVetting& may_take) {
    PortOpenResult result = PortOpenResult::Failed;
    std::unique_ptr<SerialPort> opened = OpenSerialPort(device, may_take, result, error);
    if (opened == nullptr) return false;
    port = std::move(opened);
    host.Attach(*port);
    return true;
}

void ListenedPorts::CloseAll() {
    for (const auto& listened : ports_) listened->port->Close();
}
