// The simulated radio's command line.
#pragma once

#include <cstdint>
#include <string>

#include "sim/faults.h"

enum class RadioMode { Boot, App, Loopback };

struct SimOptions {
    std::string link_path;  // --link: symlink to a new pseudo-terminal
    std::string device;     // --device: an existing serial device instead
    RadioMode mode = RadioMode::Boot;
    uint32_t status_period_ms = 0;  // 0: status packets only on command
    std::string name = "Q42NV";
    std::string version = "01.000";
    bool name_given = false;
    bool version_given = false;
    int name_length = -1;     // length byte to put in the header; -1: the name's own length
    int version_length = -1;  // likewise for the version
    std::string image_path;
    std::string flash_out;
    bool power_on = false;
    uint32_t baud = 0;  // 0: no pacing
    Faults faults;
    bool help = false;
};

// Parses argv[1..argc-1]. On failure returns false and says why in error.
bool ParseOptions(int argc, const char* const* argv, SimOptions& options, std::string& error);

extern const char kUsage[];
