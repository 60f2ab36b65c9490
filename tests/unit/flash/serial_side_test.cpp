// The serial side read from a fake sysfs, /dev, /proc and /etc/group: which USB devices are
// converters, the driver or program that took each, who holds the ports, the group that may
// open them, and the known takers running.
#include "flash/posix/serial_side.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <string>
#include <vector>

#include "fake_tree.h"

namespace {

class SerialSideTest : public ::testing::Test {
protected:
    // A USB device in sysfs, with the bus's links to it and to its one interface; returns
    // the interface's folder.
    std::string Usb(const std::string& name, const std::string& vendor, const std::string& product,
                    const std::string& driver) const {
        const std::string device = "sys/devices/pci0000:00/usb1/" + name;
        if (!vendor.empty()) tree.File(device + "/idVendor", vendor + "\n");
        tree.File(device + "/idProduct", product + "\n");
        tree.File(device + "/busnum", "1\n");
        tree.File(device + "/devnum", name.substr(2) + "\n");
        const std::string interface = device + "/" + name + ":1.0";
        tree.Folder(interface);
        if (!driver.empty()) {
            tree.Folder("sys/bus/usb/drivers/" + driver);
            tree.Link(interface + "/driver", "../../../../../bus/usb/drivers/" + driver);
        }
        tree.Link("sys/bus/usb/devices/" + name, "../../../devices/pci0000:00/usb1/" + name);
        tree.Link("sys/bus/usb/devices/" + name + ":1.0",
                  "../../../devices/pci0000:00/usb1/" + name + "/" + name + ":1.0");
        return interface;
    }
    void Process(pid_t pid, const std::string& program) const {
        tree.File("proc/" + std::to_string(pid) + "/comm", program + "\n");
        tree.Folder("proc/" + std::to_string(pid) + "/fd");
    }
    void Open(pid_t pid, int fd, const std::string& node) const {
        tree.Link("proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd), tree.Path(node));
    }

    FakeTree tree;
};

TEST_F(SerialSideTest, ConvertersPortsAndTheirTakers) {
    const std::string ftdi = Usb("1-2", "0403", "6001", "ftdi_sio");
    // Names chosen by a maker or a program reach the terminal only as printable text.
    tree.File("sys/devices/pci0000:00/usb1/1-2/serial", "Q42\x1b[2JB00\n");
    tree.Folder(ftdi + "/ttyUSB0/tty/ttyUSB0");
    tree.File("sys/class/tty/ttyUSB0/dev", "188:0\n");
    tree.Link("sys/class/tty/ttyUSB0/device", "../../../devices/pci0000:00/usb1/1-2/1-2:1.0/ttyUSB0");
    tree.File("dev/ttyUSB0", "");
    // Taken whole through usbfs by brltty; a second process has only its USB node's folder.
    Usb("1-4", "1a86", "7523", "usbfs");
    tree.File("dev/bus/usb/001/004", "");
    Process(812, "brltty");
    Open(812, 5, "dev/bus/usb/001/004");
    // No driver at all, and no serial number.
    Usb("1-5", "067b", "2303", "");
    // A keyboard is no converter; a device that went while it was read names nothing.
    Usb("1-6", "046d", "c31c", "usbhid");
    Usb("1-7", "", "6001", "");
    Process(640, "ModemManager");
    Open(640, 9, "dev/ttyUSB0");
    Process(700, "mini\x1b[2Jcom");
    Open(700, 3, "dev/ttyUSB0");

    ASSERT_EQ(chmod(tree.Path("dev/ttyUSB0").c_str(), 0660), 0);
    struct stat node {};
    ASSERT_EQ(stat(tree.Path("dev/ttyUSB0").c_str(), &node), 0);
    tree.File("etc/group", "root:x:1:\ndialout:x:" + std::to_string(node.st_gid) + ":alice,bob\n");
    tree.File("etc/passwd", "alice:x:1000:1000::/home/alice:/bin/sh\ncarol:x:1001:1001::/home/carol:/bin/sh\n");
    const CheckingUser alice{1000, {1000}, 1};
    const SerialSideSeen seen = SeeSerialSide(tree.root(), alice);

    const struct {
        std::string text;
        std::string port;
        std::string driver;
        std::string claimed_by;
    } converters[] = {
        {"an FTDI FT232R converter (0403:6001, serial Q42\\x1B[2JB00)", "/dev/ttyUSB0", "ftdi_sio", ""},
        {"a CH340 converter (1a86:7523)", "", "usbfs", "brltty (pid 812)"},
        {"a Prolific PL2303 converter (067b:2303)", "", "", ""},
    };
    ASSERT_EQ(seen.converters.size(), std::size(converters));
    for (size_t i = 0; i < seen.converters.size(); ++i) {
        EXPECT_EQ(ConverterText(seen.converters[i]), converters[i].text);
        EXPECT_EQ(seen.converters[i].port, converters[i].port) << converters[i].text;
        EXPECT_EQ(seen.converters[i].driver, converters[i].driver) << converters[i].text;
        EXPECT_EQ(seen.converters[i].claimed_by, converters[i].claimed_by) << converters[i].text;
    }
    ASSERT_EQ(seen.ports.size(), 1u);
    EXPECT_EQ(seen.ports[0].port, "/dev/ttyUSB0");
    EXPECT_EQ(seen.ports[0].held_by, "ModemManager (pid 640), mini\\x1B[2Jcom (pid 700)");
    EXPECT_FALSE(seen.ports[0].may_open);
    EXPECT_EQ(seen.ports[0].denied_group, "dialout");
    EXPECT_TRUE(seen.ports[0].group_after_login);
    EXPECT_EQ(seen.brltty, "brltty (pid 812)");
    EXPECT_EQ(seen.modem_manager, "ModemManager (pid 640)");

    // In the group in this login, or another user not listed in it.
    const CheckingUser member{1000, {1000, node.st_gid}, 1};
    EXPECT_TRUE(SeeSerialSide(tree.root(), member).ports[0].may_open);
    const CheckingUser carol{1001, {1001}, 1};
    EXPECT_FALSE(SeeSerialSide(tree.root(), carol).ports[0].group_after_login);
}

}  // namespace
