// Each port is a slot that goes from listening to the header read to the write and back
// (with --repeat), moved on by the link's steps after every pass over all the ports.
#include "flash/batch_update.h"

#include <unistd.h>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "flash/batch_board.h"
#include "flash/flash_output.h"
#include "flash/port_choice.h"
#include "flash/progress_display.h"
#include "flash/question.h"
#include "flash/stop_signal.h"
#include "update/printable_text.h"
#include "update/update_lines.h"

namespace {

enum class Stage { Listening, ReadingHeader, Writing, Finished };

struct Slot {
    explicit Slot(ListenedPort& port) : listened(port) {}
    ListenedPort& listened;
    std::string name;  // the port as a terminal can show it
    Stage stage = Stage::Listening;
    uint64_t listening_since_ms = 0;
    uint64_t start_ms = 0;
    bool lost = false;  // hung up while listened on
    RadioRecord radio;
    std::string label;
    WriteTally tally;
    ProgressMeter meter{0, 0};
};

class BatchUpdate {
public:
    BatchUpdate(Run& run, GreetingListener& listener);
    int Go();

private:
    void Advance(size_t i);
    void Listen(size_t i);
    void ReadHeader(size_t i);
    void Write(size_t i);
    void EndRadio(size_t i, RadioResult result, int exit_code);
    void HearStopRequests();
    bool RadioMayStart() const;
    int End();

    Run& run_;
    const FlashOptions& options_;
    GreetingListener& listener_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::unique_ptr<BatchBoard> board_;
    int radios_started_ = 0;
    int stops_heard_ = 0;
};

BatchUpdate::BatchUpdate(Run& run, GreetingListener& listener) : run_(run), options_(run.options), listener_(listener) {
    std::vector<std::string> names;
    for (size_t i = 0; i < listener.size(); ++i) {
        slots_.push_back(std::make_unique<Slot>(listener.at(i)));
        slots_.back()->name = PrintableText(listener.device(i));
        names.push_back(slots_.back()->name);
    }
    const bool live = isatty(STDERR_FILENO) != 0;
    board_ = std::make_unique<BatchBoard>(names, SayStream(), stderr, live, isatty(fileno(SayStream())) == 0,
                                          TerminalColumns);
}

int BatchUpdate::Go() {
    if (!options_.yes && !options_.info) {
        const std::string question = "Write the image (" + std::to_string(run_.length) +
                                     " bytes) into every radio that greets on " + Listing(listener_) +
                                     (options_.repeat ? ", and each next one?" : "?");
        switch (AskToWrite(question)) {
        case Answer::Yes:
            break;
        case Answer::Stopped:
            listener_.CloseAll();
            Complain(kNothingWritten);
            EndByStopSignal();
        case Answer::No:
            Complain("not written");
            return kExitNotConfirmed;
        }
        run_.confirmed = true;
    }
    Say(kSwitchOn);
    for (size_t i = 0; i < slots_.size(); ++i) {
        slots_[i]->listening_since_ms = slots_[i]->listened.host.ElapsedMs();
        board_->Status(i, "waiting for the radio's greeting");
    }
    board_->Note("waiting for the radios' greetings on " + Listing(listener_) + " (Ctrl-C stops)");

    std::vector<SerialLinkHost*> hosts;
    for (;;) {
        hosts.clear();
        for (const auto& slot : slots_) {
            if (slot->stage != Stage::Finished) hosts.push_back(&slot->listened.host);
        }
        if (hosts.empty()) return End();
        SleepUntilDue(hosts.data(), hosts.size());
        for (SerialLinkHost* host : hosts) host->Pass();
        HearStopRequests();
        for (size_t i = 0; i < slots_.size(); ++i) Advance(i);
    }
}

void BatchUpdate::HearStopRequests() {
    if (StopRequests() == stops_heard_) return;
    stops_heard_ = StopRequests();
    bool reading = false;
    bool writing = false;
    for (const auto& slot : slots_) {
        reading = reading || slot->stage == Stage::ReadingHeader;
        writing = writing || slot->stage == Stage::Writing;
    }
    if (stops_heard_ == 1 && reading) board_->Note(kStopAfterHeader);
    if (stops_heard_ == 1 && writing) board_->Note(kWriteGoesOn);
}

void BatchUpdate::Advance(size_t i) {
    switch (slots_[i]->stage) {
    case Stage::Listening:
        Listen(i);
        break;
    case Stage::ReadingHeader:
        ReadHeader(i);
        break;
    case Stage::Writing:
        Write(i);
        break;
    case Stage::Finished:
        break;
    }
}

bool BatchUpdate::RadioMayStart() const {
    return StopRequests() == 0 && (options_.count == 0 || radios_started_ < options_.count);
}

void BatchUpdate::Listen(size_t i) {
    Slot& slot = *slots_[i];
    SerialLinkHost& host = slot.listened.host;
    if (!RadioMayStart()) {
        slot.stage = Stage::Finished;
        board_->Status(i, "no longer listened on");
        return;
    }
    if (host.hung_up()) {
        // Let go of the node: while it is held, the converter plugged in again gets another name.
        slot.listened.port.Close();
        slot.lost = true;
        slot.stage = Stage::Finished;
        board_->Status(i, "hung up");
        board_->Note("the line on " + slot.name + " hung up; no longer listening on it");
        return;
    }
    const uint64_t now = host.ElapsedMs();
    if (slot.listened.StepDue(now) && host.link.TakeSettled()) {
        ++radios_started_;
        slot.start_ms = now;
        slot.radio = run_.NewRadio(slot.listened.device);
        host.link.BeginHeaderRead();
        slot.stage = Stage::ReadingHeader;
        board_->Status(i, "reading the radio's header");
        return;
    }
    if (options_.wait_seconds > 0 && host.link.BootState < BootLink::kAcknowledged &&
        now >= slot.listening_since_ms + static_cast<uint64_t>(options_.wait_seconds) * 1000) {
        slot.stage = Stage::Finished;
        board_->Status(i, "no greeting");
        board_->Note("no greeting on " + slot.name + " within " + std::to_string(options_.wait_seconds) + " s");
    }
}

void BatchUpdate::ReadHeader(size_t i) {
    Slot& slot = *slots_[i];
    SerialLinkHost& host = slot.listened.host;
    if (host.link.StepHeaderRead() != LinkStep::Over) return;
    const DeviceHeader header = host.link.TakeHeader();
    if (StopRequests() > 0) {
        slot.stage = Stage::Finished;
        board_->Status(i, kNothingWritten);
        board_->Note(slot.name + ": " + kNothingWritten);
        return;
    }
    if (header.timed_out) {
        board_->Show(i, kCannotReadDevice);
        return EndRadio(i, RadioResult::NoHeader, kExitNoRadio);
    }
    TakeHeaderInto(header, slot.radio);
    for (const std::string& line : HeaderLines(header)) board_->Show(i, line);
    if (options_.info) return EndRadio(i, RadioResult::NotWritten, kExitWritten);

    std::string image_name;
    const ImageFit fit = JudgeImage(run_.store.FirmwareImage, run_.length, header, image_name);
    if (fit != ImageFit::Fits) {
        board_->Note(slot.name + ": " + ImageRefusal(fit, image_name, header, options_.force));
        if (!options_.force) return EndRadio(i, RadioResult::NotWritten, kExitWrongImage);
    }
    board_->Show(i, kReadyToProgram);
    board_->Show(i, kSendingFirmware);
    slot.label = RadioLabel(slot.radio);
    slot.tally = WriteTally{};
    slot.meter = ProgressMeter(run_.length, run_.FramesToSend());
    slot.meter.Start(host.ElapsedMs());
    host.link.BeginWrite(run_.store.FirmwareImage, run_.length, [this, i](int32_t block_offset) {
        Slot& s = *slots_[i];
        s.tally.AfterBlock(run_, block_offset);
        ProgressFigures figures = s.meter.Measure(s.tally.covered, s.tally.frames, s.listened.host.ElapsedMs());
        figures.label = s.label.c_str();
        board_->Progress(i, figures);
    });
    slot.stage = Stage::Writing;
}

void BatchUpdate::Write(size_t i) {
    SerialLinkHost& host = slots_[i]->listened.host;
    LinkStep step = host.link.StepWrite();
    // A frame is built with a pass of this port's own between its bytes, as with one radio;
    // the other ports wait the millisecond that takes.
    while (step == LinkStep::Busy) {
        host.Pass();
        step = host.link.StepWrite();
    }
    if (step != LinkStep::Over) return;
    const bool failed = host.link.write_outcome() == WriteOutcome::Failed;
    // The host sends no further frame after a second request, so the radio never gets part of
    // one; a request that came after the last frame's answer stopped nothing.
    if (failed && StopRequests() >= 2) {
        board_->Note(slots_[i]->name + ": " + kStoppedDuringWrite);
        return EndRadio(i, RadioResult::Stopped, 128 + LastStopSignal());
    }
    if (failed) {
        board_->Show(i, kWriteFailed);
        return EndRadio(i, RadioResult::WriteFailed, kExitWriteFailed);
    }
    for (const char* line : kClosingLines) board_->Show(i, line);
    EndRadio(i, RadioResult::Written, kExitWritten);
}

void BatchUpdate::EndRadio(size_t i, RadioResult result, int exit_code) {
    Slot& slot = *slots_[i];
    SerialLinkHost& host = slot.listened.host;
    if (result == RadioResult::NoHeader || result == RadioResult::WriteFailed) {
        const std::string lost = LostLineText(host, slot.name);
        if (!lost.empty()) board_->Note(lost);
    }
    if (host.hung_up()) slot.listened.port.Close();
    slot.radio.result = result;
    slot.radio.exit_code = exit_code;
    slot.radio.frames = slot.tally.frames;
    slot.radio.bytes = slot.tally.bytes;
    slot.radio.seconds = static_cast<double>(host.ElapsedMs() - slot.start_ms) / 1000.0;
    const std::string record_error = run_.Keep(slot.radio);
    if (!record_error.empty()) board_->Note(record_error);
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, " in %.1f s", slot.radio.seconds);
    board_->Status(i, RadioName(slot.radio) + "  " + ResultText(result) + seconds);
    slot.tally = WriteTally{};
    slot.label.clear();

    if (options_.repeat && RadioMayStart()) {
        host.link.RestartHandshake();
        slot.listening_since_ms = host.ElapsedMs();
        slot.stage = Stage::Listening;
        board_->Show(i, "Connect the next radio and switch it on");
        return;
    }
    slot.stage = Stage::Finished;
}

int BatchUpdate::End() {
    if (run_.done.empty()) {
        if (StopRequests() > 0) {
            listener_.CloseAll();
            Complain(kNothingWritten);
            EndByStopSignal();
        }
        bool all_lost = true;
        for (const auto& slot : slots_) all_lost = all_lost && slot->lost;
        Complain("no radio greeted on " + Listing(listener_));
        return all_lost ? kExitPortUnusable : kExitNoRadio;
    }
    std::fputs(ResultTable(run_.done).c_str(), stderr);
    for (const RadioRecord& radio : run_.done) {
        if (radio.result != RadioResult::Stopped) continue;
        listener_.CloseAll();
        EndByStopSignal();
    }
    const int code = RunExitCode(run_.done);
    if (code != kExitWritten) {
        Complain("not every radio was written: exit status " + std::to_string(code) +
                 ", from the first row that failed");
    }
    return code;
}

}  // namespace

int UpdateAllAtOnce(Run& run, GreetingListener& listener) { return BatchUpdate(run, listener).Go(); }
