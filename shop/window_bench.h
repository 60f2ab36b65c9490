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

    // Starts the bench on a thread of its own, which opens the ports (one that cannot be opened
    // is said in the start's notes and left out) and then runs it. False, with why in error,
    // when it cannot start.
    bool Start(const std::vector<TickedPort>& ticked, bool skip_current, const SessionImage& image,
               const std::string& record_path, std::string& error);
    // The notes of the ports' opening, since the last call.
    std::vector<std::string> TakeStartNotes();
    // The ports are open and the bench runs on them: Devices and Rows are there from now on.
    bool Opened() const { return opened_; }
    // Stop's press: the first lets the writes end and starts no new radio, a second stops
    // each write at its next frame.
    void RequestStop();
    int Stops() const { return stops_; }
    // The program is being ended: each write stops at its next frame, and its record line is
    // written, within ms at most.
    void StopNowAndWait(DWORD ms);
    // Started and not yet over.
    bool Running() const { return thread_.Valid(); }
    // The bench is over: its thread is gone and its ports are put back. Then Running is false.
    bool TakeEnd();
    // Radios being written now.
    int Writes() const { return writes_; }
    // The device of each of the bench's rows, in its order.
    const std::vector<std::string>& Devices() const { return devices_; }
    BenchRows* Rows() { return opened_ ? rows_.get() : nullptr; }
    // The label field of the bench's row now reads text.
    void SetLabel(size_t port, const std::string& text);
    // The bench's rows whose label was taken by a radio since the last call: their fields are
    // to be emptied.
    std::vector<size_t> TakeUsedLabels();

    // BenchSystem
    uint64_t NowNs() override;
    bool Wait(SerialPort* const* ports, size_t count, uint64_t until_ns) override;
    int StopRequests() override { return stops_; }
    // Stop is the window's Ctrl-C: a radio it stops is recorded with Ctrl-C's status, 130.
    int LastStopSignal() override { return 2; }
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
    void OpenAndRun();

    FlashOptions options_;
    SessionImage image_;
    std::unique_ptr<ListenedPorts> ports_;
    std::unique_ptr<BenchRows> rows_;
    std::unique_ptr<AppendFile> record_;
    std::unique_ptr<BenchGiven> given_;
    std::vector<PortCandidate> candidates_;
    std::string run_;
    std::string computer_;
    std::vector<std::string> devices_;
    OwnedHandle thread_;
    std::atomic<int> stops_{0};
    std::atomic<int> writes_{0};
    std::atomic<bool> opened_{false};
    std::atomic<bool> over_{false};
    std::mutex mutex_;  // for what follows, shared by the two threads
    std::vector<std::string> labels_;
    std::vector<size_t> used_labels_;
    std::vector<std::string> start_notes_;
};
