// The simulated radio as a whole: its mode, power, the control lines of its operator and
// the bytes it receives. Pure: time comes in as an argument and all output goes through
// the RadioLine, so tests drive it with a fake clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "sim/bootloader.h"
#include "sim/header_block.h"
#include "sim/radio_line.h"
#include "sim/sim_options.h"

struct RadioSetup {
    RadioMode mode = RadioMode::Boot;
    uint32_t status_period_ms = 0;  // app mode: a type-5 packet this often; 0 for none
    Faults faults;
    uint8_t header[kHeaderSize] = {};
};

class Radio {
public:
    Radio(const RadioSetup& setup, RadioLine& line);

    // Switching on a radio that is on restarts it.
    void PowerOn(uint64_t now_ns);
    void PowerOff(uint64_t now_ns);
    void Receive(const uint8_t* data, size_t count, uint64_t now_ns);
    // Does what is due by now; call it when NextDeadline() has come.
    void Tick(uint64_t now_ns);
    uint64_t NextDeadline() const;

    enum class Control { Done, Quit, Refused };
    // One control line, without its line end. Refused lines say why in error.
    Control HandleControl(const std::string& line, uint64_t now_ns, std::string& error);

    const Bootloader& bootloader() const { return bootloader_; }

private:
    // Sends one packet of a known type; false for any other type.
    bool SendStatus(uint8_t type, uint64_t now_ns);

    RadioMode mode_;
    RadioLine& line_;
    bool powered_ = false;
    uint64_t status_period_ns_;
    uint64_t next_status_ns_ = UINT64_MAX;
    uint8_t sequence_ = 0;
    Bootloader bootloader_;
};
