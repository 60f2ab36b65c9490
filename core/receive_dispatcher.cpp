// The receive dispatcher's choice of one consumer per notification.
#include "core/receive_dispatcher.h"

#include <algorithm>

void DispatchReceived(ReceivePath& path, int32_t count, BootLink& link, StatusReceiver& status, uint8_t* buffer) {
    if (path.TerminalShowing()) {
        path.TerminalReceive(count);
        return;
    }
    if (link.UpdateActive) {
        const int32_t got = path.Read(buffer, std::clamp(count, 0, kUpdateReadCap));
        for (int32_t i = 0; i < got; ++i) link.HandleBootByte(buffer[i]);
        return;
    }
    const int32_t got = path.Read(buffer, std::clamp(count, 0, kStatusReadCap));
    for (int32_t i = 0; i < got; ++i) status.HandleStatusByte(buffer[i]);
}
