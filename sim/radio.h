// The simulated radio as a whole: its mode, power, the control lines of its operator and
// the bytes it receives. Pure: time comes in as an argument and all output goes through
// the RadioLine, so tests drive it with a fake clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/radio_line.h"
#include "sim/sim_options.h"

class Radio {
public:
    Radio(RadioMode mode, RadioLine& line);

    void Receive(const uint8_t* data, size_t count, uint64_t now_ns);

    enum class Control { Done, Quit, Refused };
    // One control line, without its line end. Refused lines say why in error.
    Control HandleControl(const std::string& line, uint64_t now_ns, std::string& error);

private:
    RadioMode mode_;
    RadioLine& line_;
};
