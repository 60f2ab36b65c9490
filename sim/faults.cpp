// Parses the fault names of the command line and of the "fault" control line.
#include "sim/faults.h"

#include <cstdlib>

namespace {

bool ParseFrameNumber(const std::string& text, int& out) {
    if (text.empty() || text.size() > 6) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    out = std::atoi(text.c_str());
    return true;
}

}  // namespace

bool ApplyFault(const std::string& text, Faults& faults, std::string& error) {
    const size_t eq = text.find('=');
    const std::string kind = text.substr(0, eq);
    const bool has_number = eq != std::string::npos;

    struct Flag {
        const char* name;
        bool Faults::*field;
    };
    static const Flag kFlags[] = {
        {"stray-bytes", &Faults::stray_bytes},   {"bad-greeting", &Faults::bad_greeting},
        {"no-hash", &Faults::no_hash},           {"silent-header", &Faults::silent_header},
        {"short-header", &Faults::short_header},
    };
    struct Counted {
        const char* name;
        int Faults::*field;
    };
    static const Counted kCounted[] = {
        {"nack", &Faults::nack_at},
        {"no-ack", &Faults::no_ack_at},
        {"hangup", &Faults::hangup_at},
    };

    if (kind == "none" && !has_number) {
        faults = Faults{};
        return true;
    }
    for (const Flag& f : kFlags) {
        if (kind != f.name) continue;
        if (has_number) {
            error = "fault " + kind + " takes no frame number";
            return false;
        }
        faults.*f.field = true;
        return true;
    }
    for (const Counted& c : kCounted) {
        if (kind != c.name) continue;
        int k = 0;
        if (!has_number || !ParseFrameNumber(text.substr(eq + 1), k)) {
            error = "fault " + kind + " needs a frame number, as in " + kind + "=3";
            return false;
        }
        faults.*c.field = k;
        return true;
    }
    error = "unknown fault \"" + text + "\"";
    return false;
}
