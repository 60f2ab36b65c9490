// The serial component's properties turned into the system's records: the device control
// block, the time-outs and the event mask. Pure functions, so their rules can be checked
// without a device (Wine refuses some control-block values that Windows accepts).
#pragma once

#include "serial/serial_comm.h"

#include <windows.h>

#include <array>

struct TLineSettings {
    TBaudRate BaudRate;
    TParity Parity;
    TStopbits Stopbits;
    TDatabits Databits;
    char XonChar;
    char XoffChar;
    int32_t ReadBufSize;
    TFlowControl FlowControl;
    TCommOptions Options;
};

// The system's event bit of each TCommEventState, in the enumeration's (dispatch) order.
constexpr std::array<DWORD, 9> kEventBits = {EV_BREAK, EV_CTS,    EV_DSR,    EV_ERR,    EV_RING,
                                             EV_RLSD,  EV_RXCHAR, EV_RXFLAG, EV_TXEMPTY};

// Every write is given this long in all, whatever its size.
constexpr DWORD kWriteTotalTimeOutMs = 1500;

DWORD BaudRateValue(TBaudRate rate);
DWORD SystemEventMask(TCommEventType events);
// Sets the fields the component owns and leaves every other field as the device reported it.
void FillControlBlock(DCB& block, const TLineSettings& settings);
COMMTIMEOUTS CommTimeoutsFor(int32_t chars_time_out);
