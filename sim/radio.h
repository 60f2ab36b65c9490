// The simulated radio as a whole: its mode, power, the control lines of its operator and
// the bytes it receives, which reach its logic at the pace of the cable. Pure: time comes in
// as an argument and all output goes through the RadioLine, so tests use a fake clock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "sim/bootloader.h"
#include "sim/header_block.h"
#include "sim/line_pacer.h"
#include "sim/radio_line.h"
#include "sim/sim_options.h"

struct RadioSetup {
    RadioMode mode = RadioMode::Boot;
    uint32_t status_period_ms = 0;  // app mode: a type-5 packet this often; 0 for none
    uint32_t receive_baud = 0;      // what the program sends arrives as over this cable; 0: at once
    Faults faults;
    uint8_t header[kHeaderSize] = {};
};

class Radio {
public:
    Radio(const RadioSetup& setup, RadioLine& line);

    // Switching on a radio that is on restarts it.
    void PowerOn(uint64_t now_ns);
    void PowerOff(uint64_t now_ns);
    // Bytes from the program, as they leave it at now_ns. Each reaches the radio's logic once
    // its 10 bits have passed on the cable, stamped with that time. Returns how many fitted.
    size_t Receive(const uint8_t* data, size_t count, uint64_t now_ns);
    size_t ReceiveRoom() const { return inbound_->Free(); }
    size_t ReceivePending() const { return inbound_->Pending(); }
    // Does what is due by now; call it when NextDeadline() has come.
    void Tick(uint64_t now_ns);
    uint64_t NextDeadline() const;

    enum class Control { Done, Quit, Refused };
    // One control line, without its line end. Refused lines say why in error.
    Control HandleControl(const std::string& line, uint64_t now_ns, std::string& error);

    const Bootloader& bootloader() const { return bootloader_; }

private:
    // Hands the bytes that have arrived by now to the logic of the radio's mode.
    void DeliverArrived(uint64_t now_ns);
    // Sends one packet of a known type; false for any other type.
    bool SendStatus(uint8_t type, uint64_t now_ns);

    RadioMode mode_;
    RadioLine& line_;
    bool powered_ = false;
    uint64_t status_period_ns_;
    uint64_t next_status_ns_ = UINT64_MAX;
    uint8_t sequence_ = 0;
    std::unique_ptr<LinePacer> inbound_;  // bytes from the program still on the cable
    Bootloader bootloader_;
};
