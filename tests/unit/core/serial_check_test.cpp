// The check's judgement: which cause a converter or a port is given, with its remedy, and
// which converter a missing port is blamed on.
#include "core/serial_check.h"

#include <gtest/gtest.h>

namespace {

ConverterSeen Converter(uint16_t vendor, uint16_t product, const std::string& port) {
    ConverterSeen converter;
    converter.vendor = vendor;
    converter.product = product;
    converter.port = port;
    converter.driver = port.empty() ? "" : "ftdi_sio";
    return converter;
}

TEST(SerialCheck, ConvertersCauses) {
    ConverterSeen claimed = Converter(0x1a86, 0x7523, "");
    claimed.driver = "usbfs";
    claimed.claimed_by = "brltty (pid 812)";
    ConverterSeen other_claim = claimed;
    other_claim.claimed_by = "flashrom-gui (pid 90), brltty-helper (pid 91)";
    ConverterSeen prolific = Converter(0x067b, 0x2303, "");
    prolific.problem_code = 10;
    ConverterSeen ftdi_code10 = Converter(0x0403, 0x6001, "");
    ftdi_code10.problem_code = 10;
    ConverterSeen unknown_code = Converter(0x0403, 0x6001, "");
    unknown_code.problem_code = 99;
    ConverterSeen keyboard_driver = Converter(0x10c4, 0xea60, "");
    keyboard_driver.driver = "usbhid";
    ConverterSeen no_serial = Converter(0x1234, 0x5678, "/dev/ttyACM0");
    ConverterSeen with_serial = Converter(0x0403, 0x6015, "");
    with_serial.serial_number = "Q42B00";
    const struct {
        const char* what;
        ConverterSeen converter;
        std::string brltty;
        std::string text;     // a part of it
        std::string trouble;  // a part of it; "" when there is none
    } rows[] = {
        {"has a port", Converter(0x0403, 0x6001, "/dev/ttyUSB0"), "", "an FTDI FT232R converter (0403:6001)", ""},
        {"taken by brltty", claimed, "", "a CH340 converter (1a86:7523)",
         "brltty (pid 812) has claimed it; `sudo apt remove brltty`"},
        {"taken by another program", other_claim, "", "a CH340", "(pid 91) has claimed it; end it"},
        {"Prolific refused", prolific, "", "a Prolific PL2303 converter",
         "Prolific's driver refuses this chip (code 10)"},
        {"another chip that cannot start", ftdi_code10, "", "FT232R", "it cannot start (code 10)"},
        {"a code without words", unknown_code, "", "FT232R", "(code 99)"},
        {"another driver", keyboard_driver, "", "Silicon Labs CP210x", "the driver usbhid has taken it"},
        {"no driver, brltty running", Converter(0x1a86, 0x7523, ""), "brltty (pid 7)", "CH340",
         "brltty (pid 7) runs, which takes such converters; `sudo apt remove brltty`"},
        {"no driver", Converter(0x1a86, 0x7523, ""), "", "CH340", "no driver has taken it"},
        {"an unknown chip", no_serial, "", "a USB converter (1234:5678)", ""},
        {"its serial number", with_serial, "", "an FTDI FT-X converter (0403:6015, serial Q42B00)", "no driver"},
    };
    for (const auto& row : rows) {
        SerialSideSeen seen;
        seen.brltty = row.brltty;
        EXPECT_NE(ConverterText(row.converter).find(row.text), std::string::npos) << row.what;
        const std::string trouble = ConverterTrouble(row.converter, seen);
        if (row.trouble.empty()) {
            EXPECT_EQ(trouble, "") << row.what;
        } else {
            EXPECT_NE(trouble.find(row.trouble), std::string::npos) << row.what << ": " << trouble;
        }
    }
}

// SetupAPI's answers as Windows 10 gave them for converters, and for devices that are none.
TEST(SerialCheck, WindowsAnswers) {
    const struct {
        UsbDeviceAnswer answer;
        bool converter;
        std::string text;     // the converter as said
        std::string trouble;  // a part of its trouble; "" when there is none
    } rows[] = {
        {{{"USB\\VID_067B&PID_2303&REV_0300", "USB\\VID_067B&PID_2303"}, "Ser2pl", "", 10},
         true,
         "a Prolific PL2303 converter (067b:2303)",
         "Prolific's driver refuses this chip (code 10)"},
        {{{"USB\\VID_1A86&PID_7523&REV_0264", "USB\\VID_1A86&PID_7523"}, "", "", 28},
         true,
         "a CH340 converter (1a86:7523)",
         "no driver is installed for it (code 28)"},
        {{{"USB\\VID_0403&PID_6001&REV_0600", "USB\\VID_0403&PID_6001"}, "FTDIBUS", "COM5", 0},
         true,
         "an FTDI FT232R converter (0403:6001)",
         ""},
        {{{"usb\\vid_10c4&pid_ea60&rev_0100"}, "silabser", "COM4", 0}, true, "a Silicon Labs CP210x converter", ""},
        // An unknown chip that Windows' own serial driver took.
        {{{"USB\\VID_2E8A&PID_000A&REV_0100&MI_00"}, "usbser", "COM7", 0}, true, "a USB converter (2e8a:000a)", ""},
        {{{"USB\\VID_046D&PID_C52B&REV_1211"}, "HidUsb", "", 0}, false, "", ""},
        {{{"USB\\ROOT_HUB30"}, "USBHUB3", "", 0}, false, "", ""},
        {{{"USB\\VID_10C4&PID_EA6"}, "", "", 28}, false, "", ""},
        {{{"HID\\VID_1A86&PID_7523"}, "", "", 0}, false, "", ""},
    };
    for (const auto& row : rows) {
        const std::string first = row.answer.hardware_ids.front();
        ConverterSeen converter;
        ASSERT_EQ(ConverterFromAnswer(row.answer, converter), row.converter) << first;
        if (!row.converter) continue;
        EXPECT_EQ(converter.port, row.answer.port) << first;
        EXPECT_NE(ConverterText(converter).find(row.text), std::string::npos) << first;
        const std::string trouble = ConverterTrouble(converter, SerialSideSeen{});
        if (row.trouble.empty()) {
            EXPECT_EQ(trouble, "") << first;
        } else {
            EXPECT_NE(trouble.find(row.trouble), std::string::npos) << first << ": " << trouble;
        }
    }
}

TEST(SerialCheck, PortsCauses) {
    const struct {
        const char* what;
        PortSeen port;
        std::string trouble;  // a part of it; "" when there is none
    } rows[] = {
        {"free", {"/dev/ttyUSB0", "", true, "", false}, ""},
        {"ModemManager",
         {"/dev/ttyUSB0", "ModemManager (pid 640)", true, "", false},
         "probing it for a modem: stop it"},
        {"ModemManager second",
         {"/dev/ttyUSB0", "cat (pid 5), ModemManager (pid 640)", true, "", false},
         "ID_MM_DEVICE_IGNORE=1"},
        {"a name that only starts so",
         {"/dev/ttyUSB0", "ModemManagerX (pid 3)", true, "", false},
         "has it open: end it"},
        {"no group opens it", {"/dev/ttyS0", "", false, "", false}, "ask the computer's administrator"},
        {"outside the group",
         {"/dev/ttyUSB0", "", false, "dialout", false},
         "`sudo usermod -aG dialout $USER`, then log out"},
        {"in the group, not this login",
         {"/dev/ttyUSB0", "", false, "uucp", true},
         "in the group uucp that may open it, but not in this login"},
    };
    for (const auto& row : rows) {
        const std::string trouble = PortTrouble(row.port);
        if (row.trouble.empty()) {
            EXPECT_EQ(trouble, "") << row.what;
        } else {
            EXPECT_NE(trouble.find(row.trouble), std::string::npos) << row.what << ": " << trouble;
        }
    }
}

TEST(SerialCheck, AFailedOpenNamesWhatTheCheckFound) {
    SerialSideSeen seen;
    seen.converters.push_back(Converter(0x0403, 0x6001, "/dev/ttyUSB1"));
    ConverterSeen claimed = Converter(0x1a86, 0x7523, "");
    claimed.claimed_by = "brltty (pid 812)";
    seen.converters.push_back(claimed);
    seen.ports.push_back(PortSeen{"/dev/ttyUSB1", "minicom (pid 9)", true, "", false});
    EXPECT_EQ(PortCause(seen, "/dev/ttyUSB0", true),
              "/dev/ttyUSB0 is missing: a CH340 converter (1a86:7523) is plugged in, but brltty (pid 812) has claimed "
              "it; `sudo apt remove brltty`, or unplug and plug in the cable after stopping it");
    EXPECT_EQ(PortCause(seen, "/dev/ttyUSB1", false),
              "/dev/ttyUSB1: minicom (pid 9) has it open: end it, then try again");
    EXPECT_EQ(PortCause(seen, "/dev/ttyS0", false), "");
    EXPECT_EQ(TakenCause(seen, "/dev/ttyUSB0"), PortCause(seen, "/dev/ttyUSB0", true));
    // Being unplugged, a converter loses its driver before it goes: that took nothing.
    seen.converters.back().claimed_by = "";
    EXPECT_EQ(TakenCause(seen, "/dev/ttyUSB0"), "");
    seen.converters.pop_back();
    EXPECT_EQ(PortCause(seen, "/dev/ttyUSB0", true), "");

    bool in_the_way = false;
    const std::vector<std::string> lines = CheckLines(seen, in_the_way);
    EXPECT_TRUE(in_the_way);
    EXPECT_EQ(lines, (std::vector<std::string>{"/dev/ttyUSB1 on an FTDI FT232R converter (0403:6001)",
                                               "  minicom (pid 9) has it open: end it, then try again"}));
    seen.ports.front().held_by = "";
    CheckLines(seen, in_the_way);
    EXPECT_FALSE(in_the_way);
}

}  // namespace
