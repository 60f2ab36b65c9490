// The port setup window: the user picks a port in the group (COM1 to COM16) or in the list
// of the ports this PC has, and each change of the choice closes the port and opens the
// chosen one at once.
#pragma once

#include <functional>
#include <vector>

#include "core/com_port_list.h"
#include "winui/controls.h"
#include "winui/form.h"

class TForm15 : public TForm {
public:
    TForm15();

    TLabel Label1;
    TRadioGroup RadioGroup2;
    TButton BitBtn1;
    TListBox ListBox1;

    void RadioGroup2Click();
    void ListBox1Click();

    // True only while the program itself moves the group's selection.
    bool SuppressPortClick = false;
    // Where the list's ports come from; tests hand in their own.
    std::function<std::vector<ListedPort>()> PresentPorts;

protected:
    void CreateControls() override;
    void FormShow() override;
    void FormDeviceChange() override;
    int DefaultButtonId() const override { return IDOK; }

private:
    void FillPortList();
    // The group's selection for COM<number>: none above COM16.
    void ShowInGroup(unsigned number);

    std::vector<ListedPort> listed_;
};

extern TForm15* Form15;
