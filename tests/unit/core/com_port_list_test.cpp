// The setup window's list of ports, from fake answers of the Ports class, the registry's
// serial map and SetupAPI's USB devices: merging, naming, numbers above 99, the order, and
// the greyed rows of converters without a port.
#include "core/com_port_list.h"

#include <gtest/gtest.h>

namespace {

TEST(ComPortNumber, TakesCom1ToCom256AndNothingElse) {
    const struct {
        const char* name;
        unsigned number;
    } cases[] = {
        {"COM1", 1}, {"com23", 23}, {"Com100", 100}, {"COM256", 256}, {"COM257", 0},
        {"COM0", 0}, {"COM03", 0},  {"COM", 0},      {"LPT1", 0},     {"COM3 ", 0},
        {"COMX", 0}, {"COM-1", 0},  {"COM1000", 0},  {"", 0},         {"CNCA0", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ComPortNumber(c.name), c.number) << '"' << c.name << '"';
}

struct MergeCase {
    const char* what;
    std::vector<PortDevice> devices;
    std::vector<std::string> serial_map;
    std::vector<std::string> shown;  // "number text", "grey text" for a row that explains
    std::vector<UsbDeviceAnswer> usb = {};
};

std::vector<std::string> Shown(const std::vector<ListedPort>& ports) {
    std::vector<std::string> shown;
    for (const ListedPort& p : ports) {
        shown.push_back((p.explains.empty() ? std::to_string(p.number) : "grey") + " " + p.text);
    }
    return shown;
}

constexpr char kProlificExplained[] =
    "A Prolific PL2303 converter (067b:2303) is plugged in, but has no COM port: Prolific's driver refuses this "
    "chip (code 10), as it refuses older and imitation PL2303 chips: use a cable with another chip (FTDI, CP210x, "
    "CH340), or install the older Prolific driver that still takes it.";

TEST(ListPresentPorts, MergesBothSourcesOncePerPortSortedByNumber) {
    const MergeCase cases[] = {
        {"a port in both sources shows its friendly name once",
         {{"COM23", "USB Serial Port (COM23)"}},
         {"COM1", "COM23"},
         {"1 COM1", "23 USB Serial Port (COM23)"}},
        {"the map's spelling does not make a second entry",
         {{"COM4", "Communications Port (COM4)"}},
         {"com4"},
         {"4 Communications Port (COM4)"}},
        {"a device the map misses",
         {{"COM5", "Prolific USB-to-Serial Comm Port (COM5)"}},
         {},
         {"5 Prolific USB-to-Serial Comm Port (COM5)"}},
        {"a device without a friendly name shows its port name", {{"COM7", ""}}, {"COM7"}, {"7 COM7"}},
        {"a friendly name that does not say its port gets it",
         {{"COM9", "Standard Serial over Bluetooth link"}, {"COM12", "Old name (COM1)"}},
         {},
         {"9 Standard Serial over Bluetooth link (COM9)", "12 Old name (COM1) (COM12)"}},
        {"numbers sort as numbers, above 99 too; past COM256 and other names are left out",
         {{"LPT1", "Printer Port (LPT1)"}, {"COM100", "USB Serial Device (COM100)"}, {"", "No port"}},
         {"COM10", "COM256", "COM2", "COM257", "COM0"},
         {"2 COM2", "10 COM10", "100 USB Serial Device (COM100)", "256 COM256"}},
        {"a device first seen nameless takes the name of a later one",
         {{"COM3", ""}, {"COM3", "USB Serial Port (COM3)"}},
         {"COM3"},
         {"3 USB Serial Port (COM3)"}},
        {"nothing present", {}, {}, {}},
        {"a converter its driver refused goes greyed under the ports, its reason below; one with a port and a "
         "mouse add nothing",
         {{"COM3", "USB Serial Port (COM3)"}},
         {"COM3"},
         {"3 USB Serial Port (COM3)", "grey A Prolific PL2303 converter (067b:2303), without a COM port",
          "grey     Prolific's driver refuses this chip (code 10), as it refuses older and imitation PL2303 chips: "
          "use a cable with another chip (FTDI, CP210x, CH340), or install the older Prolific driver that still "
          "takes it"},
         {{{"USB\\VID_0403&PID_6001&REV_0600"}, "FTDIBUS", "COM3", 0},
          {{"USB\\VID_067B&PID_2303&REV_0300"}, "Ser2pl", "", 10},
          {{"USB\\VID_046D&PID_C077"}, "HidUsb", "", 0}}},
        {"a converter without a driver, no port present",
         {},
         {},
         {"grey A CH340 converter (1a86:7523), without a COM port",
          "grey     no driver is installed for it (code 28): install the driver of its chip's maker"},
         {{{"USB\\VID_1A86&PID_7523"}, "", "", 28}}},
    };
    for (const MergeCase& c : cases) {
        EXPECT_EQ(Shown(ListWithPortlessConverters(ListPresentPorts(c.devices, c.serial_map), c.usb)), c.shown)
            << c.what;
    }
}

TEST(ListWithPortlessConverters, ChoosingAConvertersRowExplainsWhyItHasNoPort) {
    const std::vector<ListedPort> listed =
        ListWithPortlessConverters({}, {{{"USB\\VID_067B&PID_2303&REV_0300"}, "Ser2pl", "", 10}});
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].explains, kProlificExplained);
    EXPECT_EQ(listed[1].explains, kProlificExplained);
}

TEST(PlaceOfPort, FindsThePortByNumber) {
    const std::vector<ListedPort> ports = ListPresentPorts({}, {"COM23", "COM1", "COM3"});
    EXPECT_EQ(PlaceOfPort(ports, 1), 0);
    EXPECT_EQ(PlaceOfPort(ports, 23), 2);
    EXPECT_EQ(PlaceOfPort(ports, 2), -1);
}

}  // namespace
