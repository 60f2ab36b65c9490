// The radio's serial port on Linux and macOS: opened exclusively, raw 9600 baud 8N1 without
// flow control, non-blocking; the line settings found are put back when it is closed.
#pragma once

#include <termios.h>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

enum class PortOpenResult { Opened, Missing, Busy, NoPermission, NotTerminal, Failed };

class SerialPort {
public:
    SerialPort() = default;
    ~SerialPort() { Close(); }
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Says whether the port may be taken, once it is known to be a terminal and before any of
    // its settings is changed; false, with the reason in error, refuses it as busy.
    using Vetting = std::function<bool(std::string& error)>;

    // On failure error says why, in the user's words with the system's reason.
    PortOpenResult Open(const std::string& device, std::string& error, const Vetting& may_take = {});
    // Puts back the settings that Open changed (after what was written has left) and closes.
    void Close();

    // Takes up to capacity bytes that have arrived, without waiting. Returns the count, or -1
    // once the line has hung up (the other end closed, the converter unplugged).
    long Read(uint8_t* buffer, size_t capacity);
    // Writes all count bytes, waiting while the port's queue is full; false if the line hung
    // up or the port took nothing for a whole second (the rest is then dropped).
    bool Write(const uint8_t* data, size_t count);

    int fd() const { return fd_; }

private:
    int fd_ = -1;
    bool settings_changed_ = false;
    bool exclusive_set_ = false;
    termios saved_{};
};
