// What the simulated radio needs from the world around it: a line to the program and a
// place to report events. The executable wires it to the pseudo-terminal and stdout; tests
// hand in a recorder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Event lines give times as milliseconds since start with three decimals, "12.345": fine
// enough to time a handshake that takes well under a millisecond.
struct EventTime {
    explicit EventTime(uint64_t ns) {
        std::snprintf(text, sizeof text, "%llu.%03u", static_cast<unsigned long long>(ns / 1000000),
                      static_cast<unsigned>(ns / 1000 % 1000));
    }
    char text[32];
};

class RadioLine {
public:
    // Sends bytes to the program; returns the time (ns since start) at which the last of
    // them reaches it.
    virtual uint64_t Send(const uint8_t* data, size_t count, uint64_t now_ns) = 0;
    // Forgets bytes that have not yet gone out (the radio was switched off).
    virtual void DropPending() = 0;
    // One event, without the "event " prefix, e.g. "ack block=3 value=13".
    virtual void Report(const char* event) = 0;
    // Closes the line for good, as a pulled cable would.
    virtual void HangUp() = 0;

protected:
    ~RadioLine() = default;
};
