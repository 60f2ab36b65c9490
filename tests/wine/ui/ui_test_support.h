// Helpers of the Windows-side tests of the windows: the application object set up once, a
// probe form with one button, and a catcher that answers message boxes as they appear.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "winui/controls.h"
#include "winui/form.h"

// Initialises the application object once for the whole test program.
void EnsureApplication();

class ProbeForm : public TForm {
public:
    ProbeForm();

    TButton Button;
    std::function<void()> on_create;
    std::function<void()> on_click;
    std::function<void()> on_close_query;
    int shows = 0;

    // What a click on the button sends to the form.
    void PostClick() const;

protected:
    void CreateControls() override;
    void FormCreate() override;
    void FormShow() override;
    void FormCloseQuery(bool& can_close) override;
};

struct ShownBox {
    std::string title;
    std::string text;
};

// While it exists, every message box of this thread is read and answered with OK as soon
// as it becomes active (a CBT hook, so nothing waits on a clock).
class MessageBoxCatcher {
public:
    MessageBoxCatcher();
    ~MessageBoxCatcher();
    MessageBoxCatcher(const MessageBoxCatcher&) = delete;
    MessageBoxCatcher& operator=(const MessageBoxCatcher&) = delete;

    const std::vector<ShownBox>& Boxes() const { return boxes_; }

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wparam, LPARAM lparam);
    HHOOK hook_;
    std::vector<ShownBox> boxes_;
};
