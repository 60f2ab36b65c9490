// The rules by which the serial component fills the device control block, the time-outs and
// the event mask, checked without a device (Wine refuses RTS toggle mode, which fcNone,
// fcCTS, fcDTR and fcSoftware ask for).
#include "serial/comm_settings.h"

#include <gtest/gtest.h>

namespace {

TLineSettings DefaultSettings() {
    return TLineSettings{
        TBaudRate::cbr9600, TParity::paNone, TStopbits::sb10, TDatabits::da8, 17, 19, 4096, TFlowControl::fcDefault, 0};
}

// A control block as a device might report it: every flow-control flag the opposite of what
// the component would set, and fields the component must never touch given odd values.
DCB DeviceBlock() {
    DCB block{};
    block.DCBlength = sizeof block;
    block.fBinary = 1;
    block.fOutxCtsFlow = 1;
    block.fOutxDsrFlow = 1;
    block.fDtrControl = DTR_CONTROL_HANDSHAKE;
    block.fRtsControl = RTS_CONTROL_HANDSHAKE;
    block.fOutX = 1;
    block.fInX = 1;
    block.fAbortOnError = 1;
    block.ErrorChar = '?';
    block.EofChar = 26;
    block.EvtChar = '\r';
    return block;
}

struct FlowRow {
    TFlowControl flow;
    DWORD cts, rts, dsr, dtr, out_x, in_x;
};

class FlowControlRules : public testing::TestWithParam<FlowRow> {};

TEST_P(FlowControlRules, SetTheHandshakeFlags) {
    const FlowRow row = GetParam();
    TLineSettings settings = DefaultSettings();
    settings.FlowControl = row.flow;
    DCB block = DeviceBlock();
    FillControlBlock(block, settings);
    EXPECT_EQ(block.fOutxCtsFlow, row.cts);
    EXPECT_EQ(block.fRtsControl, row.rts);
    EXPECT_EQ(block.fOutxDsrFlow, row.dsr);
    EXPECT_EQ(block.fDtrControl, row.dtr);
    EXPECT_EQ(block.fOutX, row.out_x);
    EXPECT_EQ(block.fInX, row.in_x);
}

INSTANTIATE_TEST_SUITE_P(EachSetting, FlowControlRules,
                         testing::Values(
                             // fcDefault leaves the device's flags as they were.
                             FlowRow{TFlowControl::fcDefault, 1, RTS_CONTROL_HANDSHAKE, 1, DTR_CONTROL_HANDSHAKE, 1, 1},
                             FlowRow{TFlowControl::fcNone, 0, RTS_CONTROL_TOGGLE, 0, DTR_CONTROL_ENABLE, 0, 0},
                             FlowRow{TFlowControl::fcCTS, 1, RTS_CONTROL_TOGGLE, 0, DTR_CONTROL_ENABLE, 0, 0},
                             FlowRow{TFlowControl::fcDTR, 0, RTS_CONTROL_TOGGLE, 1, DTR_CONTROL_ENABLE, 0, 0},
                             FlowRow{TFlowControl::fcSoftware, 0, RTS_CONTROL_TOGGLE, 0, DTR_CONTROL_ENABLE, 1, 1}));

TEST(ControlBlock, EachOptionSwitchesItsOwnFlagOnly) {
    const TCommOption options[] = {TCommOption::coParityCheck, TCommOption::coDsrSensitivity, TCommOption::coIgnoreXOff,
                                   TCommOption::coErrorChar, TCommOption::coNullStrip};
    for (TCommOption option : options) {
        SCOPED_TRACE(static_cast<int>(option));
        TLineSettings settings = DefaultSettings();
        settings.Options = OptionBit(option);
        DCB block = DeviceBlock();
        block.fParity = block.fDsrSensitivity = block.fTXContinueOnXoff = block.fErrorChar = block.fNull = 1;
        FillControlBlock(block, settings);
        const DWORD flags[] = {block.fParity, block.fDsrSensitivity, block.fTXContinueOnXoff, block.fErrorChar,
                               block.fNull};
        for (size_t n = 0; n < 5; ++n) EXPECT_EQ(flags[n], n == static_cast<size_t>(option) ? 1u : 0u) << n;
    }
}

TEST(ControlBlock, XonXoffLimitsAreAQuarterOfTheReceiveQueue) {
    const struct {
        int32_t read_buf_size;
        WORD limit;
    } rows[] = {{4096, 1024}, {4099, 1024}, {4095, 1023}, {3, 0}, {262140, 65535}};
    for (const auto& row : rows) {
        TLineSettings settings = DefaultSettings();
        settings.ReadBufSize = row.read_buf_size;
        DCB block = DeviceBlock();
        FillControlBlock(block, settings);
        EXPECT_EQ(block.XonLim, row.limit) << row.read_buf_size;
        EXPECT_EQ(block.XoffLim, row.limit) << row.read_buf_size;
    }
}

TEST(ControlBlock, LineSettingsTakeTheSystemsCodes) {
    TLineSettings settings = DefaultSettings();
    settings.BaudRate = TBaudRate::cbr56000;
    settings.Parity = TParity::paMark;
    settings.Stopbits = TStopbits::sb15;
    settings.Databits = TDatabits::da5;
    settings.XonChar = 'Q';
    settings.XoffChar = 'S';
    DCB block = DeviceBlock();
    FillControlBlock(block, settings);
    EXPECT_EQ(block.BaudRate, 56000u);
    EXPECT_EQ(block.Parity, MARKPARITY);
    EXPECT_EQ(block.StopBits, ONE5STOPBITS);
    EXPECT_EQ(block.ByteSize, 5);
    EXPECT_EQ(block.XonChar, 'Q');
    EXPECT_EQ(block.XoffChar, 'S');
    // What the component does not own stays as the device reported it.
    EXPECT_EQ(block.EvtChar, '\r');
    EXPECT_EQ(block.ErrorChar, '?');
    EXPECT_EQ(block.EofChar, 26);
    EXPECT_EQ(block.fBinary, 1u);
    EXPECT_EQ(block.fAbortOnError, 1u);
}

TEST(EventMask, EachEventTakesItsSystemBit) {
    const auto bit = [](TCommEventState e) { return EventBit(e); };
    const struct {
        TCommEventType events;
        DWORD mask;
    } rows[] = {
        {static_cast<TCommEventType>(bit(TCommEventState::evRxChar) | bit(TCommEventState::evTxEmpty)), 0x0005},
        {bit(TCommEventState::evBreak), EV_BREAK},
        {bit(TCommEventState::evError), EV_ERR},
        {bit(TCommEventState::evRlsd), EV_RLSD},
        {0x01FF, 0x01FF},
        {0, 0},
    };
    for (const auto& row : rows) EXPECT_EQ(SystemEventMask(row.events), row.mask) << row.events;
}

TEST(TimeOuts, ReadsNeverWaitAtZeroAndWritesHaveOneAndAHalfSeconds) {
    const struct {
        int32_t chars_time_out;
        DWORD interval;
    } rows[] = {{0, MAXDWORD}, {250, 250}, {1, 1}};
    for (const auto& row : rows) {
        const COMMTIMEOUTS t = CommTimeoutsFor(row.chars_time_out);
        EXPECT_EQ(t.ReadIntervalTimeout, row.interval);
        EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
        EXPECT_EQ(t.ReadTotalTimeoutConstant, 0u);
        EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 0u);
        EXPECT_EQ(t.WriteTotalTimeoutConstant, 1500u);
    }
}

}  // namespace
