// The radio's serial port on Linux and macOS: a terminal device opened exclusively and
// non-blocking, set raw to the radio's link without flow control; the settings found are put back
// when it is closed.
#pragma once

#include <termios.h>

#include <string>

#include "flash/posix/posix_handles.h"
#include "flash/run/platform.h"

class PosixSerialPort final : public SerialPort {
public:
    PosixSerialPort() = default;
    ~PosixSerialPort() override { Close(); }

    PortOpenResult Open(const std::string& device, std::string& error, const PortVetting& may_take);
    void Close() override;
    long Read(uint8_t* buffer, size_t capacity) override;
    bool Write(const uint8_t* data, size_t count) override;

private:
    UniqueFd fd_;
    bool settings_changed_ = false;
    bool exclusive_set_ = false;
    termios saved_{};
};

// The descriptor of a port that OpenSerialPort opened and that is still open, else -1.
int PortDescriptor(const SerialPort* port);
