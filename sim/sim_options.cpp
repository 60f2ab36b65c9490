// Parses the simulated radio's command line; see kUsage for what each option does.
#include "sim/sim_options.h"

#include <cstdlib>

const char kUsage[] =
    "usage: q42sim (--link PATH | --device DEV) [options]\n"
    "  --link PATH          make a pseudo-terminal and a symlink PATH to it\n"
    "  --device DEV         use an existing serial device instead\n"
    "  --mode boot|app|loopback   what the radio does (default boot)\n"
    "  --status-period MS   app mode: send a type-5 status packet every MS ms\n"
    "  --name NAME          boot: application name in the header (up to 5 characters)\n"
    "  --version VER        boot: version in the header (up to 6 characters)\n"
    "  --name-length N      boot: header's name length byte (default: the name's length)\n"
    "  --version-length N   boot: header's version length byte\n"
    "  --image FILE         boot: take the header from the first 256 bytes of an image\n"
    "  --flash-out FILE     boot: write the received image there at the end\n"
    "  --power-on           boot: send the greeting at start (else wait for \"on\")\n"
    "  --baud N             pace the line as a cable at N baud, 8N1\n"
    "  --fault KIND[=K]     stray-bytes, bad-greeting, no-hash, silent-header,\n"
    "                       short-header, nack=K, no-ack=K, hangup=K (repeatable)\n"
    "control lines on stdin: on, off, status N, fault KIND[=K], fault none, save FILE, erase, quit\n";

namespace {

bool ParseNumber(const std::string& text, uint32_t max, uint32_t& out) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    const unsigned long value = std::strtoul(text.c_str(), nullptr, 10);
    if (value > max) return false;
    out = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, SimOptions& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return true;
        }
        if (arg == "--power-on") {
            options.power_on = true;
            continue;
        }
        if (i + 1 >= argc) {
            error = "option " + arg + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        uint32_t number = 0;
        if (arg == "--link") {
            options.link_path = value;
        } else if (arg == "--device") {
            options.device = value;
        } else if (arg == "--mode") {
            if (value == "boot") {
                options.mode = RadioMode::Boot;
            } else if (value == "app") {
                options.mode = RadioMode::App;
            } else if (value == "loopback") {
                options.mode = RadioMode::Loopback;
            } else {
                error = "mode must be boot, app or loopback, not \"" + value + "\"";
                return false;
            }
        } else if (arg == "--status-period") {
            if (!ParseNumber(value, 3600000, number)) {
                error = "status period must be a number of milliseconds";
                return false;
            }
            options.status_period_ms = number;
        } else if (arg == "--name") {
            if (value.size() > 5) {
                error = "the name has at most 5 characters";
                return false;
            }
            options.name = value;
            options.name_given = true;
        } else if (arg == "--version") {
            if (value.size() > 6) {
                error = "the version has at most 6 characters";
                return false;
            }
            options.version = value;
            options.version_given = true;
        } else if (arg == "--name-length" || arg == "--version-length") {
            if (!ParseNumber(value, 255, number)) {
                error = arg + " must be a byte value, 0 to 255";
                return false;
            }
            (arg == "--name-length" ? options.name_length : options.version_length) = static_cast<int>(number);
        } else if (arg == "--image") {
            options.image_path = value;
        } else if (arg == "--flash-out") {
            options.flash_out = value;
        } else if (arg == "--baud") {
            if (!ParseNumber(value, 4000000, number) || number < 50) {
                error = "baud rate must be a number from 50 to 4000000";
                return false;
            }
            options.baud = number;
        } else if (arg == "--fault") {
            if (!ApplyFault(value, options.faults, error)) return false;
        } else {
            error = "unknown option " + arg;
            return false;
        }
    }
    if (options.link_path.empty() == options.device.empty()) {
        error = "give either --link PATH or --device DEV";
        return false;
    }
    if (!options.image_path.empty() && (options.name_given || options.version_given)) {
        error = "--image takes the name and version from the image; drop --name and --version";
        return false;
    }
    return true;
}
