// The device link: opening the port by its index, and sending to the radio.
#include "device/device_link.h"

#include "core/settings_value.h"
#include "winui/application.h"

uint8_t CommsPortIndex = 0;
bool PortOpen = false;

namespace {

class DeviceLinkHost : public LinkHost {
public:
    void SendToDevice(const uint8_t* data, uint16_t count) override { ::SendToDevice(data, count); }
    void RunMessageLoopOnce() override { Application.ProcessMessages(); }
    bool Terminated() const override { return Application.Terminated(); }
};

DeviceLinkHost link_host;

}  // namespace

BootLink Link(link_host);

TComm& DeviceComm() {
    static TComm comm;
    return comm;
}

void OpenDevicePort(uint8_t index) {
    TComm& port = DeviceComm();
    port.Close();
    port.SetDeviceName(ComPortName(index));
    try {
        port.Open();
        PortOpen = true;
    } catch (const ECommError&) {
        Application.ShowMessage(PortNotAvailableMessage(index + 1u));
        PortOpen = false;
    }
    CommsPortIndex = index;
}

void SendToDevice(const uint8_t* data, uint16_t count) {
    if (PortOpen) DeviceComm().Write(data, count);
}

std::string PortNotAvailableMessage(unsigned port_number) {
    return "The selected port COM" + std::to_string(port_number) + " is not available," +
           " please choose another if possible or free this port if it is in use by another application.";
}
