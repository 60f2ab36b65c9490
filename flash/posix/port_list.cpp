// Lists the serial ports from what the system publishes about them; no port is opened, so
// listing never disturbs a radio, a modem or another program's session.
#include "flash/posix/port_list.h"

#include "flash/posix/path_text.h"

#include <unistd.h>
#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>

namespace {

// The path with every symlink followed, or "" when it leads nowhere.
std::string Resolved(const std::string& path) {
    char resolved[PATH_MAX];
    return realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// What a symlink holds (udev writes ../../ttyUSB0), or "" when it is none.
std::string LinkTarget(const std::string& path) {
    char target[PATH_MAX];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<size_t>(n)) : std::string();
}

bool Exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// Digit runs compare by value, so that ttyUSB2 comes before ttyUSB10.
bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) && std::isdigit(static_cast<unsigned char>(b[j]))) {
            size_t i_end = i;
            size_t j_end = j;
            while (i_end < a.size() && std::isdigit(static_cast<unsigned char>(a[i_end]))) ++i_end;
            while (j_end < b.size() && std::isdigit(static_cast<unsigned char>(b[j_end]))) ++j_end;
            const unsigned long x = std::strtoul(a.substr(i, i_end - i).c_str(), nullptr, 10);
            const unsigned long y = std::strtoul(b.substr(j, j_end - j).c_str(), nullptr, 10);
            if (x != y) return x < y;
            i = i_end;
            j = j_end;
            continue;
        }
        if (a[i] != b[j]) return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

// The USB device a port belongs to is the nearest folder above it that has a vendor id: the
// port itself (usb-serial) or its interface (cdc_acm) sit below it.
void ReadUsbDevice(const std::string& device_folder, const std::string& devices_root, SerialPortInfo& port) {
    for (std::string folder = device_folder;
         folder.size() > devices_root.size() && folder.compare(0, devices_root.size(), devices_root) == 0;
         folder = folder.substr(0, folder.rfind('/'))) {
        if (!Exists(folder + "/idVendor")) continue;
        port.usb_id = FirstLine(folder + "/idVendor") + ":" + FirstLine(folder + "/idProduct");
        port.maker = FirstLine(folder + "/manufacturer");
        port.product = FirstLine(folder + "/product");
        port.serial_number = FirstLine(folder + "/serial");
        return;
    }
}

// Since Linux 6.5 a serial-core port hangs below two devices of the serial-base bus (port,
// ctrl) whose drivers say nothing; the driver of the hardware is the one above them.
std::string DriverName(const std::string& device_folder, const std::string& devices_root) {
    for (std::string folder = device_folder; folder.size() > devices_root.size();
         folder = folder.substr(0, folder.rfind('/'))) {
        const std::string driver = Resolved(folder + "/driver");
        if (driver.empty()) return "";
        if (driver.find("/bus/serial-base/") == std::string::npos) return LastPart(driver);
    }
    return "";
}

std::vector<SerialPortInfo> ListFromSysfs(const std::string& root, const std::vector<std::string>& ttys) {
    const std::string class_folder = root + "/sys/class/tty/";
    const std::string devices_root = Resolved(root + "/sys/devices");
    std::vector<SerialPortInfo> ports;
    for (const std::string& name : ttys) {
        // Consoles, virtual terminals and pseudo-terminals have no device behind them.
        const std::string device_folder = Resolved(class_folder + name + "/device");
        if (device_folder.empty()) continue;
        // A serial-core port whose UART type is unknown (0) has no hardware: the kernel keeps
        // ttyS0 to ttyS3 on most PCs whether or not the ports exist.
        if (FirstLine(class_folder + name + "/type") == "0") continue;
        SerialPortInfo port;
        port.device = "/dev/" + name;
        port.driver = DriverName(device_folder, devices_root);
        if (!devices_root.empty()) ReadUsbDevice(device_folder, devices_root, port);
        ports.push_back(port);
    }
    const std::string by_id = "/dev/serial/by-id/";
    for (const std::string& link : FolderEntries(root + by_id)) {
        const std::string target = LastPart(LinkTarget(root + by_id + link));
        for (SerialPortInfo& port : ports) {
            if (!target.empty() && LastPart(port.device) == target) port.by_id = by_id + link;
        }
    }
    return ports;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const std::string& root) {
    const std::string base = root == "/" ? "" : root;
    std::vector<std::string> names = FolderEntries(base + "/sys/class/tty");
    std::sort(names.begin(), names.end(), NaturalLess);
    if (!names.empty()) return ListFromSysfs(base, names);

    // macOS: the call-out (cu.) devices, which open without waiting for a carrier.
    names = FolderEntries(base + "/dev");
    std::sort(names.begin(), names.end(), NaturalLess);
    std::vector<SerialPortInfo> ports;
    for (const std::string& name : names) {
        if (name.compare(0, 3, "cu.") == 0) ports.push_back(SerialPortInfo{"/dev/" + name, "", "", "", "", "", ""});
    }
    return ports;
}

std::string DescribePort(const SerialPortInfo& port) {
    std::vector<std::string> parts;
    if (!port.driver.empty()) parts.push_back(port.driver);
    if (!port.usb_id.empty()) parts.push_back("USB " + port.usb_id);
    std::string name = port.maker;
    if (!port.product.empty()) name += (name.empty() ? "" : " ") + port.product;
    if (!name.empty()) parts.push_back(name);
    if (!port.serial_number.empty()) parts.push_back("serial " + port.serial_number);
    if (!port.by_id.empty()) parts.push_back(port.by_id);
    std::string line = port.device;
    for (size_t i = 0; i < parts.size(); ++i) line += (i == 0 ? "  " : ", ") + parts[i];
    return line;
}
