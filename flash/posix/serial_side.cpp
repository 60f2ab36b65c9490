// Reads the serial side from sysfs, /proc, /dev and /etc/group; see serial_side.h. An entry
// that vanishes while it is read (a converter pulled out) is left out, never guessed at.
#include "flash/posix/serial_side.h"

#include "core/printable_text.h"

#include "flash/posix/path_text.h"
#include "flash/posix/port_holders.h"
#include "flash/posix/port_list.h"

#include <sys/stat.h>
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// A folder's names in their sorted order, so that the check says the same each time.
std::vector<std::string> SortedEntries(const std::string& folder) {
    std::vector<std::string> names = FolderEntries(folder);
    std::sort(names.begin(), names.end());
    return names;
}

bool ReadHex(const std::string& path, uint16_t& value) {
    const std::string text = FirstLine(path);
    char* end = nullptr;
    const unsigned long number = std::strtoul(text.c_str(), &end, 16);
    if (text.empty() || *end != '\0' || number > 0xffff) return false;
    value = static_cast<uint16_t>(number);
    return true;
}

std::string DriverOf(const std::string& folder) {
    char resolved[PATH_MAX];
    return realpath((folder + "/driver").c_str(), resolved) != nullptr ? LastPart(resolved) : "";
}

// The port a USB interface's driver made: ttyUSB0 (usb-serial) or tty/ttyACM0 (ACM).
std::string PortOf(const std::string& interface) {
    for (const std::string& name : SortedEntries(interface)) {
        if (name.rfind("ttyUSB", 0) == 0) return "/dev/" + name;
    }
    for (const std::string& name : SortedEntries(interface + "/tty")) return "/dev/" + name;
    return "";
}

// /dev/bus/usb/BBB/DDD, the node through which a program takes a whole USB device.
std::string UsbNode(const std::string& device) {
    const std::string bus = FirstLine(device + "/busnum");
    const std::string number = FirstLine(device + "/devnum");
    if (bus.empty() || number.empty()) return "";
    char node[64];
    std::snprintf(node, sizeof node, "/dev/bus/usb/%03ld/%03ld", std::strtol(bus.c_str(), nullptr, 10),
                  std::strtol(number.c_str(), nullptr, 10));
    return node;
}

struct Converter {
    ConverterSeen seen;
    std::string usb_node;  // when a program took it through usbfs
};

std::vector<Converter> Converters(const std::string& base) {
    const std::string folder = base + "/sys/bus/usb/devices/";
    const std::vector<std::string> entries = SortedEntries(folder);
    std::vector<Converter> converters;
    for (const std::string& device : entries) {
        if (device.find(':') != std::string::npos) continue;
        Converter converter;
        ConverterSeen& seen = converter.seen;
        if (!ReadHex(folder + device + "/idVendor", seen.vendor) ||
            !ReadHex(folder + device + "/idProduct", seen.product)) {
            continue;
        }
        bool serial_driver = false;
        for (const std::string& interface : entries) {
            if (interface.rfind(device + ":", 0) != 0) continue;
            const std::string driver = DriverOf(folder + interface);
            serial_driver = serial_driver || IsSerialDriver(driver);
            if (seen.driver.empty() || IsSerialDriver(driver)) seen.driver = driver;
            if (seen.port.empty()) seen.port = PortOf(folder + interface);
        }
        if (!serial_driver && FindConverterChip(seen.vendor, seen.product) == nullptr) continue;
        seen.serial_number = FirstLine(folder + device + "/serial");
        if (seen.driver == "usbfs") converter.usb_node = UsbNode(folder + device);
        converters.push_back(converter);
    }
    return converters;
}

// "brltty (pid 812)" for the first process of that name, "" when none runs.
std::string Running(const std::string& proc, const std::string& program) {
    for (const std::string& pid : FolderEntries(proc)) {
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        if (FirstLine(proc + "/" + pid + "/comm") == program) return program + " (pid " + pid + ")";
    }
    return "";
}

// The fields of the line of an /etc/passwd or /etc/group whose third field is id; none when
// there is no such line. Read as files, not through the C library's lookup, which a static
// program cannot load.
std::vector<std::string> EntryOf(const std::string& path, unsigned long id) {
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        std::vector<std::string> fields;
        std::stringstream parts(line);
        std::string field;
        while (std::getline(parts, field, ':')) fields.push_back(field);
        if (fields.size() >= 3 && fields[2] == std::to_string(id)) return fields;
    }
    return {};
}

// The group's name and its listed members.
bool GroupOf(const std::string& base, gid_t gid, std::string& name, std::vector<std::string>& members) {
    const std::vector<std::string> fields = EntryOf(base + "/etc/group", gid);
    if (fields.empty()) return false;
    name = fields[0];
    std::stringstream names(fields.size() > 3 ? fields[3] : "");
    std::string member;
    while (std::getline(names, member, ',')) members.push_back(member);
    return true;
}

// Whether this user may read and write the node, and if not, the group that may.
void JudgeAccess(const std::string& base, const std::string& node, const CheckingUser& user, PortSeen& port) {
    struct stat st {};
    if (user.uid == 0 || stat((base + node).c_str(), &st) != 0) return;
    const bool in_group = std::find(user.groups.begin(), user.groups.end(), st.st_gid) != user.groups.end();
    const mode_t group_rw = S_IRGRP | S_IWGRP;
    const mode_t wanted = st.st_uid == user.uid ? S_IRUSR | S_IWUSR : in_group ? group_rw : S_IROTH | S_IWOTH;
    if ((st.st_mode & wanted) == wanted) return;
    port.may_open = false;
    // Only a group that may open it is a way in.
    if (in_group || (st.st_mode & group_rw) != group_rw) return;
    std::vector<std::string> members;
    if (!GroupOf(base, st.st_gid, port.denied_group, members)) port.denied_group = std::to_string(st.st_gid);
    const std::vector<std::string> account = EntryOf(base + "/etc/passwd", user.uid);
    port.group_after_login = !account.empty() && std::find(members.begin(), members.end(), account[0]) != members.end();
}

}  // namespace

SerialSideSeen SeeSerialSide(const std::string& root, const CheckingUser& user) {
    const std::string base = root == "/" ? "" : root;
    const HolderRoots roots{base + "/proc", base + "/run/lock"};
    SerialSideSeen seen;
    std::vector<Converter> converters = Converters(base);
    std::vector<std::string> nodes;
    for (const SerialPortInfo& port : ListSerialPorts(root)) nodes.push_back(port.device);
    const size_t port_count = nodes.size();
    for (const Converter& converter : converters) {
        if (!converter.usb_node.empty()) nodes.push_back(converter.usb_node);
    }
    std::vector<std::string> paths;
    for (const std::string& node : nodes) paths.push_back(base + node);
    // One look over the processes for every port and every converter taken whole.
    const std::vector<PortHolders> holders = FindPortHolders(paths, roots, user.self);
    const auto described = [](const PortHolders& found) {
        std::string text;
        // A program names itself: what it chose must not work the terminal.
        for (const PortHolder& holder : found.holders) {
            text += (text.empty() ? "" : ", ") + PrintableText(DescribeHolder(holder));
        }
        return text;
    };
    for (size_t i = 0; i < port_count; ++i) {
        PortSeen port;
        port.port = nodes[i];
        port.held_by = described(holders[i]);
        JudgeAccess(base, port.port, user, port);
        seen.ports.push_back(port);
    }
    size_t next = port_count;
    for (Converter& converter : converters) {
        if (!converter.usb_node.empty()) converter.seen.claimed_by = described(holders[next++]);
        seen.converters.push_back(converter.seen);
    }
    seen.brltty = Running(roots.proc, "brltty");
    seen.modem_manager = Running(roots.proc, "ModemManager");
    return seen;
}
