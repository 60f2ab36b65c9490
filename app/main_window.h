// The main window: settings file, the serial port and the device link (SendToDevice and the
// receive dispatcher), the menu that opens the other windows, and the program-wide state
// that they share. All of it lives on the user-interface thread.
#pragma once

#include <cstdint>
#include <string>

#include "app/receive_dispatcher.h"
#include "app/status_receiver.h"
#include "serial/serial_comm.h"
#include "update/boot_link.h"
#include "winui/controls.h"
#include "winui/form.h"

class TForm1 : public TForm {
public:
    TForm1();
    ~TForm1() override;

    TLabel Label2;
    TComm Comm1;
    TMemo Memo1;

    void Serialcommunicationsport1Click();
    void Updatedevicefirmware1Click();
    void TestPort1Click();
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

// Program-wide state, zero at start.
extern uint8_t CommsPortIndex;  // zero-based: 0 is COM1
extern bool PortOpen;           // the last attempt to open the port succeeded
extern uint8_t RxBuffer[kUpdateReadCap];
extern BootLink Link;                 // the bootloader link and its shared state
extern StatusReceiver StatusPackets;  // the radio's status packets in normal operation

// Hands count bytes to the port in one write while the port is open; else does nothing.
void SendToDevice(const uint8_t* data, uint16_t count);
// The directory of the program file, with its trailing backslash.
std::string ExeDirectory();
// The directory part of path: its first 255 characters, cut back to the last backslash.
std::string DirectoryOfPath(const std::string& path);
// What the user reads when COM<port_number> cannot be opened.
std::string PortNotAvailableMessage(unsigned port_number);
