// The port setup window.
#include "setup/setup_window.h"

#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/settings_value.h"
#include "winui/application.h"

TForm15* Form15 = nullptr;

namespace {

constexpr unsigned kPortCount = 16;

FormDesign SetupDesign() {
    FormDesign design;
    design.class_name = "TForm15";
    design.caption = "Serial port setup";
    design.width = 208;
    design.height = 269;
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

}  // namespace

TForm15::TForm15() : TForm(SetupDesign()) {}

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
    BitBtn1.Create(*this, IDOK, Bounds{group.left + (group.width - button_width) / 2, 196, button_width, 25},
                   "OK", true);
    BitBtn1.OnClick = [this] { Close(); };
}

void TForm15::FormShow() {
    SuppressPortClick = true;
    RadioGroup2.SetItemIndex(CommsPortIndex);
    SuppressPortClick = false;
}

void TForm15::RadioGroup2Click() {
    if (SuppressPortClick) return;
    const int n = RadioGroup2.ItemIndex() + 1;
    Form1->Comm1.Close();
    Form1->Comm1.SetDeviceName(ComPortName(static_cast<unsigned>(n - 1)));
    try {
        Form1->Comm1.Open();
        PortOpen = true;
    } catch (const ECommError&) {
        Application.ShowMessage(PortNotAvailableMessage(static_cast<unsigned>(n)));
        PortOpen = false;
    }
    CommsPortIndex = static_cast<uint8_t>(n - 1);
}
