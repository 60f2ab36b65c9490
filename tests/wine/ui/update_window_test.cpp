// The update window's own steps with no radio behind the port: what the user sees when the
// bootloader is not active, when the header read times out, and when the program file holds
// no firmware (this test program carries none); and what Windows sees while the header is read.
#include <gtest/gtest.h>

#include <string>

#include "app/main_window.h"
#include "tests/wine/ui/ui_test_support.h"
#include "update/update_window.h"
#include "winui/application.h"

namespace {

class UpdateWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        Form11 = &window;
        window.Create();
        PortOpen = false;
        Link.UpdateActive = true;
        Link.BootState = BootState::WaitGreeting;
    }
    void TearDown() override {
        Link.UpdateActive = false;
        Link.BootState = BootState::WaitGreeting;
        Form11 = nullptr;
    }

    TForm11 window;
};

TEST_F(UpdateWindowTest, CreationShowsNoneForAProgramWithoutFirmware) { EXPECT_EQ(window.Label4.Caption(), "None"); }

TEST_F(UpdateWindowTest, UpdateBeforeTheHandshakeOnlySaysSo) {
    window.Timer1.SetEnabled(true);
    window.Timer2.SetEnabled(true);
    window.Button1.SetEnabled(true);
    Link.BootState = BootState::Settled;
    window.Button1Click();
    EXPECT_EQ(window.PM.Text(), "Bootloader not active");
    EXPECT_FALSE(window.Button1.Enabled());
    EXPECT_EQ(Link.BootState, BootState::Settled);
    EXPECT_TRUE(window.Timer1.Enabled());
    EXPECT_TRUE(window.Timer2.Enabled());
}

TEST_F(UpdateWindowTest, UpdateWithoutFirmwareEndsTheProcedure) {
    window.Timer1.SetEnabled(true);
    window.Timer2.SetEnabled(true);
    Link.BootState = BootState::Active;
    window.Button1Click();
    EXPECT_EQ(window.PM.Text(), "Cannot locate code data");
    EXPECT_EQ(Link.BootState, BootState::WaitGreeting);
    EXPECT_FALSE(window.Button1.Enabled());
    EXPECT_FALSE(window.Timer1.Enabled());
    EXPECT_FALSE(window.Timer2.Enabled());
}

TEST_F(UpdateWindowTest, TimedOutHeaderReadStaysOnScreenAndLetsTheHandshakeStartAgain) {
    window.Label1.SetCaption("Application in unit: Q42NR");
    window.Timer1.SetEnabled(true);  // counts the time-out down
    Link.BootState = BootState::Settled;
    window.Timer2Timer();
    EXPECT_EQ(window.PM.Text(), "Cannot read from device. Please try again.");
    EXPECT_FALSE(window.Button1.Enabled());
    EXPECT_EQ(window.Label1.Caption(), "Application in unit: Q42NR");
    EXPECT_EQ(Link.BootState, BootState::WaitGreeting);
}

// Set from inside the header read's message loop: whether "Update now" could be pressed.
int button_enabled_during_read = -1;

void CALLBACK ProbeButtonDuringRead(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    button_enabled_during_read = Form11->Button1.Enabled() ? 1 : 0;
}

TEST_F(UpdateWindowTest, UpdateNowIsOffWhileTheHeaderIsRead) {
    window.Button1.SetEnabled(true);  // as an earlier opening may have left it
    window.Timer1.SetEnabled(true);   // counts the read's time-out down
    Link.BootState = BootState::Settled;
    button_enabled_during_read = -1;
    ASSERT_NE(SetTimer(nullptr, 0, 50, ProbeButtonDuringRead), 0u);
    window.Timer2Timer();
    EXPECT_EQ(button_enabled_during_read, 0);
}

// What Windows would see from inside the header read, and after it.
struct SessionProbe {
    EXECUTION_STATE execution_state = 0;
    LRESULT application_answer = -1;
    LRESULT form_answer = -1;
};
SessionProbe during_read;

SessionProbe ProbeSession() {
    SessionProbe probe;
    // Returns the state it replaces; asking for the state expected leaves it unchanged.
    probe.execution_state = SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    if (probe.execution_state != (ES_CONTINUOUS | ES_SYSTEM_REQUIRED)) SetThreadExecutionState(ES_CONTINUOUS);
    probe.application_answer = SendMessageA(Application.Handle(), WM_QUERYENDSESSION, 0, 0);
    probe.form_answer = SendMessageA(Form11->Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF);
    return probe;
}

void CALLBACK ProbeSessionDuringRead(HWND, UINT, UINT_PTR id, DWORD) {
    KillTimer(nullptr, id);
    during_read = ProbeSession();
}

TEST_F(UpdateWindowTest, HeaderReadKeepsThePcAwakeAndRefusesTheSessionsEndUntilItEnds) {
    window.Timer1.SetEnabled(true);  // counts the read's time-out down
    Link.BootState = BootState::Settled;
    during_read = SessionProbe{};
    ASSERT_NE(SetTimer(nullptr, 0, 50, ProbeSessionDuringRead), 0u);
    window.Timer2Timer();
    EXPECT_EQ(during_read.execution_state, static_cast<EXECUTION_STATE>(ES_CONTINUOUS | ES_SYSTEM_REQUIRED));
    EXPECT_EQ(during_read.application_answer, FALSE);
    EXPECT_EQ(during_read.form_answer, FALSE);
    const SessionProbe after = ProbeSession();
    EXPECT_EQ(after.execution_state, static_cast<EXECUTION_STATE>(ES_CONTINUOUS));
    EXPECT_EQ(after.application_answer, TRUE);
    EXPECT_EQ(after.form_answer, TRUE);
}

TEST_F(UpdateWindowTest, NoHeaderReadOnceTheWindowHasClosed) {
    window.PM.Add("Switch on Q42");
    window.Timer1.SetEnabled(true);  // a read, were it started, would end by time-out
    Link.UpdateActive = false;
    Link.BootState = BootState::Settled;
    window.Timer2Timer();
    EXPECT_EQ(Link.BootState, BootState::Settled);
    EXPECT_EQ(window.PM.Text(), "Switch on Q42");
}

}  // namespace
