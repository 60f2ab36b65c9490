// Parses q42flash's command line. Each option is one row of kOptions: its name, its value,
// where it goes and its help; the usage text (--help) is made from the rows.
#include "flash/run/command_line.h"

#include "core/firmware_container.h"
#include "flash/run/platform.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>

const char kFlashVersion[] = "1.0.0";

const char kAutoPort[] = "auto";

namespace {

// One option. A switch names flag; an option with a value names value and the one field it
// fills: text, number (a whole number from 1 to 999999, the number's words in number_words)
// or list (as often as given).
struct Option {
    const char* name;
    const char* value;
    bool FlashOptions::*flag;
    std::string FlashOptions::*text;
    long FlashOptions::*number;
    std::vector<std::string> FlashOptions::*list;
    const char* number_words;
    const char* help;  // lines after the first are shown under it
};

// The --image help says the image limit, its digits made from the limit's one home.
struct ImageHelp {
    char text[80];
};

constexpr ImageHelp MakeImageHelp() {
    ImageHelp help{};
    size_t at = 0;
    for (const char* c = "the plain firmware image to write (less than "; *c != '\0'; ++c) help.text[at++] = *c;
    char digits[20]{};
    size_t count = 0;
    for (size_t left = kFirmwareImageSize; left > 0; left /= 10) digits[count++] = static_cast<char>('0' + left % 10);
    while (count > 0) help.text[at++] = digits[--count];
    for (const char* c = " bytes)"; *c != '\0'; ++c) help.text[at++] = *c;
    return help;
}

constexpr ImageHelp kImageHelp = MakeImageHelp();

constexpr Option kOptions[] = {
    {"--list-ports", nullptr, &FlashOptions::list_ports, nullptr, nullptr, nullptr, nullptr,
     "show the serial ports present and what each is (none is opened)"},
    {"--check", nullptr, &FlashOptions::check, nullptr, nullptr, nullptr, nullptr,
     "check the USB serial converters and the ports (none is opened):\n"
     "say what keeps the radio's port from q42flash and what to do"},
    {"--port", "DEVICE", nullptr, nullptr, nullptr, &FlashOptions::ports, nullptr,
     "the port the radio's cable is on: /dev/ttyUSB0 on Linux,\n"
     "/dev/cu.usbserial-... on macOS, COM3 on Windows. Given more\n"
     "than once, or as --port auto (every port --list-ports shows),\n"
     "q42flash listens on each, sends nothing, and takes the one the\n"
     "radio greets on; DEVICE=NAME names a bench position for the\n"
     "board and the record"},
    {"--image", "FILE", nullptr, &FlashOptions::image_path, nullptr, nullptr, nullptr, kImageHelp.text},
    {"--from", "PROGRAM.exe", nullptr, &FlashOptions::program_path, nullptr, nullptr, nullptr,
     "the image carried inside a packed Q42Update.exe"},
    {"--sha256", "DIGEST", nullptr, &FlashOptions::image_sha256, nullptr, nullptr, nullptr,
     "write the image only if its SHA-256 is DIGEST (64 hexadecimal\n"
     "digits, as published beside it)"},
    {"--yes", nullptr, &FlashOptions::yes, nullptr, nullptr, nullptr, nullptr, "write without asking first"},
    {"--force", nullptr, &FlashOptions::force, nullptr, nullptr, nullptr, nullptr,
     "write even an image whose application name is not the radio's\n"
     "(or that carries none); without it such an image is refused"},
    {"--info", nullptr, &FlashOptions::info, nullptr, nullptr, nullptr, nullptr,
     "show the radio's application and version, write nothing"},
    {"--wait", "SECONDS", nullptr, nullptr, &FlashOptions::wait_seconds, nullptr, "a whole number of seconds",
     "give up when the radio has not greeted within SECONDS\n"
     "(without it, q42flash waits until stopped with Ctrl-C)"},
    {"--all", nullptr, &FlashOptions::all, nullptr, nullptr, nullptr, nullptr,
     "with several ports: every radio that greets is updated, all\n"
     "at once, each with its own line; the question is asked once"},
    {"--repeat", nullptr, &FlashOptions::repeat, nullptr, nullptr, nullptr, nullptr,
     "after each radio, say \"Connect the next radio and switch it on\"\n"
     "and wait for it on the same port, until Ctrl-C; a table at the end"},
    {"--count", "N", nullptr, nullptr, &FlashOptions::count, nullptr, "a number of radios",
     "with --repeat: stop after N radios"},
    {"--record", "FILE", nullptr, &FlashOptions::record_path, nullptr, nullptr, nullptr,
     "append one JSON line per radio to FILE (time, port, the radio's\n"
     "application and version, the image's version and SHA-256,\n"
     "result, frames, bytes, seconds, exit code), on the disk at once"},
    {"--skip-current", nullptr, &FlashOptions::skip_current, nullptr, nullptr, nullptr, nullptr,
     "leave a radio that already reports the image's application and\n"
     "version as it is (\"already current\")"},
    {"--ask-label", nullptr, &FlashOptions::ask_label, nullptr, nullptr, nullptr, nullptr,
     "before each radio, read its label from standard input (a barcode\n"
     "scanner types a line) into the record; an empty line skips it"},
    {"--bell", nullptr, &FlashOptions::bell, nullptr, nullptr, nullptr, nullptr,
     "ring the terminal's bell when a radio fails and when the bench is done"},
    {"--json", nullptr, &FlashOptions::json, nullptr, nullptr, nullptr, nullptr,
     "print those lines on standard output as each radio ends; the\n"
     "radio's lines then go to standard error"},
    {"--version", nullptr, &FlashOptions::version, nullptr, nullptr, nullptr, nullptr, "show q42flash's version"},
};

constexpr char kUsageHead[] =
    "usage: q42flash --port DEVICE[=NAME]... [--image FILE | --from PROGRAM.exe] [--yes]\n"
    "                [--force] [--info] [--wait SECONDS] [--all] [--repeat [--count N]]\n"
    "                [--skip-current] [--ask-label] [--bell] [--record FILE] [--json]\n"
    "                [--sha256 DIGEST]\n"
    "       q42flash --list-ports | --check\n"
    "       q42flash --help | --version\n";

constexpr char kUsageStop[] =
    "Switch the radio on after starting q42flash. Ctrl-C ends the wait for the radio;\n"
    "during a write it is held until the write ends (a second Ctrl-C stops at once and\n"
    "leaves the radio half-written: it must then be written again).\n"
    "Exit codes: 0 written (or, with --info, shown), 1 write failed, 2 wrong use or\n"
    "unreadable input, 3 no radio (no greeting within --wait, no header), 4 the port\n"
    "cannot be used, 5 not written because the question was not answered yes, 6 not\n"
    "written because the image is not for the radio's application (see --force),\n"
    "7 a record line could not be written whole (--record, --json), 8 not written\n"
    "because the image is damaged (it does not match its SHA-256), ";

constexpr char kUsageEnd[] =
    ".\nWith several radios: 0 when every one was written, else the first failure's code\n"
    "in the table's order; with --all every port named gets a row, \"no radio\" (3)\n"
    "where none greeted.\n";

// The help's first line starts in this column, and its others under it.
constexpr size_t kHelpColumn = 21;

bool ParseWholeNumber(const std::string& text, long& out) {
    if (text.empty() || text.size() > 6) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    out = std::strtol(text.c_str(), nullptr, 10);
    return out > 0;
}

// Windows numbers its ports COM1 to COM256, and opens no other COMn; elsewhere no device is
// named so, so the name is refused as given on every system rather than looked for.
constexpr long kHighestComPort = 256;

bool IsComNameOutOfRange(const std::string& port) {
    const std::string device = port.substr(0, port.find('='));
    const size_t start = device.compare(0, 4, "\\\\.\\") == 0 ? 4 : 0;
    if (device.size() <= start + 3) return false;
    for (size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(device[start + i])) != "COM"[i]) return false;
    }
    const std::string digits = device.substr(start + 3);
    if (digits.find_first_not_of("0123456789") != std::string::npos) return false;
    const long number = digits.size() > 3 ? 0 : std::strtol(digits.c_str(), nullptr, 10);
    return number < 1 || number > kHighestComPort;
}

}  // namespace

std::string FlashUsage() {
    std::string usage = kUsageHead + std::string("Writes new firmware into a Q42 radio through a serial port (") +
                        LinkSettingsWords() + ").\n";
    for (const Option& option : kOptions) {
        std::string left = std::string("  ") + option.name + (option.value ? std::string(" ") + option.value : "");
        left.resize(std::max(left.size() + 1, kHelpColumn), ' ');
        usage += left;
        for (const char* c = option.help; *c != '\0'; ++c) {
            usage += *c;
            if (*c == '\n') usage += std::string(kHelpColumn, ' ');
        }
        usage += '\n';
    }
    return usage + PortHelp() + kUsageStop + StopStatusHelp() + kUsageEnd;
}

bool ParseCommandLine(int argc, const char* const* argv, FlashOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h" || arg == "/?") {
            options.help = true;
            return true;
        }
        const Option* option =
            std::find_if(std::begin(kOptions), std::end(kOptions), [&arg](const Option& o) { return arg == o.name; });
        if (option == std::end(kOptions)) {
            error = "unknown option " + arg;
            return false;
        }
        if (option->flag != nullptr) {
            options.*(option->flag) = true;
            if (option->flag == &FlashOptions::version) return true;
            continue;
        }
        if (i + 1 == argc || argv[i + 1][0] == '\0') {
            error = arg + " needs a value";
            return false;
        }
        const std::string given = argv[++i];
        if (option->text != nullptr) options.*(option->text) = given;
        // DEVICE=NAME names a bench position; a device's own name holds no "=".
        if (option->list == &FlashOptions::ports && given.front() == '=') {
            error = arg + " " + given + " names no device before its \"=\"";
            return false;
        }
        if (option->list == &FlashOptions::ports && IsComNameOutOfRange(given)) {
            error = arg + " " + given + " names no port: Windows numbers its ports COM1 to COM" +
                    std::to_string(kHighestComPort);
            return false;
        }
        if (option->list != nullptr) (options.*(option->list)).push_back(given);
        if (option->number != nullptr && !ParseWholeNumber(given, options.*(option->number))) {
            error = arg + " takes " + option->number_words + " from 1 to 999999, not " + given;
            return false;
        }
    }
    if (options.list_ports || options.check) {
        if (argc == 2) return true;
        error = std::string(options.check ? "--check" : "--list-ports") + " takes no other option";
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
    if (options.ask_label && options.all) {
        error = "--ask-label goes with one port at a time, not with --all";
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
