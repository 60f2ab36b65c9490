// The bench as the bench window runs it: the same bench as q42flash's, on a thread of its own,
// given the Windows platform's wait and ports, the window's stop button for Ctrl-C, its rows
// for the board and its label fields for the prompt. The window's thread never waits on the
// bench: it asks, and reads what the rows hold.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "flash/run/bench_rows.h"
#include "flash/run/command_line.h"
#include "flash/run/listened_ports.h"
#include "winports/owned_handle.h"

// A ticked row: its port, and the bench's name for it (the row's name field), "" for none.
struct TickedPort {
    std::string device;
    std::string position;
};

class WindowBench final : public BenchSystem, public RowLabels, public Bell {
public:
    WindowBench() = default;
    ~WindowBench() override;
    WindowBench(const WindowBench&) = delete;
    WindowBench& operator=(const WindowBench&) = delete;

    // Opens the ports (a port that cannot be opened is said in notes and left out) and starts
    // the bench on them. False, with why in notes, when it cannot start.
    bool Start(const std::vector<TickedPort>& ticked, bool skip_current, const SessionImage& image,
               const std::string& record_path, std::vector<std::string>& notes);
    // Stop's press: the first lets the writes end and starts no new radio, a second stops
    // each write at its next frame.
    void RequestStop();
    int Stops() const { return stops_; }
    // Started and not yet over.
    bool Running() const { return thread_.Valid(); }
    // The bench is over: its thread is gone and its ports are put back. Then Running is false.
    bool TakeEnd();
    // Radios being written now.
    int Writes() const { return writes_; }
    // The device of each of the bench's rows, in its order.
    const std::vector<std::string>& Devices() const { return devices_; }
    BenchRows* Rows() { return rows_.get(); }
    // The label field of the bench's row now reads text.
    void SetLabel(size_t port, const std::string& text);
    // The bench's rows whose label was taken by a radio since the last call: their fields are
    // to be emptied.
    std::vector<size_t> TakeUsedLabels();

    // BenchSystem
    uint64_t NowNs() override;
    bool Wait(SerialPort* const* ports, size_t count, uint64_t until_ns) override;
    int StopRequests() override { return stops_; }
    int LastStopSignal() override { return 0; }
    std::string StopHint() override;
    std::string StopAgainHint() override;
    void WritesUnderWay(int count) override { writes_ = count; }
    bool PortPresent(const std::string& device) override;
    std::unique_ptr<SerialPort> Reopen(const std::string& device, std::string& error) override;
    int64_t UnixSeconds() override;
    SerialSideSeen SerialSide() override;
    // RowLabels
    std::string Take(size_t port) override;
    // Bell
    void Ring() override;

private:
    static DWORD WINAPI Run(void* self);

    FlashOptions options_;
    SessionImage image_;
    std::unique_ptr<ListenedPorts> ports_;
    std::unique_ptr<BenchRows> rows_;
    std::unique_ptr<AppendFile> record_;
    std::unique_ptr<BenchGiven> given_;
    std::vector<std::string> devices_;
    OwnedHandle thread_;
    std::atomic<int> stops_{0};
    std::atomic<int> writes_{0};
    std::atomic<bool> over_{false};
    std::mutex labels_mutex_;
    std::vector<std::string> labels_;
    std::vector<size_t> used_labels_;
};
