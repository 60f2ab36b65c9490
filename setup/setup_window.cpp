// The port setup window.
#include "setup/setup_window.h"

#include <string>
#include <vector>

#include "core/settings_value.h"
#include "device/device_link.h"
#include "winports/present_ports.h"
#include "winports/usb_devices.h"
#include "winui/application.h"

TForm15* Form15 = nullptr;

namespace {

constexpr unsigned kPortCount = 16;
// The list lies under the OK button, so that nothing of the window's first layout moves;
// the window is taller by the list and its margin.
const Bounds kPortList{8, 229, 185, 108};
constexpr int kListHeightAdded = 116;

FormDesign SetupDesign() {
    FormDesign design;
    design.class_name = "TForm15";
    design.caption = "Serial port setup";
    design.width = 208;
    design.height = 269 + kListHeightAdded;
    design.position = FormPosition::ScreenCenter;
    design.style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
    design.ex_style = WS_EX_DLGMODALFRAME;
    design.colour = COLOR_BTNFACE;
    design.dialog_keys = true;
    return design;
}

std::vector<std::string> PortNames() {
    std::vector<std::string> names;
    for (unsigned index = 0; index < kPortCount; ++index) names.push_back(ComPortName(index));
    return names;
}

std::vector<ListedPort> PortsAndPortlessConverters() {
    return ListWithPortlessConverters(ReadPresentPorts(), ReadUsbDevices());
}

}  // namespace

TForm15::TForm15() : TForm(SetupDesign()), PresentPorts(PortsAndPortlessConverters) {}

void TForm15::CreateControls() {
    LabelStyle wrapped;
    wrapped.auto_size = false;
    wrapped.word_wrap = true;
    Label1.Create(*this, 1501, Bounds{8, 8, 185, 41},
                  "Select the serial communications port that you will be using to connect to the radio device",
                  wrapped);
    const Bounds group{8, 56, 185, 129};
    RadioGroup2.Create(*this, 1510, group, "COM port number", PortNames(), 2);
    RadioGroup2.OnClick = [this] { RadioGroup2Click(); };
    const int button_width = 75;
    BitBtn1.Create(*this, IDOK, Bounds{group.left + (group.width - button_width) / 2, 196, button_width, 25}, "OK",
                   true);
    BitBtn1.OnClick = [this] { Close(); };
    ListBox1.Create(*this, 1530, kPortList);
    ListBox1.OnClick = [this] { ListBox1Click(); };
}

void TForm15::FormShow() {
    ShowInGroup(CommsPortIndex + 1u);
    FillPortList();
}

void TForm15::FormDeviceChange() {
    if (Showing()) FillPortList();
}

void TForm15::FillPortList() {
    listed_ = PresentPorts();
    std::vector<std::string> texts;
    std::vector<bool> greyed;
    for (const ListedPort& port : listed_) {
        texts.push_back(port.text);
        greyed.push_back(!port.explains.empty());
    }
    ListBox1.SetItems(texts, greyed);
    ListBox1.SetItemIndex(PlaceOfPort(listed_, CommsPortIndex + 1u));
}

void TForm15::ShowInGroup(unsigned number) {
    SuppressPortClick = true;
    RadioGroup2.SetItemIndex(number <= kPortCount ? static_cast<int>(number) - 1 : -1);
    SuppressPortClick = false;
}

void TForm15::RadioGroup2Click() {
    if (SuppressPortClick) return;
    const int n = RadioGroup2.ItemIndex() + 1;
    OpenDevicePort(static_cast<uint8_t>(n - 1));
    ListBox1.SetItemIndex(PlaceOfPort(listed_, static_cast<unsigned>(n)));
}

void TForm15::ListBox1Click() {
    const int place = ListBox1.ItemIndex();
    if (place < 0) return;
    const ListedPort& chosen = listed_[static_cast<size_t>(place)];
    if (!chosen.explains.empty()) {
        // A converter without a port: the port in use stays, and stays selected.
        ListBox1.SetItemIndex(PlaceOfPort(listed_, CommsPortIndex + 1u));
        Application.ShowMessage(chosen.explains);
        return;
    }
    const unsigned n = chosen.number;
    OpenDevicePort(static_cast<uint8_t>(n - 1));
    ShowInGroup(n);
}
