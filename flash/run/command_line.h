// q42flash's command line and exit codes.
#pragma once

#include <string>
#include <vector>

#include "core/radio_record.h"

// --port auto: every port that --list-ports shows.
extern const char kAutoPort[];

struct FlashOptions {
    std::vector<std::string> ports;  // --port DEVICE, as often as given, in that order
    std::string image_path;          // --image FILE: a plain image
    std::string program_path;        // --from PROGRAM.exe: the image in its firmware container
    std::string image_sha256;        // --sha256 DIGEST: the image must have this SHA-256
    bool yes = false;                // --yes: write without asking
    bool force = false;              // --force: write an image whose name is not the radio's
    bool all = false;                // --all: every radio that greets on the ports, all at once
    bool repeat = false;             // --repeat: after each radio, wait for the next on the same port
    long count = 0;                  // --count N: radios in all with --repeat; 0: until stopped
    std::string record_path;         // --record FILE: one JSON line per radio appended
    bool json = false;               // --json: those lines on standard output, the text on standard error
    bool info = false;               // --info: stop after showing the radio's name and version
    long wait_seconds = 0;           // --wait SECONDS for the greeting; 0: until stopped
    bool skip_current = false;       // --skip-current: leave a radio that holds the image's version
    bool ask_label = false;          // --ask-label: read each radio's label before it
    bool bell = false;               // --bell: ring when a radio needs the technician
    bool help = false;
    bool version = false;     // --version
    bool list_ports = false;  // --list-ports: show the serial ports present and end
    bool check = false;       // --check: say what stands between the user and the ports, and end
};

// Parses argv[1..argc-1]; on failure says why in error.
bool ParseCommandLine(int argc, const char* const* argv, FlashOptions& options, std::string& error);

// The usage text (--help), made from the options' rows.
std::string FlashUsage();

// The project's version, as in the Windows programs' version block.
extern const char kFlashVersion[];
