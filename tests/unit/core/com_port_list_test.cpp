// The setup window's list of ports, from fake answers of the Ports class and the registry's
// serial map: merging, naming, numbers above 99 and the order.
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
    std::vector<std::string> shown;  // "number text"
};

std::vector<std::string> Shown(const std::vector<ListedPort>& ports) {
    std::vector<std::string> shown;
    for (const ListedPort& p : ports) shown.push_back(std::to_string(p.number) + " " + p.text);
    return shown;
}

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
    };
    for (const MergeCase& c : cases) {
        EXPECT_EQ(Shown(ListPresentPorts(c.devices, c.serial_map)), c.shown) << c.what;
    }
}

TEST(PlaceOfPort, FindsThePortByNumber) {
    const std::vector<ListedPort> ports = ListPresentPorts({}, {"COM23", "COM1", "COM3"});
    EXPECT_EQ(PlaceOfPort(ports, 1), 0);
    EXPECT_EQ(PlaceOfPort(ports, 23), 2);
    EXPECT_EQ(PlaceOfPort(ports, 2), -1);
}

}  // namespace
