// The check's judgement and its words; see serial_check.h.
#include "core/serial_check.h"

#include "core/printable_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>

namespace {

// The converters' chips that radio cables carry, by their makers' USB numbers.
constexpr ConverterChip kChips[] = {
    {0x0403, 0x6001, "FTDI FT232R"},
    {0x0403, 0x6010, "FTDI FT2232"},
    {0x0403, 0x6011, "FTDI FT4232"},
    {0x0403, 0x6014, "FTDI FT232H"},
    {0x0403, 0x6015, "FTDI FT-X"},
    {0x067b, 0x2303, "Prolific PL2303"},
    {0x067b, 0x23a3, "Prolific PL2303GC"},
    {0x067b, 0x23c3, "Prolific PL2303GT"},
    {0x067b, 0x23d3, "Prolific PL2303GL"},
    {0x1a86, 0x7523, "CH340"},
    {0x1a86, 0x5523, "CH341"},
    {0x1a86, 0x55d4, "CH9102"},
    {0x10c4, 0xea60, "Silicon Labs CP210x"},
    {0x10c4, 0xea70, "Silicon Labs CP2105"},
    {0x10c4, 0xea71, "Silicon Labs CP2108"},
};

// Linux's drivers, then the services of Windows' own and the chip makers' drivers.
constexpr const char* kSerialDrivers[] = {
    "ftdi_sio", "pl2303", "ch341",    "cp210x",       "cdc_acm",  "usbserial_generic", "usbser",
    "FTDIBUS",  "Ser2pl", "Ser2pl64", "CH341SER_A64", "CH341SER", "silabser",
};

// Device Manager's problem codes that a converter shows, in the user's words.
struct ProblemWords {
    int code;
    const char* words;
};
constexpr ProblemWords kProblems[] = {
    {1, "Windows has no setting for it (code 1): reinstall its driver"},
    {10, "it cannot start (code 10)"},
    {22, "it is disabled in Device Manager (code 22): enable it there"},
    {28, "no driver is installed for it (code 28): install the driver of its chip's maker"},
    {31, "its driver could not be loaded (code 31): reinstall its driver"},
    {43, "Windows stopped it after it reported a fault (code 43): unplug it and plug it in again"},
    {52, "Windows refuses its driver's signature (code 52): install the maker's current driver"},
};

constexpr char kProlificRefused[] =
    "Prolific's driver refuses this chip (code 10), as it refuses older and imitation PL2303 chips: use a cable "
    "with another chip (FTDI, CP210x, CH340), or install the older Prolific driver that still takes it";
constexpr char kBrlttyRemedy[] = "`sudo apt remove brltty`, or unplug and plug in the cable after stopping it";
constexpr char kModemManagerRemedy[] =
    "stop it (`sudo systemctl stop ModemManager`) or give the converter the udev property "
    "ID_MM_DEVICE_IGNORE=1, then try again";

std::string Hex4(uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04x", value);
    return text;
}

// Whether a holder's description, "NAME (pid N), ...", names program.
bool Names(const std::string& holders, const std::string& program) {
    return holders.rfind(program + " (", 0) == 0 || holders.find(", " + program + " (") != std::string::npos;
}

bool IsProlific(const ConverterSeen& converter) { return converter.vendor == 0x067b; }

// The four hex digits after key ("VID_") in id, whatever their case.
bool HexAfter(const std::string& id, const std::string& key, uint16_t& value) {
    std::string upper = id;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    const size_t at = upper.find(key);
    if (at == std::string::npos || upper.size() < at + key.size() + 4) return false;
    unsigned number = 0;
    for (size_t i = at + key.size(); i < at + key.size() + 4; ++i) {
        const char c = upper[i];
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
        number = number * 16 + static_cast<unsigned>(c <= '9' ? c - '0' : c - 'A' + 10);
    }
    value = static_cast<uint16_t>(number);
    return true;
}

}  // namespace

const ConverterChip* FindConverterChip(uint16_t vendor, uint16_t product) {
    const auto found = std::find_if(std::begin(kChips), std::end(kChips), [&](const ConverterChip& chip) {
        return chip.vendor == vendor && chip.product == product;
    });
    return found == std::end(kChips) ? nullptr : found;
}

bool IsSerialDriver(const std::string& driver) {
    return std::find(std::begin(kSerialDrivers), std::end(kSerialDrivers), driver) != std::end(kSerialDrivers);
}

bool ConverterFromAnswer(const UsbDeviceAnswer& answer, ConverterSeen& converter) {
    for (const std::string& id : answer.hardware_ids) {
        if (id.size() < 4 || !std::equal(id.begin(), id.begin() + 4, "USB\\", [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) == b;
            })) {
            continue;
        }
        ConverterSeen seen;
        if (!HexAfter(id, "VID_", seen.vendor) || !HexAfter(id, "PID_", seen.product)) continue;
        if (FindConverterChip(seen.vendor, seen.product) == nullptr && !IsSerialDriver(answer.service)) return false;
        seen.driver = answer.service;
        seen.port = answer.port;
        seen.problem_code = answer.problem_code;
        converter = seen;
        return true;
    }
    return false;
}

std::string ConverterText(const ConverterSeen& converter) {
    const ConverterChip* chip = FindConverterChip(converter.vendor, converter.product);
    // FTDI is said letter by letter: "an FTDI".
    const std::string article = chip != nullptr && chip->name[0] == 'F' ? "an " : "a ";
    std::string text = chip != nullptr ? article + chip->name + " converter" : "a USB converter";
    text += " (" + Hex4(converter.vendor) + ":" + Hex4(converter.product);
    if (!converter.serial_number.empty()) text += ", serial " + PrintableText(converter.serial_number);
    return text + ")";
}

std::string ConverterTrouble(const ConverterSeen& converter, const SerialSideSeen& seen) {
    if (converter.problem_code != 0) {
        if (converter.problem_code == 10 && IsProlific(converter)) return kProlificRefused;
        const auto words = std::find_if(std::begin(kProblems), std::end(kProblems),
                                        [&](const ProblemWords& row) { return row.code == converter.problem_code; });
        if (words != std::end(kProblems)) return words->words;
        return "Device Manager shows a problem with it (code " + std::to_string(converter.problem_code) +
               "): unplug it and plug it in again, or reinstall its driver";
    }
    if (!converter.port.empty()) return "";
    if (!converter.claimed_by.empty()) {
        if (Names(converter.claimed_by, "brltty")) return converter.claimed_by + " has claimed it; " + kBrlttyRemedy;
        return converter.claimed_by + " has claimed it; end it, then unplug and plug in the cable";
    }
    if (!converter.driver.empty() && !IsSerialDriver(converter.driver)) {
        return "the driver " + converter.driver + " has taken it instead of a serial driver";
    }
    if (!seen.brltty.empty()) {
        return "no driver has taken it, and " + seen.brltty + " runs, which takes such converters; " + kBrlttyRemedy;
    }
    if (!converter.driver.empty()) return "its driver " + converter.driver + " has made no port of it yet";
    return "no driver has taken it";
}

std::string PortTrouble(const PortSeen& port) {
    if (!port.denied_group.empty()) {
        if (port.group_after_login) {
            return "you are in the group " + port.denied_group +
                   " that may open it, but not in this login: log out and in again";
        }
        return "you are not in the group " + port.denied_group + " that may open it: `sudo usermod -aG " +
               port.denied_group + " $USER`, then log out and in again";
    }
    if (!port.may_open) return "you may not open it, nor may a group you could join: ask the computer's administrator";
    if (port.held_by.empty()) return "";
    if (Names(port.held_by, "ModemManager")) {
        return port.held_by + " has it open, probing it for a modem: " + kModemManagerRemedy;
    }
    return port.held_by + " has it open: end it, then try again";
}

std::vector<std::string> CheckLines(const SerialSideSeen& seen, bool& in_the_way) {
    in_the_way = false;
    std::vector<std::string> lines;
    const auto add = [&](const std::string& what, const std::string& trouble) {
        lines.push_back(what + (trouble.empty() ? ": ready" : ""));
        if (trouble.empty()) return;
        lines.push_back("  " + trouble);
        in_the_way = true;
    };
    for (const ConverterSeen& converter : seen.converters) {
        const std::string text = ConverterText(converter);
        const std::string trouble = ConverterTrouble(converter, seen);
        if (converter.port.empty() || !trouble.empty()) {
            add(text + (converter.port.empty() ? ", without a port" : " on " + converter.port), trouble);
        }
    }
    for (const PortSeen& port : seen.ports) {
        const auto converter = std::find_if(seen.converters.begin(), seen.converters.end(),
                                            [&](const ConverterSeen& one) { return one.port == port.port; });
        const std::string on = converter == seen.converters.end() ? "" : " on " + ConverterText(*converter);
        add(port.port + on, PortTrouble(port));
    }
    if (seen.converters.empty() && seen.ports.empty()) {
        lines.push_back("no USB serial converter is plugged in, and no serial port is present");
        in_the_way = true;
    }
    if (!seen.modem_manager.empty() && !in_the_way) {
        lines.push_back(seen.modem_manager + " runs: it may open a converter just plugged in for a while");
    }
    return lines;
}

namespace {

std::string MissingText(const std::string& port, const ConverterSeen& converter, const SerialSideSeen& seen) {
    return port + " is missing: " + ConverterText(converter) + " is plugged in, but " +
           ConverterTrouble(converter, seen);
}

}  // namespace

std::string PortCause(const SerialSideSeen& seen, const std::string& port, bool missing) {
    if (missing) {
        for (const ConverterSeen& converter : seen.converters) {
            if (!converter.port.empty()) continue;
            return MissingText(port, converter, seen);
        }
        return "";
    }
    const auto found =
        std::find_if(seen.ports.begin(), seen.ports.end(), [&](const PortSeen& one) { return one.port == port; });
    if (found == seen.ports.end()) return "";
    const std::string trouble = PortTrouble(*found);
    return trouble.empty() ? "" : port + ": " + trouble;
}

std::string TakenCause(const SerialSideSeen& seen, const std::string& port) {
    for (const ConverterSeen& converter : seen.converters) {
        const bool taken =
            !converter.claimed_by.empty() || (!converter.driver.empty() && !IsSerialDriver(converter.driver));
        if (converter.port.empty() && taken) {
            return MissingText(port, converter, seen);
        }
    }
    return "";
}
