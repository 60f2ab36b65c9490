// The main window: settings file, the serial port's settings and the receive dispatcher, and
// the menu that opens the other windows. All of it lives on the user-interface thread.
#pragma once

#include <cstdint>
#include <string>

#include "core/receive_dispatcher.h"
#include "core/status_receiver.h"
#include "device/device_link.h"
#include "winui/controls.h"
#include "winui/form.h"

class TForm1 : public TForm {
public:
    TForm1();
    ~TForm1() override;

    TLabel Label2;
    TComm& Comm1 = DeviceComm();
    TMemo Memo1;

    void Serialcommunicationsport1Click();
    void Updatedevicefirmware1Click();
    void TestPort1Click();
    // The shop's bench of many radios at once.
    void Bench1Click();
    void Comm1RxChar(TCustomComm* sender, int32_t count);
    void Comm1TxEmpty(TCustomComm* sender);

protected:
    void CreateControls() override;
    void FormCreate() override;
    void FormCloseQuery(bool& can_close) override;
    void FormEndSession() override;
    void MenuCommand(int id) override;

private:
    void SaveSettingsAndClosePort();
};

extern TForm1* Form1;

extern uint8_t RxBuffer[kUpdateReadCap];
extern StatusReceiver StatusPackets;  // the radio's status packets in normal operation

// The directory of the program file, with its trailing backslash.
std::wstring ExeDirectory();
// The directory part of path: its first 255 characters, cut back to the last backslash.
std::wstring DirectoryOfPath(const std::wstring& path);
