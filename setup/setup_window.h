// The port setup window: the user picks COM1 to COM16, and each change of the choice closes
// the main window's port and opens the chosen one at once.
#pragma once

#include "winui/controls.h"
#include "winui/form.h"

class TForm15 : public TForm {
public:
    TForm15();

    TLabel Label1;
    TRadioGroup RadioGroup2;
    TButton BitBtn1;

    void RadioGroup2Click();

    // True only while FormShow brings the selection into line with the port in use.
    bool SuppressPortClick = false;

protected:
    void CreateControls() override;
    void FormShow() override;
    int DefaultButtonId() const override { return IDOK; }
};

extern TForm15* Form15;
