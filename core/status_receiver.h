// Frames the status packets that the radio sends in normal operation:
// 0x02 0x05, a type byte, a body, one trailer byte. The first complete type-5
// packet tells the window that the device is online.
#pragma once

#include <cstdint>

class OnlineIndicator {
public:
    virtual void ShowDeviceOnline() = 0;

protected:
    ~OnlineIndicator() = default;
};

class StatusReceiver {
public:
    explicit StatusReceiver(OnlineIndicator& indicator) : indicator_(indicator) {}

    // Called for every received byte, in order of arrival; the state survives
    // between receive events, so a packet may arrive in any number of pieces.
    void HandleStatusByte(uint8_t b);

    enum class Action : uint8_t { None, OnlineIndication };

    uint8_t PacketState = 0;
    uint8_t PacketRemaining = 0;
    uint8_t* PacketTarget = nullptr;
    const uint8_t* PacketTargetEnd = nullptr;  // payload beyond this is framed but not kept
    Action PacketAction = Action::None;
    uint8_t OnlineHold = 0;

    uint8_t InfoBlock[40] = {};
    uint8_t StatusText[1 + 36] = {};  // short string: length byte, then up to 36 characters
    uint8_t StatusBlock[29] = {};

private:
    OnlineIndicator& indicator_;
};
