// The application object under Wine: a close request for the whole program while modal
// forms or message boxes are up, minimising and restoring behind the task bar button, and
// (each in a program run of its own, since both end it) the quit and the program's close.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wine/ui/ui_test_support.h"
#include "winui/application.h"
#include "winui/timer.h"

namespace {

class ApplicationWindow : public ::testing::Test {
protected:
    void SetUp() override { EnsureApplication(); }
    static void RequestProgramClose() { PostMessageA(Application.Handle(), WM_CLOSE, 0, 0); }
};

// Passes of the message loop, as the update procedure's waits run it.
void RunLoopPasses(int passes) {
    for (int i = 0; i < passes; ++i) Application.ProcessMessages();
}

bool rescued_box = false;

// Presses OK on a message box that nothing else ended within 5 s, so that a fault fails the
// test instead of hanging it.
void CALLBACK RescueBox(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = FindWindowA("#32770", nullptr);
    if (box == nullptr) return;
    rescued_box = true;
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

TEST_F(ApplicationWindow, CloseRequestClosesModalFormsInnermostFirstOnceTheirHandlersReturn) {
    ProbeForm outer;
    ProbeForm inner;
    outer.Create();
    inner.Create();
    std::vector<std::string> events;
    bool both_showing_while_handler_ran = false;
    inner.on_click = [&] {
        RequestProgramClose();
        RunLoopPasses(20);
        both_showing_while_handler_ran = inner.Showing() && outer.Showing();
    };
    outer.on_click = [&] {
        inner.PostClick();
        inner.ShowModal();
        events.push_back(std::string("inner closed, outer ") + (outer.CloseRequested() ? "asked" : "not asked"));
    };
    outer.PostClick();
    outer.ShowModal();
    EXPECT_TRUE(both_showing_while_handler_ran);
    EXPECT_EQ(events, std::vector<std::string>{"inner closed, outer asked"});
    EXPECT_FALSE(outer.Showing());
    EXPECT_FALSE(inner.Showing());
}

TEST_F(ApplicationWindow, CloseRequestTakesDownAMessageBoxThenItsModalForm) {
    ProbeForm form;
    form.Create();
    rescued_box = false;
    const UINT_PTR rescue = SetTimer(nullptr, 0, 5000, RescueBox);
    form.on_click = [&] {
        RequestProgramClose();
        Application.ShowMessage("The selected port COM7 is not available");
    };
    form.PostClick();
    form.ShowModal();
    KillTimer(nullptr, rescue);
    EXPECT_FALSE(rescued_box) << "the box stayed up";
    EXPECT_FALSE(form.Showing());
}

TEST_F(ApplicationWindow, IdleModalFormClosesAtOnceAndAnotherOpensAfterwards) {
    ProbeForm form;
    form.Create();
    RequestProgramClose();
    form.ShowModal();
    EXPECT_FALSE(form.Showing());
    // The request was carried out: the next modal form is not closed by it.
    bool closed_by_old_request = true;
    form.on_click = [&] {
        RunLoopPasses(20);
        closed_by_old_request = form.CloseRequested();
        form.Close();
    };
    form.PostClick();
    form.ShowModal();
    EXPECT_FALSE(closed_by_old_request);
}

TEST_F(ApplicationWindow, MinimisingAFormHidesTheProgramBehindItsButtonAndRestoringBringsItBack) {
    ProbeForm owner;
    owner.Create();
    owner.Show();
    ProbeForm modal;
    modal.Create();
    struct States {
        bool application_iconic, owner_visible, owner_iconic, modal_visible, modal_active;
    };
    const auto now = [&] {
        return States{IsIconic(Application.Handle()) != FALSE, IsWindowVisible(owner.Handle()) != FALSE,
                      IsIconic(owner.Handle()) != FALSE, IsWindowVisible(modal.Handle()) != FALSE,
                      GetActiveWindow() == modal.Handle()};
    };
    States minimised{};
    States restored{};
    bool modal_still_showing = false;
    modal.on_click = [&] {
        SendMessageA(modal.Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
        RunLoopPasses(5);
        minimised = now();
        modal_still_showing = modal.Showing();
        // What the task bar button sends.
        SendMessageA(Application.Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
        RunLoopPasses(5);
        restored = now();
        modal.Close();
    };
    modal.PostClick();
    modal.ShowModal();

    EXPECT_TRUE(minimised.application_iconic);
    EXPECT_FALSE(minimised.owner_visible);
    EXPECT_FALSE(minimised.owner_iconic) << "the form must not shrink to a title bar of its own";
    EXPECT_FALSE(minimised.modal_visible);
    EXPECT_TRUE(modal_still_showing) << "a minimised terminal still takes the received bytes";

    EXPECT_FALSE(restored.application_iconic);
    EXPECT_TRUE(restored.owner_visible);
    EXPECT_TRUE(restored.modal_visible);
    EXPECT_TRUE(restored.modal_active);
    EXPECT_TRUE(IsWindowEnabled(owner.Handle()));
}

// Run on its own (see WineTests.cmake): the quit ends the test program's application.
TEST(ApplicationQuit, EndsEveryLoopWhileTheTimersOfAWaitKeepTicking) {
    EnsureApplication();
    ProbeForm form;
    form.Create();
    TTimer timer;
    timer.Create(form, 7, 10);
    int ticks = 0;
    timer.OnTimer = [&] { ++ticks; };
    timer.SetEnabled(true);
    int ticks_after_quit = 0;
    bool terminated_in_wait = false;
    MessageBoxCatcher catcher;
    form.on_click = [&] {
        PostQuitMessage(0);
        const int ticks_at_quit = ticks;
        const DWORD start = GetTickCount();
        while (ticks - ticks_at_quit < 5 && GetTickCount() - start < 5000) Application.ProcessMessages();
        ticks_after_quit = ticks - ticks_at_quit;
        terminated_in_wait = Application.Terminated();
        Application.ShowMessage("after the quit");
    };
    form.PostClick();
    form.ShowModal();  // returns only if its loop ends on the flag
    EXPECT_TRUE(terminated_in_wait);
    EXPECT_GE(ticks_after_quit, 5) << "a wait after the quit must still end by its time-out";
    EXPECT_TRUE(catcher.Boxes().empty()) << "no message box once the program is ending";
    MSG msg;
    EXPECT_FALSE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "the quit was posted again";
    Application.HandleMessage();  // must not wait for a message
    EXPECT_TRUE(Application.Terminated());
}

ProbeForm* MainProbe = nullptr;
ProbeForm* ModalProbe = nullptr;

// Run on its own (see WineTests.cmake): the whole program's life, from CreateForm to Run's end.
TEST(ApplicationClose, ModalFormClosesFirstThenTheMainFormAndTheReferencesAreCleared) {
    EnsureApplication();
    std::vector<std::string> events;
    Application.CreateForm(MainProbe);
    Application.CreateForm(ModalProbe);
    MainProbe->on_close_query = [&] { events.push_back("main close query"); };
    ModalProbe->on_close_query = [&] { events.push_back("modal close query"); };
    bool main_alive_after_write = false;
    ModalProbe->on_click = [&] {
        // As a close request during a write: the write runs to its end first.
        PostMessageA(MainProbe->Handle(), WM_CLOSE, 0, 0);
        RunLoopPasses(20);
        main_alive_after_write = IsWindow(MainProbe->Handle()) && ModalProbe->Showing();
        events.push_back("write ended");
    };
    MainProbe->on_click = [&] {
        ModalProbe->PostClick();
        ModalProbe->ShowModal();
        events.push_back("modal returned");
    };
    MainProbe->PostClick();
    Application.Run();
    EXPECT_TRUE(main_alive_after_write);
    EXPECT_EQ(events,
              (std::vector<std::string>{"modal close query", "write ended", "modal returned", "main close query"}));
    EXPECT_EQ(MainProbe, nullptr);
    EXPECT_EQ(ModalProbe, nullptr);
}

}  // namespace
