// The serial port component: one PC serial port, its line settings, reads and writes, and
// the port's events, delivered to handlers on the user-interface thread by the event thread.
#pragma once

#include <windows.h>

#include "core/q42_protocol.h"
#include "winports/owned_handle.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

enum class TBaudRate : uint8_t {
    cbr110,
    cbr300,
    cbr600,
    cbr1200,
    cbr2400,
    cbr4800,
    cbr9600,
    cbr14400,
    cbr19200,
    cbr38400,
    cbr56000,
    cbr57600,
    cbr115200,
    cbr128000,
    cbr256000
};
enum class TParity : uint8_t { paNone, paOdd, paEven, paMark, paSpace };
enum class TStopbits : uint8_t { sb10, sb15, sb20 };
enum class TDatabits : uint8_t { da4, da5, da6, da7, da8 };
// The rates in baud, in the enumeration's order.
inline constexpr std::array<uint32_t, 15> kBaudRates = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                                        19200, 38400, 56000, 57600, 115200, 128000, 256000};

constexpr TBaudRate BaudRateOf(uint32_t baud) {
    uint8_t n = 0;
    while (n + 1u < kBaudRates.size() && kBaudRates[n] != baud) ++n;
    return static_cast<TBaudRate>(n);
}

// The port's defaults are the radio's link.
inline constexpr TBaudRate kLinkTBaudRate = BaudRateOf(kLinkBaudRate);
static_assert(kBaudRates[static_cast<uint8_t>(kLinkTBaudRate)] == kLinkBaudRate, "the link's rate is not a TBaudRate");
inline constexpr TParity kLinkTParity = static_cast<TParity>(kLinkParity);
inline constexpr TStopbits kLinkTStopbits = kLinkStopBits == 2 ? TStopbits::sb20 : TStopbits::sb10;
inline constexpr TDatabits kLinkTDatabits = static_cast<TDatabits>(kLinkDataBits - 4);
enum class TFlowControl : uint8_t { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };
enum class TCommOption : uint8_t { coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coNullStrip };
// The order of the events is the order in which several events of one wait are dispatched.
enum class TCommEventState : uint8_t { evBreak, evCTS, evDSR, evError, evRing, evRlsd, evRxChar, evRxFlag, evTxEmpty };

// Sets: bit n stands for the enumerator of ordinal n.
using TCommOptions = uint8_t;
using TCommEventType = uint16_t;
constexpr TCommOptions OptionBit(TCommOption o) { return static_cast<TCommOptions>(1u << static_cast<unsigned>(o)); }
constexpr TCommEventType EventBit(TCommEventState e) {
    return static_cast<TCommEventType>(1u << static_cast<unsigned>(e));
}

class ECommError : public std::runtime_error {
public:
    ECommError(const std::string& step, int32_t code);
    int32_t ErrorCode;
};

class TCustomComm;
using TNotifyEvent = std::function<void(TCustomComm* sender)>;
using TCommRxCharEvent = std::function<void(TCustomComm* sender, int32_t count)>;
using TCommErrorEvent = std::function<void(TCustomComm* sender, int32_t errors)>;

class TCommEventThread;
class TCommWriter;
struct TLineSettings;

// Holds the XON and XOFF characters; a change is applied to the open device at once.
class TCommEventChars {
public:
    explicit TCommEventChars(TCustomComm& owner) : owner_(owner) {}
    char XonChar() const { return xon_; }
    char XoffChar() const { return xoff_; }
    void SetXonChar(char c);
    void SetXoffChar(char c);

private:
    TCustomComm& owner_;
    char xon_ = 17;   // DC1
    char xoff_ = 19;  // DC3
};

// Everything runs on the user-interface thread; the event thread only waits for port
// events and hands each completed wait over to HandleEvents, and the writer thread only
// sends the bytes that Write has queued.
class TCustomComm {
public:
    TCustomComm();
    virtual ~TCustomComm();
    TCustomComm(const TCustomComm&) = delete;
    TCustomComm& operator=(const TCustomComm&) = delete;

    void Open();
    void Close();
    bool IsOpen() const { return Handle != INVALID_HANDLE_VALUE; }
    int32_t Write(const void* buffer, int32_t count);
    int32_t Read(void* buffer, int32_t count);

    const std::string& DeviceName() const { return device_name_; }
    void SetDeviceName(const std::string& name);
    TCommEventType MonitorEvents() const { return monitor_events_; }
    void SetMonitorEvents(TCommEventType events);
    TBaudRate BaudRate() const { return baud_rate_; }
    void SetBaudRate(TBaudRate rate);
    TParity Parity() const { return parity_; }
    void SetParity(TParity parity);
    TStopbits Stopbits() const { return stopbits_; }
    void SetStopbits(TStopbits stopbits);
    TDatabits Databits() const { return databits_; }
    void SetDatabits(TDatabits databits);
    int32_t ReadBufSize() const { return read_buf_size_; }
    void SetReadBufSize(int32_t size);
    int32_t WriteBufSize() const { return write_buf_size_; }
    void SetWriteBufSize(int32_t size);
    int32_t CharsTimeOut() const { return chars_time_out_; }
    void SetCharsTimeOut(int32_t milliseconds);
    TCommOptions Options() const { return options_; }
    void SetOptions(TCommOptions options);
    TFlowControl FlowControl() const { return flow_control_; }
    void SetFlowControl(TFlowControl flow);
    TCommEventChars& EventChars() { return event_chars_; }

    void UpdateDataControlBlock();
    void DestroyHandle();
    // Run on the user-interface thread for each completed wait of the event thread.
    void HandleEvents(TCommEventThread* sender, DWORD event_mask);

    // Handlers; a plain store, called with this component as sender.
    TNotifyEvent OnBreak, OnCTS, OnDSR, OnRing, OnRLSD, OnRxFlag, OnTxEmpty;
    TCommErrorEvent OnError;
    TCommRxCharEvent OnRxChar;

protected:
    virtual void CreateHandle();
    virtual void DoEvent(DWORD event_bit);

    HANDLE Handle = INVALID_HANDLE_VALUE;
    DCB ControlBlock{};
    COMSTAT QueueStatus{};
    // Its own completion signal, so that waiting for a read is not confused by a write
    // ending on the same handle; the writes' record is the writer's.
    OVERLAPPED ReadRequest{};
    DWORD LineErrors = 0;

private:
    TLineSettings LineSettings() const;
    void ApplyTimeOuts();
    void RefuseWhileOpen() const;
    // A line setting is applied only when it changes: the same value makes no device call.
    template <class T>
    void ChangeLineSetting(T& field, T value) {
        if (value == field) return;
        field = value;
        UpdateDataControlBlock();
    }
    std::string device_name_ = "Com2";
    std::unique_ptr<TCommEventThread> EventThread;
    std::unique_ptr<TCommWriter> Writer;
    TCommEventType monitor_events_ = 0x01FF;  // all nine events
    TBaudRate baud_rate_ = kLinkTBaudRate;
    TParity parity_ = kLinkTParity;
    TStopbits stopbits_ = kLinkTStopbits;
    TDatabits databits_ = kLinkTDatabits;
    int32_t read_buf_size_ = 4096;
    int32_t write_buf_size_ = 2048;
    int32_t chars_time_out_ = 250;
    TCommOptions options_ = 0;
    TCommEventChars event_chars_{*this};
    TFlowControl flow_control_ = TFlowControl::fcDefault;
    OwnedHandle read_done_;
};

// The type of the program's port; it adds nothing to TCustomComm.
class TComm : public TCustomComm {};
