// Faults that the simulated radio can be told to commit, so that tests can see how the
// program copes with a radio that misbehaves. Set from the command line or at run time.
#pragma once

#include <string>

struct Faults {
    bool stray_bytes = false;    // bytes ahead of the greeting
    bool bad_greeting = false;   // "O", "O", "K", CR
    bool no_hash = false;        // the programming command is not acknowledged
    bool silent_header = false;  // no reply to the header read
    bool short_header = false;   // only 200 of the 256 header bytes
    // Frame numbers count the write frames received since power-on, from 0; -1 is off.
    int nack_at = -1;    // answer 0x15 to that frame
    int no_ack_at = -1;  // answer nothing to that frame
    int hangup_at = -1;  // close the line when that frame begins
};

// Applies "KIND" or "KIND=K" (or "none", which clears every fault). On failure returns
// false and says why in error.
bool ApplyFault(const std::string& text, Faults& faults, std::string& error);
