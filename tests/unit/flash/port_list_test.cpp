// The serial port list read from a fake sysfs and /dev: which ttys are ports, what each is,
// in what order; and macOS's cu. devices where there is no sysfs.
#include "flash/posix/port_list.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "fake_tree.h"

namespace {

std::vector<std::string> Lines(const std::string& root) {
    std::vector<std::string> lines;
    for (const SerialPortInfo& port : ListSerialPorts(root)) lines.push_back(DescribePort(port));
    return lines;
}

// One USB device with an interface below it; returns the interface's folder.
std::string UsbDevice(const FakeTree& tree, const std::string& device, const std::string& vendor,
                      const std::string& product_id, const std::string& maker, const std::string& product,
                      const std::string& serial) {
    const std::string folder = "sys/devices/pci0000:00/0000:00:14.0/usb1/" + device;
    tree.File(folder + "/idVendor", vendor + "\n");
    tree.File(folder + "/idProduct", product_id + "\n");
    if (!maker.empty()) tree.File(folder + "/manufacturer", maker + "\n");
    if (!product.empty()) tree.File(folder + "/product", product + "\n");
    if (!serial.empty()) tree.File(folder + "/serial", serial + "\n");
    return folder + "/" + device + ":1.0";
}

// /sys/class/tty/NAME with its device link (none when device_folder is empty).
void Tty(const FakeTree& tree, const std::string& name, const std::string& device_folder) {
    tree.File("sys/class/tty/" + name + "/dev", "188:0\n");
    if (!device_folder.empty()) tree.Link("sys/class/tty/" + name + "/device", "../../../../" + device_folder);
}

void Driver(const FakeTree& tree, const std::string& device_folder, const std::string& bus, const std::string& name) {
    const std::string driver = "sys/bus/" + bus + "/drivers/" + name;
    tree.Folder(driver);
    std::string up;
    for (size_t i = 0; i < device_folder.size(); ++i) up += device_folder[i] == '/' ? "../" : "";
    tree.Link(device_folder + "/driver", "../" + up + driver);
}

TEST(PortList, SysfsPortsWithWhatTheSystemSaysOfThem) {
    FakeTree tree;
    // A USB converter on the usb-serial bus: the tty's device is the port, below the interface.
    const std::string ftdi =
        UsbDevice(tree, "1-2", "0403", "6001", "FTDI", "FT232R USB UART", "A10K3XYZ") + "/ttyUSB10";
    Driver(tree, ftdi, "usb-serial", "ftdi_sio");
    Tty(tree, "ttyUSB10", ftdi);
    // A cheap converter that names no maker, product or serial number.
    const std::string cheap = UsbDevice(tree, "1-4", "1a86", "7523", "", "", "") + "/ttyUSB2";
    Driver(tree, cheap, "usb-serial", "ch341-uart");
    Tty(tree, "ttyUSB2", cheap);
    // An ACM device: the tty's device is the USB interface itself.
    const std::string acm = UsbDevice(tree, "1-3", "2e8a", "000a", "Raspberry Pi", "Pico", "");
    Driver(tree, acm, "usb", "cdc_acm");
    Tty(tree, "ttyACM0", acm);
    // Serial-core ports below the serial-base bus's port and ctrl devices: one with a UART,
    // one the kernel keeps without hardware (type 0).
    for (const char* name : {"ttyS0", "ttyS1"}) {
        const std::string top = std::string("sys/devices/platform/serial8250-") + name;
        const std::string port = top + "/" + name + ":0/" + name + ":0.0";
        Driver(tree, top, "platform", "serial8250");
        Driver(tree, top + "/" + name + ":0", "serial-base", "ctrl");
        Driver(tree, port, "serial-base", "port");
        Tty(tree, name, port);
        tree.File(std::string("sys/class/tty/") + name + "/type", name == std::string("ttyS0") ? "4\n" : "0\n");
    }
    // A virtual terminal: no device link.
    Tty(tree, "tty1", "");
    tree.Link("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0", "../../ttyUSB10");
    tree.Link("dev/serial/by-id/usb-Raspberry_Pi_Pico-if00", "../../ttyACM0");

    EXPECT_EQ(
        Lines(tree.root()),
        (std::vector<std::string>{
            "/dev/ttyACM0  cdc_acm, USB 2e8a:000a, Raspberry Pi Pico, /dev/serial/by-id/usb-Raspberry_Pi_Pico-if00",
            "/dev/ttyS0  serial8250",
            "/dev/ttyUSB2  ch341-uart, USB 1a86:7523",
            "/dev/ttyUSB10  ftdi_sio, USB 0403:6001, FTDI FT232R USB UART, serial A10K3XYZ, "
            "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0",
        }));
}

TEST(PortList, WithoutSysfsTheCallOutDevices) {
    FakeTree tree;
    for (const char* name : {"tty.usbserial-A10K3XYZ", "cu.usbserial-A10K3XYZ", "cu.Bluetooth-Incoming-Port", "null"}) {
        tree.File(std::string("dev/") + name, "");
    }
    EXPECT_EQ(Lines(tree.root()),
              (std::vector<std::string>{"/dev/cu.Bluetooth-Incoming-Port", "/dev/cu.usbserial-A10K3XYZ"}));
}

}  // namespace
