// The program's own windows and helpers under Wine: the directory of the settings file, the
// port message, reading the program file back, the setup window's group and list of ports,
// and the terminal's drawing.
#include <gtest/gtest.h>

#include <windows.h>

#include <dbt.h>

#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "device/device_link.h"
#include "setup/setup_window.h"
#include "terminal/terminal_window.h"
#include "tests/wine/ui/ui_test_support.h"
#include "update/program_file.h"
#include "winports/wide_text.h"
#include "winui/application.h"

namespace {

TEST(ExeDirectoryOf, KeepsTheFirst255CharactersUpToTheLastBackslash) {
    const std::wstring long_folder = L"C:\\" + std::wstring(250, L'a') + L"\\";  // 254 characters
    const struct {
        std::wstring path;
        std::wstring directory;
    } cases[] = {
        {L"C:\\Program Files\\Q42\\Q42Update.exe", L"C:\\Program Files\\Q42\\"},
        {L"Q42Update.exe", L""},
        {L"C:\\Q42Update.exe", L"C:\\"},
        {long_folder + L"Q42Update.exe", long_folder},
        // The backslash at place 256 is cut off with the name, so the parent is taken.
        {long_folder + L"b\\Q42Update.exe", long_folder},
    };
    for (const auto& c : cases) EXPECT_EQ(DirectoryOfPath(c.path), c.directory) << Utf8FromWide(c.path);
}

TEST(PortMessage, NamesThePortInTheUsersWords) {
    EXPECT_EQ(PortNotAvailableMessage(3),
              "The selected port COM3 is not available, please choose another if possible or free "
              "this port if it is in use by another application.");
    EXPECT_NE(PortNotAvailableMessage(256).find("port COM256 is"), std::string::npos);
}

class ProgramFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t folder[MAX_PATH];
        GetTempPathW(MAX_PATH, folder);
        // A name outside every ANSI code page: the program's folder may have one.
        path = std::wstring(folder) + L"q42_\u043e\u0431\u0440\u0430\u0437_\u56fa\u4ef6.exe";
    }
    void TearDown() override { DeleteFileW(path.c_str()); }
    void Write(const std::vector<uint8_t>& bytes) const {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        ASSERT_EQ(written, bytes.size());
    }

    std::wstring path;
};

TEST_F(ProgramFileTest, ReadsUpToTheBufferAndGivesTheWholeSize) {
    std::vector<uint8_t> bytes(5000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    Write(bytes);
    const struct {
        size_t capacity;
        size_t read;
    } cases[] = {{8192, 5000}, {5000, 5000}, {4096, 4096}};
    for (const auto& c : cases) {
        std::vector<uint8_t> buffer(c.capacity + 1, 0xEE);
        EXPECT_EQ(ReadProgramFile(path, buffer.data(), c.capacity), 5000u);
        EXPECT_EQ(std::memcmp(buffer.data(), bytes.data(), c.read), 0) << "capacity " << c.capacity;
        EXPECT_EQ(buffer[c.read], 0xEE) << "wrote past the read part, capacity " << c.capacity;
    }
    // Every read closed the file: it opens exclusively again.
    HANDLE again = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

TEST_F(ProgramFileTest, AMissingFileRaisesAFailureNamingIt) {
    DeleteFileW(path.c_str());
    uint8_t buffer[16];
    try {
        ReadProgramFile(path, buffer, sizeof buffer);
        ADD_FAILURE() << "no failure for a missing file";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(Utf8FromWide(path)), std::string::npos) << e.what();
    }
}

std::vector<ListedPort> FakePorts(std::initializer_list<unsigned> numbers) {
    std::vector<ListedPort> ports;
    for (unsigned n : numbers) ports.push_back(ListedPort{n, "Port (COM" + std::to_string(n) + ")"});
    return ports;
}

std::vector<std::string> ListTexts(const TListBox& list) {
    std::vector<std::string> texts;
    const int count = static_cast<int>(SendMessageA(list.Handle(), LB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        char text[256];
        const LRESULT length =
            SendMessageA(list.Handle(), LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        texts.emplace_back(text, length > 0 ? static_cast<size_t>(length) : 0);
    }
    return texts;
}

// What a user's click on an item does: the list selects it and tells the form.
void ChooseInList(TForm15& setup, int place) {
    SendMessageA(setup.ListBox1.Handle(), LB_SETCURSEL, static_cast<WPARAM>(place), 0);
    SendMessageA(setup.Handle(), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(setup.ListBox1.Handle()), LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(setup.ListBox1.Handle()));
}

void ChooseInGroup(TForm15& setup, int item) { SendMessageA(setup.RadioGroup2.Item(item), BM_CLICK, 0, 0); }

// The window grew for the list: the list is wholly inside it, under the OK button.
TEST(SetupWindow, TheListFitsUnderTheButtonInsideTheWindow) {
    EnsureApplication();
    TForm15 setup;
    setup.PresentPorts = [] { return FakePorts({1}); };
    setup.Create();
    auto place = [&setup](HWND control) {
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, setup.Handle(), reinterpret_cast<POINT*>(&r), 2);
        return r;
    };
    RECT client;
    GetClientRect(setup.Handle(), &client);
    const RECT list = place(setup.ListBox1.Handle());
    const RECT button = place(setup.BitBtn1.Handle());
    const RECT group = place(setup.RadioGroup2.Handle());
    EXPECT_GE(list.top, button.bottom);
    EXPECT_LE(list.bottom, client.bottom);
    EXPECT_LE(list.right, client.right);
    EXPECT_EQ(list.left, group.left);
    EXPECT_EQ(list.right, group.right);
}

TEST(SetupWindow, ShowingSelectsThePortInUseWithoutReopeningIt) {
    EnsureApplication();
    TForm15 setup;
    setup.PresentPorts = [] { return FakePorts({1, 3, 23}); };
    setup.Create();
    const std::string device_before = DeviceComm().DeviceName();
    const struct {
        uint8_t index;
        int group;
        int list;
    } cases[] = {{2, 2, 1}, {20, -1, -1}, {22, -1, 2}, {15, 15, -1}, {255, -1, -1}, {0, 0, 0}};
    for (const auto& c : cases) {
        CommsPortIndex = c.index;
        PostMessageA(setup.Handle(), WM_CLOSE, 0, 0);
        setup.ShowModal();
        EXPECT_EQ(setup.RadioGroup2.ItemIndex(), c.group) << int(c.index);
        EXPECT_EQ(setup.ListBox1.ItemIndex(), c.list) << int(c.index);
        EXPECT_EQ(CommsPortIndex, c.index);
        EXPECT_FALSE(setup.SuppressPortClick);
    }
    EXPECT_EQ(ListTexts(setup.ListBox1), (std::vector<std::string>{"Port (COM1)", "Port (COM3)", "Port (COM23)"}));
    // A reopen would have named the port.
    EXPECT_EQ(DeviceComm().DeviceName(), device_before);
    CommsPortIndex = 0;
}

// Every choice here fails to open, so each reopen shows one message: no rig test leads
// COM14 anywhere (a mapped port with nothing behind it), and COM99 is not mapped at all.
// A converter without a port, on either of its rows, shows its explanation and reopens
// nothing: a reopen would show a second message.
TEST(SetupWindow, AChoiceInEitherReopensOnceAndTheOtherFollows) {
    EnsureApplication();
    TForm15 setup;
    const std::vector<ListedPort> present =
        ListWithPortlessConverters(FakePorts({14, 99}), {{{"USB\\VID_1A86&PID_7523"}, "", "", 28}});
    const std::string explained = present.back().explains;
    setup.PresentPorts = [&present] { return present; };
    setup.Create();
    CommsPortIndex = 0;
    setup.Show();
    MessageBoxCatcher catcher;
    const struct {
        const char* what;
        bool in_list;
        int choice;
        unsigned port;
        int group;
        int list;
        bool explains;
    } steps[] = {
        {"COM14 in the list", true, 0, 14, 13, 0, false},
        {"COM99 in the list", true, 1, 99, -1, 1, false},
        {"the converter", true, 2, 99, -1, 1, true},
        {"COM14 in the group", false, 13, 14, 13, 0, false},
        {"the converter's reason", true, 3, 14, 13, 0, true},
        {"COM15 in the group", false, 14, 15, 14, -1, false},
        {"COM99 in the list again", true, 1, 99, -1, 1, false},
    };
    size_t boxes = 0;
    for (const auto& step : steps) {
        if (step.in_list) {
            ChooseInList(setup, step.choice);
        } else {
            ChooseInGroup(setup, step.choice);
        }
        ASSERT_EQ(catcher.Boxes().size(), ++boxes) << step.what;
        EXPECT_EQ(catcher.Boxes().back().text, step.explains ? explained : PortNotAvailableMessage(step.port))
            << step.what;
        EXPECT_EQ(CommsPortIndex, step.port - 1) << step.what;
        EXPECT_FALSE(PortOpen) << step.what;
        EXPECT_EQ(setup.RadioGroup2.ItemIndex(), step.group) << step.what;
        EXPECT_EQ(setup.ListBox1.ItemIndex(), step.list) << step.what;
    }
    // The item already chosen, clicked again, is no new choice.
    ChooseInList(setup, 1);
    EXPECT_EQ(catcher.Boxes().size(), boxes);
    setup.Close();
    CommsPortIndex = 0;
}

TEST(SetupWindow, ADeviceChangeWhileShownRefillsTheListKeepingThePortInUse) {
    EnsureApplication();
    TForm15 setup;
    std::vector<ListedPort> present = FakePorts({1, 23});
    int reads = 0;
    setup.PresentPorts = [&] {
        ++reads;
        return present;
    };
    setup.Create();
    present = FakePorts({1, 17, 23});
    SendMessageA(setup.Handle(), WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0);
    EXPECT_EQ(reads, 0) << "the hidden window asked for the ports";

    CommsPortIndex = 22;
    present = FakePorts({1, 23});
    setup.Show();
    EXPECT_EQ(setup.ListBox1.ItemIndex(), 1);
    const struct {
        WPARAM change;
        std::initializer_list<unsigned> present;
        std::vector<std::string> shown;
        int selected;
    } cases[] = {
        {DBT_DEVICEARRIVAL, {1, 17, 23}, {"Port (COM1)", "Port (COM17)", "Port (COM23)"}, 2},
        {DBT_DEVICEREMOVECOMPLETE, {17, 23}, {"Port (COM17)", "Port (COM23)"}, 1},
        {DBT_DEVNODES_CHANGED, {17}, {"Port (COM17)"}, -1},
        {DBT_DEVNODES_CHANGED, {3, 23}, {"Port (COM3)", "Port (COM23)"}, 1},
    };
    for (const auto& c : cases) {
        present = FakePorts(c.present);
        SendMessageA(setup.Handle(), WM_DEVICECHANGE, c.change, 0);
        EXPECT_EQ(ListTexts(setup.ListBox1), c.shown);
        EXPECT_EQ(setup.ListBox1.ItemIndex(), c.selected);
    }
    EXPECT_EQ(CommsPortIndex, 22);
    EXPECT_EQ(setup.RadioGroup2.ItemIndex(), -1);
    setup.Close();
    CommsPortIndex = 0;
}

class TerminalDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureApplication();
        terminal.Create();
        terminal.Show();
        UpdateWindow(terminal.Handle());
    }
    COLORREF Pixel(int x, int y) const {
        HDC dc = GetDC(terminal.Handle());
        const COLORREF colour = GetPixel(dc, x, y);
        ReleaseDC(terminal.Handle(), dc);
        return colour;
    }
    // Whether any pixel of the character cell of 1-based column c, row r is black.
    bool CellInked(int c, int r) const {
        for (int y = 14 * r + 21; y < 14 * r + 35; ++y) {
            for (int x = 8 * c + 8; x < 8 * c + 16; ++x) {
                if (Pixel(x, y) == RGB(0, 0, 0)) return true;
            }
        }
        return false;
    }
    void Receive(const char* bytes) {
        terminal.Screen.Receive(reinterpret_cast<const uint8_t*>(bytes), static_cast<int>(std::strlen(bytes)));
    }

    TForm2 terminal;
};

TEST_F(TerminalDrawing, TextAndMarkLandOnTheGridAndAClearRepaintsAtOnce) {
    Receive(
        "\x1d"
        "AB");
    EXPECT_TRUE(CellInked(1, 1));
    EXPECT_TRUE(CellInked(2, 1));
    EXPECT_FALSE(CellInked(3, 1));
    // The mark stands under column 3 of row 1: y = 49, x = 32 .. 39.
    for (int x = 32; x < 40; ++x) EXPECT_EQ(Pixel(x, 49), RGB(0, 0, 0)) << "x " << x;
    EXPECT_EQ(Pixel(40, 49), RGB(255, 255, 255));
    EXPECT_EQ(Pixel(31, 49), RGB(255, 255, 255));

    Receive("\x1d");
    EXPECT_FALSE(CellInked(1, 1));
    EXPECT_FALSE(CellInked(2, 1));
    for (int x = 16; x < 24; ++x) EXPECT_EQ(Pixel(x, 49), RGB(0, 0, 0)) << "x " << x;
}

}  // namespace
