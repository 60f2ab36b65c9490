// The status packet receiver: one byte at a time, state kept between receive events.
// Runs on the user-interface thread inside the main window's receive handler.
#include "core/status_receiver.h"

namespace {

enum : uint8_t {
    kAwaitStart = 0,
    kAwaitSecondStart = 1,
    kAwaitType = 2,
    kStorePayload = 3,
    kAwaitTextLength = 4,
    kAwaitInfoLength = 5,
    kAwaitTrailer = 6,
};

constexpr uint8_t kStartByte = 0x02;
constexpr uint8_t kSecondStartByte = 0x05;
constexpr uint8_t kMaxTextLength = 36;
constexpr int kStatusOnlyByte = 26;  // the one StatusBlock byte that a type-6 packet replaces

}  // namespace

void StatusReceiver::HandleStatusByte(uint8_t b) {
    switch (PacketState) {
    case kAwaitStart:
        if (b == kStartByte) PacketState = kAwaitSecondStart;
        break;

    case kAwaitSecondStart:
        // Any other byte, 0x02 included, is dropped rather than taken as a new start.
        PacketState = (b == kSecondStartByte) ? kAwaitType : kAwaitStart;
        break;

    case kAwaitType:
        switch (b) {
        case 1:
            PacketTarget = InfoBlock;
            PacketTargetEnd = InfoBlock + sizeof InfoBlock;
            PacketAction = Action::None;
            PacketState = kAwaitInfoLength;
            break;
        case 2:
            PacketState = kAwaitTextLength;
            break;
        case 5:
            PacketRemaining = sizeof StatusBlock;
            PacketTarget = StatusBlock;
            PacketTargetEnd = StatusBlock + sizeof StatusBlock;
            PacketAction = Action::OnlineIndication;
            PacketState = kStorePayload;
            break;
        case 6:
            PacketRemaining = 1;
            PacketTarget = StatusBlock + kStatusOnlyByte;
            PacketTargetEnd = PacketTarget + 1;
            PacketAction = Action::None;
            PacketState = kStorePayload;
            break;
        default:
            break;  // unknown type: the next byte is taken as the type again
        }
        break;

    case kStorePayload:
        // A type-1 payload may be longer than InfoBlock: the excess is framed, not kept.
        if (PacketTarget != PacketTargetEnd) *PacketTarget++ = b;
        --PacketRemaining;
        if (PacketRemaining == 0) PacketState = kAwaitTrailer;
        break;

    case kAwaitTextLength:
        if (b >= 1 && b <= kMaxTextLength) {
            StatusText[0] = b;
            PacketTarget = StatusText + 1;
            PacketTargetEnd = PacketTarget + b;
            PacketRemaining = b;
            PacketAction = Action::None;
            PacketState = kStorePayload;
        } else {
            PacketState = kAwaitStart;
        }
        break;

    case kAwaitInfoLength:
        // 0 wraps to 256 payload bytes when the store state counts it down.
        PacketRemaining = b;
        PacketState = kStorePayload;
        break;

    case kAwaitTrailer:
        if (PacketAction == Action::OnlineIndication) {
            if (OnlineHold == 0) indicator_.ShowDeviceOnline();
            OnlineHold = 5;
        }
        PacketState = kAwaitStart;
        break;

    default:
        // Only reachable if a caller wrote PacketState; start framing afresh.
        PacketState = kAwaitStart;
        break;
    }
}
