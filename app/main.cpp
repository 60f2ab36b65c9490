// Q42Update: installs firmware in the Q42 navigation radio over RS-232. Start-up creates the
// four windows in their fixed order; only the main window is shown.
#include <windows.h>

#include <exception>

#include "app/main_window.h"
#include "setup/setup_window.h"
#include "terminal/terminal_window.h"
#include "update/update_window.h"
#include "winui/application.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    try {
        Application.Initialize(instance);
        Application.SetTitle("Quendar Avionics VHF transceiver");
        Application.CreateForm(Form1);
        Application.CreateForm(Form15);
        Application.CreateForm(Form11);
        Application.CreateForm(Form2);
        Application.Run();
    } catch (const std::exception& e) {
        Application.ShowException(e.what());
        return 1;
    }
    return 0;
}
