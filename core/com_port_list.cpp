// Merging the Ports class and the serial map into the setup window's list.
#include "core/com_port_list.h"

#include <algorithm>

namespace {

constexpr unsigned kLastPort = 256;

std::string PortName(unsigned number) { return "COM" + std::to_string(number); }

std::string ShownName(const std::string& friendly_name, unsigned number) {
    if (friendly_name.empty()) return PortName(number);
    if (friendly_name.find("(" + PortName(number) + ")") != std::string::npos) return friendly_name;
    return friendly_name + " (" + PortName(number) + ")";
}

std::string Capitalised(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

}  // namespace

unsigned ComPortNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 6) return 0;
    for (size_t i = 0; i < 3; ++i) {
        if (static_cast<char>(name[i] & ~0x20) != "COM"[i]) return 0;
    }
    if (name[3] == '0') return 0;
    unsigned number = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        number = number * 10 + static_cast<unsigned>(name[i] - '0');
    }
    return number <= kLastPort ? number : 0;
}

std::vector<ListedPort> ListPresentPorts(const std::vector<PortDevice>& devices,
                                         const std::vector<std::string>& serial_map) {
    std::vector<ListedPort> ports;
    auto add = [&ports](unsigned number, const std::string& friendly_name) {
        if (number == 0) return;
        const auto same =
            std::find_if(ports.begin(), ports.end(), [number](const ListedPort& p) { return p.number == number; });
        if (same == ports.end()) {
            ports.push_back(ListedPort{number, ShownName(friendly_name, number)});
        } else if (!friendly_name.empty() && same->text == PortName(number)) {
            same->text = ShownName(friendly_name, number);
        }
    };
    for (const PortDevice& device : devices) add(ComPortNumber(device.port_name), device.friendly_name);
    for (const std::string& name : serial_map) add(ComPortNumber(name), std::string());
    std::sort(ports.begin(), ports.end(), [](const ListedPort& a, const ListedPort& b) { return a.number < b.number; });
    return ports;
}

std::vector<ListedPort> ListWithPortlessConverters(std::vector<ListedPort> ports,
                                                   const std::vector<UsbDeviceAnswer>& usb_devices) {
    SerialSideSeen seen;
    for (const UsbDeviceAnswer& answer : usb_devices) {
        ConverterSeen converter;
        if (ConverterFromAnswer(answer, converter) && converter.port.empty()) seen.converters.push_back(converter);
    }
    for (const ConverterSeen& converter : seen.converters) {
        const std::string what = Capitalised(ConverterText(converter));
        const std::string trouble = ConverterTrouble(converter, seen);
        const std::string explains = what + " is plugged in, but has no COM port: " + trouble + ".";
        ports.push_back(ListedPort{0, what + ", without a COM port", explains});
        ports.push_back(ListedPort{0, "    " + trouble, explains});
    }
    return ports;
}

int PlaceOfPort(const std::vector<ListedPort>& ports, unsigned number) {
    for (size_t i = 0; i < ports.size(); ++i) {
        if (ports[i].number == number) return static_cast<int>(i);
    }
    return -1;
}
