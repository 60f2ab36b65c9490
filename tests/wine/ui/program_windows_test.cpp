// The program's own windows and helpers under Wine: the directory of the settings file, the
// port message, reading the program file back, the setup window's first selection and the
// terminal's drawing.
#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "setup/setup_window.h"
#include "terminal/terminal_window.h"
#include "tests/wine/ui/ui_test_support.h"
#include "update/program_file.h"
#include "winui/application.h"

namespace {

TEST(ExeDirectoryOf, KeepsTheFirst255CharactersUpToTheLastBackslash) {
    const std::string long_folder = "C:\\" + std::string(250, 'a') + "\\";  // 254 characters
    const struct {
        std::string path;
        std::string directory;
    } cases[] = {
        {"C:\\Program Files\\Q42\\Q42Update.exe", "C:\\Program Files\\Q42\\"},
        {"Q42Update.exe", ""},
        {"C:\\Q42Update.exe", "C:\\"},
        {long_folder + "Q42Update.exe", long_folder},
        // The backslash at place 256 is cut off with the name, so the parent is taken.
        {long_folder + "b\\Q42Update.exe", long_folder},
    };
    for (const auto& c : cases) EXPECT_EQ(DirectoryOfPath(c.path), c.directory) << c.path;
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
        char folder[MAX_PATH];
        char name[MAX_PATH];
        GetTempPathA(MAX_PATH, folder);
        GetTempFileNameA(folder, "q42", 0, name);
        path = name;
    }
    void TearDown() override { DeleteFileA(path.c_str()); }
    void Write(const std::vector<uint8_t>& bytes) const {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        ASSERT_EQ(written, bytes.size());
    }

    std::string path;
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
}

TEST_F(ProgramFileTest, AMissingFileRaisesAFailureNamingIt) {
    DeleteFileA(path.c_str());
    uint8_t buffer[16];
    try {
        ReadProgramFile(path, buffer, sizeof buffer);
        ADD_FAILURE() << "no failure for a missing file";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
}

TEST(SetupWindow, ShowingSelectsThePortInUseWithoutReopeningIt) {
    EnsureApplication();
    TForm15 setup;
    setup.Create();
    // Form1 does not exist here: a reopen would reach for its port and fail the test.
    ASSERT_EQ(Form1, nullptr);
    const struct {
        uint8_t index;
        int selected;
    } cases[] = {{2, 2}, {20, 15}, {255, 15}, {0, 0}};
    for (const auto& c : cases) {
        CommsPortIndex = c.index;
        PostMessageA(setup.Handle(), WM_CLOSE, 0, 0);
        setup.ShowModal();
        EXPECT_EQ(setup.RadioGroup2.ItemIndex(), c.selected) << int(c.index);
        EXPECT_EQ(CommsPortIndex, c.index);
        EXPECT_FALSE(setup.SuppressPortClick);
    }
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
    Receive("\x1d" "AB");
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
