// Where the bytes of one received-characters notification go: to the terminal window while
// it is showing (it reads them itself), else to the bootloader link while an update is
// active, else to the status packet receiver. Bytes beyond a branch's cap stay in the port's
// queue and are read at the next notification.
#pragma once

#include <cstdint>

#include "core/boot_link.h"
#include "core/status_receiver.h"

// What the dispatcher needs of the program around it: the port to read, and the terminal.
class ReceivePath {
public:
    // Takes at most count received bytes into buffer; the number taken, or -1.
    virtual int32_t Read(uint8_t* buffer, int32_t count) = 0;
    virtual bool TerminalShowing() const = 0;
    // The terminal's own handler of the notification.
    virtual void TerminalReceive(int32_t count) = 0;

protected:
    ~ReceivePath() = default;
};

// The most bytes read per notification, by branch.
constexpr int32_t kUpdateReadCap = 10000;
constexpr int32_t kStatusReadCap = 1000;

// buffer holds kUpdateReadCap bytes; its content counts only during this call.
void DispatchReceived(ReceivePath& path, int32_t count, BootLink& link, StatusReceiver& status, uint8_t* buffer);
