// The bench window's bench; see window_bench.h.
#include "shop/window_bench.h"

#include <mmsystem.h>

#include <ctime>

#include "flash/run/platform.h"
#include "flash/run/port_choice.h"
#include "flash/run/radio_bench.h"
#include "flash/win32/serial_port.h"

namespace {

// The completion port serves every bench of the program's life; made once.
bool CompletionPortReady(std::string& error) {
    static bool ready = false;
    if (!ready) ready = PrepareCompletionPort(error);
    return ready;
}

}  // namespace

WindowBench::~WindowBench() {
    // The window closes only once the bench is over; a bench still running here is the
    // program's end, and its radios are stopped at their next frame rather than cut off.
    if (!Running()) return;
    StopNowAndWait(INFINITE);
    TakeEnd();
}

void WindowBench::StopNowAndWait(DWORD ms) {
    if (!Running()) return;
    if (stops_ < 2) stops_ = 2;
    WakeTheWait();
    WaitForSingleObject(thread_.Get(), ms);
}

bool WindowBench::Start(const std::vector<TickedPort>& ticked, bool skip_current, const SessionImage& image,
                        const std::string& record_path, std::string& error) {
    if (!CompletionPortReady(error)) return false;
    record_ = OpenAppendFile(record_path, error);
    if (record_ == nullptr) return false;
    options_ = FlashOptions();
    options_.yes = true;
    options_.all = true;
    options_.repeat = true;
    options_.bell = true;
    options_.skip_current = skip_current;
    image_ = image;
    image_.skip_current = skip_current;
    candidates_.clear();
    // Not named as --port names a port: a ticked port where no radio comes has no row in the record.
    for (const TickedPort& port : ticked) candidates_.push_back(PortCandidate{port.device, port.position, false, ""});
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        labels_.clear();
        used_labels_.clear();
        start_notes_.clear();
    }
    stops_ = 0;
    writes_ = 0;
    opened_ = false;
    over_ = false;
    run_ = NewRunId(UnixSeconds());
    computer_ = ComputerName();
    // The links' 10 ms ticks, not the system's 15.6 ms ones.
    timeBeginPeriod(1);
    thread_.Reset(CreateThread(nullptr, 0, Run, this, 0, nullptr));
    if (!thread_.Valid()) {
        timeEndPeriod(1);
        error = "cannot start the bench (Error: " + std::to_string(GetLastError()) + ")";
        return false;
    }
    return true;
}

DWORD WINAPI WindowBench::Run(void* self) {
    static_cast<WindowBench*>(self)->OpenAndRun();
    return 0;
}

void WindowBench::OpenAndRun() {
    // The ports are opened here, not on the window's thread: a driver that stalls in its open
    // freezes nothing.
    ports_ = std::make_unique<ListenedPorts>(*this);
    const auto note = [this](const std::string& text) {
        const std::lock_guard<std::mutex> lock(mutex_);
        start_notes_.push_back(text);
    };
    if (OpenCandidates(candidates_, *ports_, note)) {
        devices_.clear();
        std::vector<std::string> names;
        for (size_t i = 0; i < ports_->size(); ++i) {
            devices_.push_back(ports_->device(i));
            names.push_back(ports_->at(i).shown);
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            labels_.assign(devices_.size(), "");
        }
        rows_ = std::make_unique<BenchRows>(names, image_);
        given_.reset(new BenchGiven{*this, *rows_, record_.get(), nullptr, nullptr, this, run_, computer_, this});
        opened_ = true;
        RunBench(options_, image_, *ports_, *given_);
    }
    ports_->CloseAll();
    writes_ = 0;
    over_ = true;
}

std::vector<std::string> WindowBench::TakeStartNotes() {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::vector<std::string> notes;
    notes.swap(start_notes_);
    return notes;
}

bool WindowBench::TakeEnd() {
    if (!Running() || !over_) return false;
    WaitForSingleObject(thread_.Get(), INFINITE);
    thread_.Reset(nullptr);
    timeEndPeriod(1);
    record_.reset();
    return true;
}

void WindowBench::RequestStop() {
    ++stops_;
    WakeTheWait();
}

void WindowBench::SetLabel(size_t port, const std::string& text) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (port < labels_.size()) labels_[port] = text;
}

std::vector<size_t> WindowBench::TakeUsedLabels() {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::vector<size_t> used;
    used.swap(used_labels_);
    return used;
}

uint64_t WindowBench::NowNs() { return MonotonicNs(); }

bool WindowBench::Wait(SerialPort* const* ports, size_t count, uint64_t until_ns) {
    return WaitForPorts(ports, count, until_ns);
}

std::string WindowBench::StopHint() { return "Stop ends the bench"; }

std::string WindowBench::StopAgainHint() { return "Stop again stops each write at its next frame"; }

bool WindowBench::PortPresent(const std::string& device) { return ::PortPresent(device); }

std::unique_ptr<SerialPort> WindowBench::Reopen(const std::string& device, std::string& error) {
    PortOpenResult result = PortOpenResult::Failed;
    return OpenSerialPort(
        device, [](std::string&) { return true; }, result, error);
}

int64_t WindowBench::UnixSeconds() { return static_cast<int64_t>(time(nullptr)); }

SerialSideSeen WindowBench::SerialSide() { return SeeSerialSide(); }

std::string WindowBench::Take(size_t port) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (port >= labels_.size() || labels_[port].empty()) return "";
    used_labels_.push_back(port);
    std::string label;
    label.swap(labels_[port]);
    return label;
}

void WindowBench::Ring() { MessageBeep(MB_ICONEXCLAMATION); }
