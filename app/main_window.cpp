// The main window: start-up settings, the port's first opening, the menu, the receive
// dispatcher and the close-down.
#include "app/main_window.h"

#include <windows.h>

#include <iterator>
#include <stdexcept>
#include <vector>

#include "app/resource.h"
#include "core/q42_protocol.h"
#include "core/receive_dispatcher.h"
#include "core/settings_value.h"
#include "core/sha256.h"
#include "core/update_lines.h"
#include "setup/setup_window.h"
#include "shop/bench_window.h"
#include "terminal/terminal_window.h"
#include "update/program_file.h"
#include "update/update_window.h"
#include "winports/wide_text.h"
#include "winui/application.h"

TForm1* Form1 = nullptr;
uint8_t RxBuffer[kUpdateReadCap];

namespace {

const wchar_t kSettingsFile[] = L"RADIO.INI";
const wchar_t kSettingsSection[] = L"Setup";
const wchar_t kPortKey[] = L"CommsPort";

// The main window's port and the terminal window, as the receive dispatcher sees them.
class MainWindowReceivePath : public ReceivePath {
public:
    MainWindowReceivePath(TComm& port, TCustomComm* sender) : port_(port), sender_(sender) {}
    int32_t Read(uint8_t* buffer, int32_t count) override { return port_.Read(buffer, count); }
    // Notifications can come while a message box of the start-up is up, before the
    // terminal window exists; the terminal is then not showing.
    bool TerminalShowing() const override { return Form2 != nullptr && Form2->Showing(); }
    void TerminalReceive(int32_t count) override { Form2->Comm1RxChar(sender_, count); }

private:
    TComm& port_;
    TCustomComm* sender_;
};

class MainWindowIndicator : public OnlineIndicator {
public:
    void ShowDeviceOnline() override {
        if (Form1 != nullptr) Form1->Label2.SetCaption("Device Online");
    }
};

MainWindowIndicator online_indicator;

FormDesign MainDesign() {
    FormDesign design;
    design.class_name = "TForm1";
    design.caption = "Quendar Avionics Q42 Navigation radio firmware updater";
    design.width = 428;
    design.height = 379;
    design.colour = RGB(255, 255, 255);
    design.system_colour = false;
    design.menu = MAKEINTRESOURCEA(IDR_MAIN_MENU);
    return design;
}

const char* const kInstructions[] = {
    "Under no circumstances use this firmware update facility on a ",
    "device that is not a Q42 transceiver.",
    "",
    "Procedure: Connect this application via an RS232 port (USB based ",
    "RS232 ports are acceptable) to RS232 port 1 on the Q42.",
    "Wire RX->TX and TX->RX as well as ground (three wires total).",
    "Priovide a suitable 12V DC  power source for the Q42.",
    "",
    "In the setup menu select the RS232 port to be used on your PC.",
    "",
    "Ensure the Q42 is swtched on - the label above must read \"Device online\".",
    "",
    "Now switch the Q42 OFF.",
    "Choose Update Q42 from the menu above and then switch the Q42 ON.",
    "",
    "If bi-directional communications can be established you will be shown the ",
    "currently installed firmware version details and you can proceed with the ",
    "firmware update.",
};

const FontSpec kStatusFont{"Arial", 16, true, DEFAULT_CHARSET, VARIABLE_PITCH | FF_SWISS};

std::wstring SettingsPath() { return ExeDirectory() + kSettingsFile; }

}  // namespace

StatusReceiver StatusPackets(online_indicator);

std::wstring DirectoryOfPath(const std::wstring& path) {
    std::wstring directory = path.substr(0, 255);
    while (!directory.empty() && directory.back() != L'\\') directory.pop_back();
    return directory;
}

std::wstring ExeDirectory() { return DirectoryOfPath(ProgramFilePath()); }

TForm1::TForm1() : TForm(MainDesign()) {}

// The port goes first: a notification served while it closes may still reach the other
// windows, which all exist until this one has gone.
TForm1::~TForm1() { Comm1.Close(); }

void TForm1::CreateControls() {
    const SIZE client = DesignClientSize();
    LabelStyle status_style;
    status_style.auto_size = false;
    status_style.centred = true;
    status_style.font = &kStatusFont;
    Label2.Create(*this, 1001, Bounds{0, 8, client.cx, 20}, "Label2", status_style);

    Comm1.SetMonitorEvents(EventBit(TCommEventState::evRxChar) | EventBit(TCommEventState::evTxEmpty));
    Comm1.SetCharsTimeOut(0);
    Comm1.SetOptions(0);
    Comm1.OnRxChar = [this](TCustomComm* sender, int32_t count) { Comm1RxChar(sender, count); };
    Comm1.OnTxEmpty = [this](TCustomComm* sender) { Comm1TxEmpty(sender); };

    const int memo_width = 393;
    Memo1.Create(*this, 1002, Bounds{(client.cx - memo_width) / 2, 40, memo_width, 257}, true);
    Memo1.SetLines(std::vector<std::string>(std::begin(kInstructions), std::end(kInstructions)));
}

void TForm1::FormCreate() {
    const std::wstring path = SettingsPath();
    wchar_t value[256];
    const DWORD capacity = static_cast<DWORD>(std::size(value));
    const DWORD length = GetPrivateProfileStringW(kSettingsSection, kPortKey, L"0", value, capacity, path.c_str());
    // A value cut to fit the buffer is not the number that was stored.
    CommsPortIndex = length + 1 < capacity ? CommsPortIndexFromText(Utf8FromWide(value).c_str()) : 0;
    Label2.SetCaption("Device Offline");
    OpenDevicePort(CommsPortIndex);
}

void TForm1::FormCloseQuery(bool&) { SaveSettingsAndClosePort(); }

// Windows ends the program after this, without the main window's close.
void TForm1::FormEndSession() { SaveSettingsAndClosePort(); }

void TForm1::SaveSettingsAndClosePort() {
    const std::wstring path = SettingsPath();
    // A failure keeps the window open: the report reaches the general error report, and
    // the port stays open with it.
    if (!WritePrivateProfileStringW(kSettingsSection, kPortKey,
                                    WideFromUtf8(CommsPortIndexToText(CommsPortIndex)).c_str(), path.c_str())) {
        throw std::runtime_error("Unable to write to " + Utf8FromWide(path));
    }
    Comm1.Close();
}

void TForm1::MenuCommand(int id) {
    switch (id) {
    case IDM_SETUP:
        Serialcommunicationsport1Click();
        break;
    case IDM_UPDATE:
        Updatedevicefirmware1Click();
        break;
    case IDM_TEST_PORT:
        TestPort1Click();
        break;
    case IDM_BENCH:
        Bench1Click();
        break;
    default:
        break;
    }
}

void TForm1::Serialcommunicationsport1Click() { Form15->ShowModal(); }

void TForm1::TestPort1Click() { Form2->ShowModal(); }

void TForm1::Bench1Click() {
    CarriedImage carried;
    const LoadResult loaded = LoadFirmwareImage();
    carried.damaged = loaded.damaged;
    if (loaded.found) {
        SessionImage& image = carried.image;
        image.bytes = ProgramFirmware.FirmwareImage;
        image.length = loaded.length;
        image.version = loaded.length >= kVersionFieldEnd ? ProgramFirmware.ImageVersion() : "";
        image.sha256 = Sha256Hex(image.bytes, static_cast<size_t>(image.length));
    }
    // The bench may want this window's port for a radio: let go of it while the bench is open.
    Comm1.Close();
    {
        TFormBench bench(SettingsPath(), carried);
        bench.Create();
        bench.ShowModal();
    }
    OpenDevicePort(CommsPortIndex);
}

void TForm1::Updatedevicefirmware1Click() {
    Link.UpdateActive = true;
    Form11->PM.Clear();
    AddMessage(kSwitchOn);
    Link.RestartHandshake();
    try {
        Form11->ShowModal();
    } catch (...) {
        Link.UpdateActive = false;
        throw;
    }
    Link.UpdateActive = false;
}

void TForm1::Comm1RxChar(TCustomComm* sender, int32_t count) {
    MainWindowReceivePath path(Comm1, sender);
    DispatchReceived(path, count, Link, StatusPackets, RxBuffer);
}

void TForm1::Comm1TxEmpty(TCustomComm*) {}
