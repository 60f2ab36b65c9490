// The window layer against real Windows controls under Wine: modal showing and closing, the
// general error report, the message loops, the radio group, the text list, the gauge, and
// the layout again from the design when the display's DPI changes.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/wine/ui/ui_test_support.h"
#include "winui/application.h"
#include "winui/gauge.h"

namespace {

class WindowLayer : public ::testing::Test {
protected:
    void SetUp() override { EnsureApplication(); }
};

TEST_F(WindowLayer, ModalFormDisablesOtherWindowsUntilItCloses) {
    ProbeForm owner;
    owner.Create();
    owner.Show();
    ProbeForm modal;
    modal.Create();
    bool owner_enabled_inside = true;
    modal.on_click = [&] {
        owner_enabled_inside = IsWindowEnabled(owner.Handle()) != FALSE;
        modal.Close();
    };
    modal.PostClick();
    modal.ShowModal();
    EXPECT_FALSE(owner_enabled_inside);
    EXPECT_TRUE(IsWindowEnabled(owner.Handle()));
    EXPECT_FALSE(modal.Showing());
    EXPECT_EQ(modal.shows, 1);
}

TEST_F(WindowLayer, CloseAskedInsideARunningHandlerWaitsForTheHandler) {
    ProbeForm form;
    form.Create();
    bool showing_after_close = false;
    int loops_after_close = 0;
    form.on_click = [&] {
        PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
        // A handler that waits by running the message loop, as the update procedure does.
        for (; loops_after_close < 20; ++loops_after_close) Application.ProcessMessages();
        showing_after_close = form.Showing();
    };
    form.PostClick();
    form.ShowModal();
    EXPECT_TRUE(showing_after_close);
    EXPECT_EQ(loops_after_close, 20);
    EXPECT_FALSE(form.Showing());
}

TEST_F(WindowLayer, FailuresInHandlersAreReportedAndTheProgramCarriesOn) {
    MessageBoxCatcher catcher;
    ProbeForm form;
    form.on_create = [] { throw std::runtime_error("Unable to write to C:\\q42\\RADIO.INI"); };
    form.Create();
    EXPECT_NE(form.Handle(), nullptr);

    int clicks = 0;
    form.on_click = [&] {
        if (++clicks == 1) throw std::runtime_error("second failure");
        form.Close();
    };
    form.PostClick();
    form.PostClick();
    form.ShowModal();
    EXPECT_EQ(clicks, 2);
    ASSERT_EQ(catcher.Boxes().size(), 2u);
    EXPECT_EQ(catcher.Boxes()[0].text, "Unable to write to C:\\q42\\RADIO.INI");
    EXPECT_EQ(catcher.Boxes()[1].text, "second failure");
    for (const ShownBox& box : catcher.Boxes()) EXPECT_EQ(box.title, "Quendar Avionics VHF transceiver");
}

TEST_F(WindowLayer, MessagesCarryTheApplicationTitle) {
    MessageBoxCatcher catcher;
    Application.ShowMessage("The selected port COM3 is not available");
    ASSERT_EQ(catcher.Boxes().size(), 1u);
    EXPECT_EQ(catcher.Boxes()[0].title, "Quendar Avionics VHF transceiver");
    EXPECT_EQ(catcher.Boxes()[0].text, "The selected port COM3 is not available");
}

TEST(RadioLayout, ItemsFillTheFirstColumnBeforeTheSecond) {
    const Bounds group{8, 56, 185, 129};
    const struct {
        int index;
        int column;
        int row;
    } cases[] = {{0, 0, 0}, {7, 0, 7}, {8, 1, 0}, {15, 1, 7}};
    const Bounds first = RadioItemBounds(group, 13, 16, 2, 0);
    for (const auto& c : cases) {
        const Bounds item = RadioItemBounds(group, 13, 16, 2, c.index);
        EXPECT_EQ(item.left, first.left + c.column * item.width) << "item " << c.index;
        EXPECT_EQ(item.top, first.top + c.row * item.height) << "item " << c.index;
    }
    // Everything lies inside the group box, below its caption.
    const Bounds last = RadioItemBounds(group, 13, 16, 2, 15);
    EXPECT_GT(first.top, group.top + 13);
    EXPECT_LE(last.left + last.width, group.left + group.width);
    EXPECT_LE(last.top + last.height, group.top + group.height);
}

class RadioGroupTest : public WindowLayer {
protected:
    void SetUp() override {
        WindowLayer::SetUp();
        form.Create();
        std::vector<std::string> items;
        for (int n = 1; n <= 16; ++n) items.push_back("COM" + std::to_string(n));
        group.Create(form, 3100, Bounds{8, 40, 185, 129}, "COM port number", items, 2);
        group.OnClick = [this] { clicks.push_back(group.ItemIndex()); };
    }
    int Checked() const {
        int checked = -1;
        for (int i = 0; i < 16; ++i) {
            if (SendMessageA(group.Item(i), BM_GETCHECK, 0, 0) == BST_CHECKED) {
                EXPECT_EQ(checked, -1) << "two items checked";
                checked = i;
            }
        }
        return checked;
    }
    void UserClicks(int index) {
        SendMessageA(form.Handle(), WM_COMMAND, MAKEWPARAM(3101 + index, BN_CLICKED),
                     reinterpret_cast<LPARAM>(group.Item(index)));
    }

    ProbeForm form;
    TRadioGroup group;
    std::vector<int> clicks;
};

TEST_F(RadioGroupTest, SelectionChangesRunTheHandlerOnceAndRepeatsDoNothing) {
    EXPECT_EQ(group.ItemIndex(), -1);
    EXPECT_EQ(Checked(), -1);
    group.SetItemIndex(2);
    UserClicks(5);
    UserClicks(5);
    group.SetItemIndex(5);
    EXPECT_EQ(clicks, (std::vector<int>{2, 5}));
    EXPECT_EQ(Checked(), 5);
}

TEST_F(RadioGroupTest, IndexBeyondTheLastItemSelectsTheLast) {
    const struct {
        int asked;
        int selected;
    } cases[] = {{16, 15}, {255, 15}, {0, 0}, {-5, -1}};
    for (const auto& c : cases) {
        group.SetItemIndex(c.asked);
        EXPECT_EQ(group.ItemIndex(), c.selected) << "asked " << c.asked;
        EXPECT_EQ(Checked(), c.selected) << "asked " << c.asked;
    }
}

TEST_F(RadioGroupTest, TabLandsOnTheCheckedItemSoItChangesNothing) {
    group.SetItemIndex(2);
    clicks.clear();
    HWND other = CreateWindowExA(0, "BUTTON", "OK", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 100, 200, 75,
                                 25, form.Handle(), nullptr, nullptr, nullptr);
    ASSERT_NE(other, nullptr);
    // Every stop that Tab visits, once round the window: of the group's items, only the checked.
    std::vector<HWND> items_reached;
    HWND stop = other;
    for (int i = 0; i < 40; ++i) {
        stop = GetNextDlgTabItem(form.Handle(), stop, FALSE);
        if (stop == other || stop == nullptr) break;
        for (int item = 0; item < 16; ++item) {
            if (stop == group.Item(item)) items_reached.push_back(stop);
        }
    }
    EXPECT_EQ(items_reached, std::vector<HWND>{group.Item(2)});
    SetFocus(group.Item(2));
    EXPECT_TRUE(clicks.empty());
    EXPECT_EQ(Checked(), 2);
    DestroyWindow(other);
}

TEST_F(WindowLayer, TextListHoldsItsLinesSeparatedByCrLf) {
    ProbeForm form;
    form.Create();
    TMemo memo;
    memo.Create(form, 3200, Bounds{8, 40, 180, 60}, true);
    memo.Add("Switch on Q42");
    memo.Add("");
    memo.Add("Ready to program");
    char text[128];
    GetWindowTextA(memo.Handle(), text, sizeof text);
    EXPECT_STREQ(text, "Switch on Q42\r\n\r\nReady to program");
    memo.Clear();
    memo.Add("Bootloader not active");
    GetWindowTextA(memo.Handle(), text, sizeof text);
    EXPECT_STREQ(text, "Bootloader not active");
}

TEST(GaugePercent, IsTheShareOfTheRangeReached) {
    const struct {
        int min_value, max_value, progress, percent;
    } cases[] = {{0, 100, 0, 0},         {0, 100, 55, 55}, {0, 90488, 90112, 99},
                 {0, 90488, 90488, 100}, {0, 0, 0, 0},     {0, 262143, 262143, 100}};
    for (const auto& c : cases) {
        EXPECT_EQ(PercentDone(c.min_value, c.max_value, c.progress), c.percent)
            << c.progress << " of " << c.min_value << ".." << c.max_value;
    }
}

TEST_F(WindowLayer, GaugeHoldsProgressWithinItsRangeAndShowsItOnTheBar) {
    ProbeForm form;
    form.Create();
    TGauge gauge;
    gauge.Create(form, 3300, Bounds{8, 40, 180, 25});
    gauge.SetProgress(0);
    gauge.SetMaxValue(90488);
    const struct { int set, held; } cases[] = {{1024, 1024}, {90488, 90488}, {100000, 90488}, {-3, 0}};
    for (const auto& c : cases) {
        gauge.SetProgress(c.set);
        EXPECT_EQ(gauge.Progress(), c.held);
        EXPECT_EQ(SendMessageA(gauge.Handle(), PBM_GETPOS, 0, 0), c.held);
    }
    EXPECT_EQ(SendMessageA(gauge.Handle(), PBM_GETRANGE, FALSE, 0), 90488);
    EXPECT_THROW(gauge.SetMaxValue(-1), std::invalid_argument);
}

// A control's window in its form's client coordinates.
RECT PlaceOf(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

int FontHeight(HFONT font) {
    LOGFONTA design{};
    GetObjectA(font, sizeof design, &design);
    return design.lfHeight;
}

// Windows sends WM_DPICHANGED when a window moves to a display of another DPI (never under
// Wine 8, whose displays all share one DPI), so the test sends it as Windows would.
void MoveToDisplay(TForm& form, int dpi, const RECT& suggested) {
    SendMessageA(form.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

TEST_F(WindowLayer, AnotherDisplaysDpiLaysTheFormOutAgainFromItsDesign) {
    ProbeForm form;
    form.Create();
    const FontSpec bold{"Arial", 16, true, DEFAULT_CHARSET, VARIABLE_PITCH | FF_SWISS};
    LabelStyle own_font;
    own_font.font = &bold;
    TLabel label;
    label.Create(form, 3400, Bounds{8, 40, 0, 0}, "Device Offline", own_font);
    TRadioGroup group;
    group.Create(form, 3410, Bounds{8, 70, 120, 60}, "COM port number", {"COM1", "COM2", "COM3"}, 2);
    ASSERT_EQ(form.Dpi(), 96);  // the rig's displays
    const HWND controls[] = {form.Button.Handle(), label.Handle(), group.Handle(), group.Item(0), group.Item(2)};
    std::vector<RECT> at_96;
    for (HWND control : controls) at_96.push_back(PlaceOf(control));

    const RECT suggested{100, 80, 100 + 2 * 200, 80 + 2 * 150};
    MoveToDisplay(form, 192, suggested);
    EXPECT_EQ(form.Dpi(), 192);
    RECT window;
    GetWindowRect(form.Handle(), &window);
    EXPECT_TRUE(EqualRect(&window, &suggested));
    EXPECT_EQ(FontHeight(form.Font()), -22);
    EXPECT_EQ(FontHeight(reinterpret_cast<HFONT>(SendMessageA(label.Handle(), WM_GETFONT, 0, 0))), -32);
    EXPECT_EQ(reinterpret_cast<HFONT>(SendMessageA(group.Item(2), WM_GETFONT, 0, 0)), form.Font());
    // Twice the design: places exactly; the label's size is its text's in the new font.
    for (size_t i = 0; i < at_96.size(); ++i) {
        const RECT r = PlaceOf(controls[i]);
        EXPECT_EQ(r.left, 2 * at_96[i].left) << "control " << i;
        EXPECT_EQ(r.top, 2 * at_96[i].top) << "control " << i;
        if (controls[i] == label.Handle()) {
            EXPECT_GE(r.bottom - r.top, 2 * (at_96[i].bottom - at_96[i].top) - 2);
            continue;
        }
        EXPECT_EQ(r.right, 2 * at_96[i].right) << "control " << i;
        EXPECT_EQ(r.bottom, 2 * at_96[i].bottom) << "control " << i;
    }

    MoveToDisplay(form, 96, RECT{100, 80, 300, 230});
    EXPECT_EQ(FontHeight(form.Font()), -11);
    for (size_t i = 0; i < at_96.size(); ++i) {
        const RECT r = PlaceOf(controls[i]);
        EXPECT_TRUE(EqualRect(&r, &at_96[i])) << "control " << i << " not back in its place";
    }
}

}  // namespace
