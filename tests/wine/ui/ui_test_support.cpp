// Helpers of the Windows-side tests of the windows.
#include "tests/wine/ui/ui_test_support.h"

#include "winui/application.h"

namespace {

MessageBoxCatcher* active_catcher = nullptr;

FormDesign ProbeDesign() {
    FormDesign design;
    design.class_name = "TProbeForm";
    design.caption = "Probe";
    design.width = 200;
    design.height = 150;
    design.position = FormPosition::ScreenCenter;
    design.colour = COLOR_BTNFACE;
    return design;
}

std::string TextOf(HWND hwnd) {
    char buffer[1024];
    const int length = GetWindowTextA(hwnd, buffer, sizeof buffer);
    return std::string(buffer, length > 0 ? static_cast<size_t>(length) : 0);
}

BOOL CALLBACK CollectStaticText(HWND child, LPARAM text) {
    char window_class[32];
    GetClassNameA(child, window_class, sizeof window_class);
    const std::string part = TextOf(child);
    if (lstrcmpiA(window_class, "Static") == 0 && !part.empty()) *reinterpret_cast<std::string*>(text) += part;
    return TRUE;
}

}  // namespace

void EnsureApplication() {
    if (Application.Handle() != nullptr) return;
    Application.Initialize(GetModuleHandleA(nullptr));
    Application.SetTitle("Quendar Avionics VHF transceiver");
}

ProbeForm::ProbeForm() : TForm(ProbeDesign()) {}

void ProbeForm::CreateControls() {
    Button.Create(*this, 3001, Bounds{8, 8, 75, 25}, "Probe", false);
    Button.OnClick = [this] {
        if (on_click) on_click();
    };
}

void ProbeForm::FormCreate() {
    if (on_create) on_create();
}

void ProbeForm::FormShow() { ++shows; }

void ProbeForm::FormCloseQuery(bool&) {
    if (on_close_query) on_close_query();
}

void ProbeForm::PostClick() const {
    PostMessageA(Handle(), WM_COMMAND, MAKEWPARAM(3001, BN_CLICKED), reinterpret_cast<LPARAM>(Button.Handle()));
}

MessageBoxCatcher::MessageBoxCatcher() : hook_(SetWindowsHookExA(WH_CBT, Hook, nullptr, GetCurrentThreadId())) {
    active_catcher = this;
}

MessageBoxCatcher::~MessageBoxCatcher() {
    active_catcher = nullptr;
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
}

LRESULT CALLBACK MessageBoxCatcher::Hook(int code, WPARAM wparam, LPARAM lparam) {
    if (code == HCBT_ACTIVATE && active_catcher != nullptr) {
        HWND box = reinterpret_cast<HWND>(wparam);
        char window_class[32];
        GetClassNameA(box, window_class, sizeof window_class);
        if (lstrcmpA(window_class, "#32770") == 0) {
            ShownBox shown{TextOf(box), ""};
            EnumChildWindows(box, CollectStaticText, reinterpret_cast<LPARAM>(&shown.text));
            active_catcher->boxes_.push_back(shown);
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        }
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}
