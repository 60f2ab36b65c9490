// Dispatches received bytes and control lines by the radio's mode.
#include "sim/radio.h"

Radio::Radio(RadioMode mode, RadioLine& line) : mode_(mode), line_(line) {}

void Radio::Receive(const uint8_t* data, size_t count, uint64_t now_ns)
{
    // A cable with pins 2 and 3 shorted: whatever the program sends comes straight back.
    if (mode_ == RadioMode::Loopback) line_.Send(data, count, now_ns);
}

Radio::Control Radio::HandleControl(const std::string& line, uint64_t, std::string& error)
{
    if (line == "quit") return Control::Quit;
    error = "unknown control line \"" + line + "\"";
    return Control::Refused;
}
