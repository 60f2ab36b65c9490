// The radio's end of the serial line: a pseudo-terminal whose slave side the program (under
// Wine) opens through a symlink, or an existing serial device. Non-blocking file descriptor.
#pragma once

#include <cstdint>
#include <string>

class RadioPort {
public:
    RadioPort() = default;
    RadioPort(const RadioPort&) = delete;
    RadioPort& operator=(const RadioPort&) = delete;
    ~RadioPort() { Close(); }

    // Makes a pseudo-terminal in raw mode and points link_path at its slave side (an old
    // symlink there is replaced).
    bool OpenPty(const std::string& link_path, std::string& error);
    // Opens an existing serial device, raw, 8N1 at baud.
    bool OpenDevice(const std::string& device, uint32_t baud, std::string& error);
    // Closes the line and removes the symlink if it still points at our pseudo-terminal.
    void Close();

    int fd() const { return fd_; }
    const std::string& name() const { return name_; }
    // A line with no baud rate of its own: the pseudo-terminal made here, or one given as the
    // device (the far end of a converter that QEMU emulates), which carries bytes at once.
    bool needs_pacing() const { return needs_pacing_; }

private:
    int fd_ = -1;
    // Our own handle on the slave side: while it is open the master never reports a hang-up,
    // so the program may close and reopen the port (Wine does) without losing the line.
    int slave_fd_ = -1;
    bool needs_pacing_ = false;
    std::string name_;
    std::string link_path_;
};
