// Parses q42flash's command line; kFlashUsage says what each option does.
#include "flash/run/command_line.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

const char kFlashVersion[] = "1.0.0";

const char kAutoPort[] = "auto";

const char kFlashUsage[] =
    "usage: q42flash --port DEVICE... [--image FILE | --from PROGRAM.exe] [--yes] [--force]\n"
    "                [--info] [--wait SECONDS] [--all] [--repeat [--count N]]\n"
    "                [--record FILE] [--json]\n"
    "       q42flash --list-ports\n"
    "       q42flash --help | --version\n"
    "Writes new firmware into a Q42 radio through a serial port (9600 baud 8N1).\n"
    "  --list-ports       show the serial ports present and what each is (none is opened)\n"
    "  --port DEVICE      the port the radio's cable is on: /dev/ttyUSB0 on Linux,\n"
    "                     /dev/cu.usbserial-... on macOS. Given more than once, or as\n"
    "                     --port auto (every port --list-ports shows), q42flash listens\n"
    "                     on each, sends nothing, and takes the one the radio greets on\n"
    "  --image FILE       the plain firmware image to write (less than 262144 bytes)\n"
    "  --from PROGRAM.exe the image carried inside a packed Q42Update.exe\n"
    "  --yes              write without asking first\n"
    "  --force            write even an image whose application name is not the radio's\n"
    "                     (or that carries none); without it such an image is refused\n"
    "  --info             show the radio's application and version, write nothing\n"
    "  --wait SECONDS     give up when the radio has not greeted within SECONDS\n"
    "                     (without it, q42flash waits until stopped with Ctrl-C)\n"
    "  --all              with several ports: every radio that greets is updated, all\n"
    "                     at once, each with its own line; the question is asked once\n"
    "  --repeat           after each radio, say \"Connect the next radio and switch it on\"\n"
    "                     and wait for it on the same port, until Ctrl-C; a table at the end\n"
    "  --count N          with --repeat: stop after N radios\n"
    "  --record FILE      append one JSON line per radio to FILE (time, port, the radio's\n"
    "                     application and version, the image's version and SHA-256,\n"
    "                     result, frames, bytes, seconds, exit code), on the disk at once\n"
    "  --json             print those lines on standard output as each radio ends; the\n"
    "                     radio's lines then go to standard error\n"
    "  --version          show q42flash's version\n"
    "Finding the port: q42flash --list-ports before and after plugging the cable in;\n"
    "on Linux the names in /dev/serial/by-id/ stay the same whichever USB socket the\n"
    "converter is in. Opening the port needs membership of its group, dialout on most\n"
    "Linux systems: sudo usermod -aG dialout $USER, then log in again.\n"
    "Switch the radio on after starting q42flash. Ctrl-C ends the wait for the radio;\n"
    "during a write it is held until the write ends (a second Ctrl-C stops at once and\n"
    "leaves the radio half-written: it must then be written again).\n"
    "Exit codes: 0 written (or, with --info, shown), 1 write failed, 2 wrong use or\n"
    "unreadable input, 3 no radio (no greeting within --wait, no header), 4 the port\n"
    "cannot be used, 5 not written because the question was not answered yes, 6 not\n"
    "written because the image is not for the radio's application (see --force),\n"
    "130 stopped with Ctrl-C (128 + the signal's number for SIGTERM and SIGHUP).\n"
    "With several radios: 0 when every one was written, else the first failure's code.\n";

namespace {

// The options that take no value and only switch something on.
struct Flag {
    const char* name;
    bool FlashOptions::*field;
};
constexpr Flag kFlags[] = {
    {"--yes", &FlashOptions::yes},
    {"--all", &FlashOptions::all},
    {"--repeat", &FlashOptions::repeat},
    {"--json", &FlashOptions::json},
    {"--force", &FlashOptions::force},
    {"--info", &FlashOptions::info},
    {"--list-ports", &FlashOptions::list_ports},
};

bool ParseWholeNumber(const std::string& text, long& out) {
    if (text.empty() || text.size() > 6) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    out = std::strtol(text.c_str(), nullptr, 10);
    return out > 0;
}

}  // namespace

bool ParseCommandLine(int argc, const char* const* argv, FlashOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return true;
        }
        if (arg == "--version") {
            options.version = true;
            return true;
        }
        const auto flag =
            std::find_if(std::begin(kFlags), std::end(kFlags), [&arg](const Flag& f) { return arg == f.name; });
        if (flag != std::end(kFlags)) {
            options.*(flag->field) = true;
            continue;
        }
        std::string* value = nullptr;
        if (arg == "--port") value = &options.ports.emplace_back();
        if (arg == "--image") value = &options.image_path;
        if (arg == "--from") value = &options.program_path;
        if (arg == "--record") value = &options.record_path;
        if (value == nullptr && arg != "--wait" && arg != "--count") {
            error = "unknown option " + arg;
            return false;
        }
        if (i + 1 == argc || argv[i + 1][0] == '\0') {
            error = arg + " needs a value";
            return false;
        }
        const std::string given = argv[++i];
        if (value != nullptr) {
            *value = given;
        } else if (arg == "--count") {
            if (!ParseWholeNumber(given, options.count)) {
                error = "--count takes a number of radios from 1 to 999999, not " + given;
                return false;
            }
        } else if (!ParseWholeNumber(given, options.wait_seconds)) {
            error = "--wait takes a whole number of seconds from 1 to 999999, not " + given;
            return false;
        }
    }
    if (options.list_ports) {
        if (argc == 2) return true;
        error = "--list-ports takes no other option";
        return false;
    }
    if (options.ports.empty()) {
        error = "name the radio's port with --port DEVICE (q42flash --list-ports shows the ports)";
        return false;
    }
    if (!options.image_path.empty() && !options.program_path.empty()) {
        error = "give --image or --from, not both";
        return false;
    }
    if (options.count > 0 && !options.repeat) {
        error = "--count goes with --repeat";
        return false;
    }
    if (!options.info && options.image_path.empty() && options.program_path.empty()) {
        error = "name the firmware with --image FILE or --from PROGRAM.exe (or use --info)";
        return false;
    }
    return true;
}
