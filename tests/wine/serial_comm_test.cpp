// The serial component against real devices under Wine: the loopback peer on COM3 and COM12,
// a mapped port with nothing behind it, a name that is no device, and a plain file.
#include "serial/serial_comm.h"

#include "tests/wine/wine_ports.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

std::string TempFilePath() {
    char folder[MAX_PATH];
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "q42", 0, path);
    return path;
}

void ExpectCommError(const std::function<void()>& action, const std::string& text, int32_t code) {
    try {
        action();
        ADD_FAILURE() << "no ECommError; expected: " << text;
    } catch (const ECommError& e) {
        EXPECT_EQ(std::string(e.what()), text);
        EXPECT_EQ(e.ErrorCode, code);
    }
}

TEST(CommOpen, FailuresSayWhichStepFailedAndLeaveThePortClosed) {
    const std::string plain_file = TempFilePath();
    const struct {
        std::string name;
        std::string text;
        int32_t code;
    } rows[] = {
        {kUnmappedPort, "Error accessing specified device (Error: 2) ", 2},
        // Under Wine a mapped port with no device behind it opens as an unknown file type.
        {kMissingPort, "Invalid device handle, access denied (Error: -1) ", -1},
        {plain_file, "Invalid device handle, access denied (Error: -1) ", -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TComm comm;
        comm.SetDeviceName(row.name);
        ExpectCommError([&] { comm.Open(); }, row.text, row.code);
        EXPECT_FALSE(comm.IsOpen());
        EXPECT_EQ(comm.DeviceName(), row.name);
    }
    // The handle of the plain file was released: the file can be opened exclusively again.
    HANDLE again = CreateFileA(plain_file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
    DeleteFileA(plain_file.c_str());
}

TEST(CommOpen, PortsAboveCom9OpenAndKeepTheirName) {
    for (const char* name : {kLoopbackPort, kHighLoopbackPort}) {
        SCOPED_TRACE(name);
        TComm comm;
        comm.SetDeviceName(name);
        comm.Open();
        EXPECT_TRUE(comm.IsOpen());
        EXPECT_EQ(comm.DeviceName(), name);
        comm.Close();
        EXPECT_FALSE(comm.IsOpen());
    }
}

TEST(CommOpen, OpenOnAnOpenPortStartsAfreshWithItsThread) {
    int32_t received = 0;
    TComm comm;
    comm.SetDeviceName(kLoopbackPort);
    comm.OnRxChar = [&](TCustomComm* sender, int32_t count) {
        char bytes[64];
        received += sender->Read(bytes, std::min<int32_t>(count, sizeof bytes));
    };
    comm.Open();
    comm.Open();  // must close the first handle, or the exclusive open would fail
    ASSERT_TRUE(comm.IsOpen());
    comm.Write("ping", 4);
    EXPECT_TRUE(PumpUntil([&] { return received == 4; }, 5000)) << received;
    comm.Close();
}

TEST(CommProperties, RefusedWhileOpenWithTheValueKept) {
    TComm comm;
    comm.SetDeviceName(kLoopbackPort);
    comm.Open();
    const std::string refused = "Device already assigned (open) (Error: -1) ";
    ExpectCommError([&] { comm.SetDeviceName("COM4"); }, refused, -1);
    ExpectCommError([&] { comm.SetMonitorEvents(1); }, refused, -1);
    ExpectCommError([&] { comm.SetReadBufSize(100); }, refused, -1);
    ExpectCommError([&] { comm.SetWriteBufSize(100); }, refused, -1);
    EXPECT_EQ(comm.DeviceName(), kLoopbackPort);
    EXPECT_EQ(comm.MonitorEvents(), 0x01FF);
    EXPECT_EQ(comm.ReadBufSize(), 4096);
    EXPECT_EQ(comm.WriteBufSize(), 2048);
    EXPECT_TRUE(comm.IsOpen());
}

// A pty keeps its rate and stop bits but not parity or data bits (Wine refuses seven data
// bits there, error 87), so those two are left to the control-block tests.
TEST(CommProperties, LineSettingsReachTheOpenDevice) {
    const struct {
        const char* name;
        std::function<void(TComm&)> change;
        std::function<bool(const DCB&)> seen;
    } rows[] = {
        {"BaudRate", [](TComm& c) { c.SetBaudRate(TBaudRate::cbr19200); },
         [](const DCB& b) { return b.BaudRate == 19200; }},
        {"Stopbits", [](TComm& c) { c.SetStopbits(TStopbits::sb20); },
         [](const DCB& b) { return b.StopBits == TWOSTOPBITS; }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TTestComm comm;
        comm.SetDeviceName(kLoopbackPort);
        comm.Open();
        row.change(comm);
        DCB block{};
        block.DCBlength = sizeof block;
        ASSERT_TRUE(GetCommState(comm.DeviceHandle(), &block));
        EXPECT_TRUE(row.seen(block));
    }
}

// Setting a property to its present value must not touch the device: the device's rate is
// changed behind the component's back, and a setter that rebuilt the control block anyway
// would put 9600 back.
TEST(CommProperties, SettingThePresentValueDoesNothingAtAll) {
    TTestComm comm;
    comm.SetDeviceName(kLoopbackPort);
    comm.Open();
    DCB block{};
    block.DCBlength = sizeof block;
    ASSERT_TRUE(GetCommState(comm.DeviceHandle(), &block));
    block.BaudRate = 2400;
    ASSERT_TRUE(SetCommState(comm.DeviceHandle(), &block));

    const std::pair<const char*, std::function<void()>> setters[] = {
        {"BaudRate", [&] { comm.SetBaudRate(comm.BaudRate()); }},
        {"Parity", [&] { comm.SetParity(comm.Parity()); }},
        {"Stopbits", [&] { comm.SetStopbits(comm.Stopbits()); }},
        {"Databits", [&] { comm.SetDatabits(comm.Databits()); }},
        {"Options", [&] { comm.SetOptions(comm.Options()); }},
        {"FlowControl", [&] { comm.SetFlowControl(comm.FlowControl()); }},
        {"XonChar", [&] { comm.EventChars().SetXonChar(comm.EventChars().XonChar()); }},
        {"XoffChar", [&] { comm.EventChars().SetXoffChar(comm.EventChars().XoffChar()); }},
    };
    for (const auto& [name, set_same] : setters) {
        set_same();
        ASSERT_TRUE(GetCommState(comm.DeviceHandle(), &block));
        EXPECT_EQ(block.BaudRate, 2400u) << name;
    }
    // A different value does reach the device, the rate included.
    comm.EventChars().SetXonChar(0x11 + 1);
    ASSERT_TRUE(GetCommState(comm.DeviceHandle(), &block));
    EXPECT_EQ(block.BaudRate, 9600u);
}

TEST(CommProperties, TimeOutsAtOpenAndWhenChanged) {
    TTestComm comm;
    comm.SetDeviceName(kLoopbackPort);
    comm.SetCharsTimeOut(0);
    comm.Open();
    const struct {
        int32_t chars_time_out;
        DWORD interval;
    } rows[] = {{0, MAXDWORD}, {250, 250}, {0, MAXDWORD}};
    for (const auto& row : rows) {
        if (row.chars_time_out != comm.CharsTimeOut()) comm.SetCharsTimeOut(row.chars_time_out);
        COMMTIMEOUTS t{};
        ASSERT_TRUE(GetCommTimeouts(comm.DeviceHandle(), &t));
        EXPECT_EQ(t.ReadIntervalTimeout, row.interval) << row.chars_time_out;
        EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
        EXPECT_EQ(t.WriteTotalTimeoutConstant, 1500u);
    }
}

TEST(CommClosed, ReadWriteFailAndCloseIsHarmless) {
    TComm comm;
    char byte = 'x';
    EXPECT_EQ(comm.Write(&byte, 1), -1);
    EXPECT_EQ(comm.Read(&byte, 1), -1);
    comm.Close();
    comm.SetDeviceName(kLoopbackPort);
    comm.Open();
    comm.Close();
    comm.Close();
    EXPECT_FALSE(comm.IsOpen());
    EXPECT_EQ(comm.Write(&byte, 1), -1);
    EXPECT_EQ(comm.Read(&byte, 1), -1);
}

}  // namespace
