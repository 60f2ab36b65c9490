// Translation of the serial component's properties into DCB, COMMTIMEOUTS and event masks.
#include "serial/comm_settings.h"

namespace {

// Each option switches one DCB flag; the order is that of TCommOption.
void ApplyOptions(DCB& block, TCommOptions options) {
    const auto on = [options](TCommOption o) -> DWORD { return (options & OptionBit(o)) ? 1 : 0; };
    block.fParity = on(TCommOption::coParityCheck);
    block.fDsrSensitivity = on(TCommOption::coDsrSensitivity);
    block.fTXContinueOnXoff = on(TCommOption::coIgnoreXOff);
    block.fErrorChar = on(TCommOption::coErrorChar);
    block.fNull = on(TCommOption::coNullStrip);
}

void ApplyFlowControl(DCB& block, TFlowControl flow) {
    if (flow == TFlowControl::fcDefault) return;
    block.fOutxCtsFlow = 0;
    block.fRtsControl = RTS_CONTROL_TOGGLE;
    block.fOutxDsrFlow = 0;
    block.fDtrControl = DTR_CONTROL_ENABLE;
    block.fOutX = 0;
    block.fInX = 0;
    switch (flow) {
    case TFlowControl::fcCTS:
        block.fOutxCtsFlow = 1;
        break;
    case TFlowControl::fcDTR:
        block.fOutxDsrFlow = 1;
        break;
    case TFlowControl::fcSoftware:
        block.fOutX = 1;
        block.fInX = 1;
        break;
    case TFlowControl::fcNone:
    case TFlowControl::fcDefault:
        break;
    }
}

}  // namespace

DWORD BaudRateValue(TBaudRate rate) { return kBaudRates.at(static_cast<size_t>(rate)); }

DWORD SystemEventMask(TCommEventType events) {
    DWORD mask = 0;
    for (size_t n = 0; n < kEventBits.size(); ++n) {
        if (events & (1u << n)) mask |= kEventBits[n];
    }
    return mask;
}

void FillControlBlock(DCB& block, const TLineSettings& settings) {
    block.BaudRate = BaudRateValue(settings.BaudRate);
    block.Parity = static_cast<BYTE>(settings.Parity);
    block.StopBits = static_cast<BYTE>(settings.Stopbits);
    block.ByteSize = static_cast<BYTE>(4 + static_cast<int>(settings.Databits));
    block.XonChar = settings.XonChar;
    block.XoffChar = settings.XoffChar;
    // The XON/XOFF thresholds sit at a quarter of the receive queue (16-bit fields).
    block.XonLim = static_cast<WORD>(settings.ReadBufSize / 4);
    block.XoffLim = static_cast<WORD>(settings.ReadBufSize / 4);
    ApplyFlowControl(block, settings.FlowControl);
    ApplyOptions(block, settings.Options);
}

COMMTIMEOUTS CommTimeoutsFor(int32_t chars_time_out) {
    COMMTIMEOUTS timeouts{};
    // MAXDWORD with no total time-out: a read returns at once with what has arrived.
    timeouts.ReadIntervalTimeout = chars_time_out == 0 ? MAXDWORD : static_cast<DWORD>(chars_time_out);
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = kWriteTotalTimeOutMs;
    return timeouts;
}
