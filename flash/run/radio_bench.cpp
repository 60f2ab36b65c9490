// Each port is a slot that goes from listening to its radio's session and back (with
// --repeat), moved on after every pass over all the ports. What differs between one radio
// and --all is said here as the policy it is: where the words go (plain lines, or the board
// of one line per port), when the question is asked, and what a greeting on one port does
// to the others.
#include "flash/run/radio_bench.h"

#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/printable_text.h"
#include "core/update_lines.h"
#include "flash/run/batch_board.h"
#include "flash/run/flash_output.h"
#include "flash/run/port_choice.h"
#include "flash/run/progress_display.h"
#include "flash/run/question.h"
#include "flash/run/update_record.h"

namespace {

// PortGone: the line hung up between radios (a converter unplugged); the port is let go of
// and looked for again at each 500 ms step, to be plugged in again.
enum class Stage { Listening, Updating, PortGone, Finished };

std::string NoGreetingText(const std::string& port, long seconds) {
    const std::string within = " within " + std::to_string(seconds) + " s";
    if (port.empty())
        return "no greeting from the radio" + within + ": is it switched on, and its port 1 on the cable?";
    return "no greeting on " + port + within;
}

// One radio's words as plain lines: the window's on standard output, q42flash's own and the
// progress on standard error.
class PlainDisplay final : public SessionDisplay {
public:
    explicit PlainDisplay(const SessionImage& image) : image_(image) {}

    void Line(const std::string& text) override { Say(text); }
    void Note(const std::string& text) override {
        if (progress_) progress_->Finish();
        Complain(text);
    }
    void WriteBegins(const RadioRecord& radio, uint64_t now_ms) override {
        progress_.emplace(image_.length, image_.FramesToSend(), IsTerminal(stderr), RadioLabel(radio),
                          PrintableText(radio.port), TerminalColumns);
        progress_->Start(now_ms);
    }
    void WriteProgress(const WriteTally& tally, uint64_t now_ms) override {
        progress_->Update(tally.covered, tally.frames, now_ms);
    }
    void WriteEnds() override {
        progress_->Finish();
        progress_.reset();
    }

private:
    const SessionImage& image_;
    std::optional<ProgressDisplay> progress_;
};

// One port's radio on the board of several.
class BoardDisplay final : public SessionDisplay {
public:
    BoardDisplay(BatchBoard& board, size_t row, std::string name, const SessionImage& image)
        : board_(board), row_(row), name_(std::move(name)), image_(image), meter_(0, 0) {}

    void Line(const std::string& text) override { board_.Show(row_, text); }
    void Note(const std::string& text) override { board_.Note(name_ + ": " + text); }
    void WriteBegins(const RadioRecord& radio, uint64_t now_ms) override {
        label_ = RadioLabel(radio);
        meter_ = ProgressMeter(image_.length, image_.FramesToSend());
        meter_.Start(now_ms);
    }
    void WriteProgress(const WriteTally& tally, uint64_t now_ms) override {
        ProgressFigures figures = meter_.Measure(tally.covered, tally.frames, now_ms);
        figures.label = label_.c_str();
        board_.Progress(row_, figures);
    }
    void WriteEnds() override {}

private:
    BatchBoard& board_;
    size_t row_;
    std::string name_;
    const SessionImage& image_;
    std::string label_;
    ProgressMeter meter_;
};

// The question of one radio: asked once, after the first radio's header (--repeat covers
// the next ones); with --yes, or once asked for the batch, never.
class RunQuestion final : public SessionQuestion {
public:
    RunQuestion(const Run& run, bool asked) : run_(run), answered_yes_(asked || run.options.yes) {}

    Answer MayWrite() override {
        if (answered_yes_) return Answer::Yes;
        const Answer answer =
            AskToWrite("Write the image (" + std::to_string(run_.image.length) + " bytes) into the radio" +
                       (run_.options.repeat ? " and each next one?" : "?"));
        answered_yes_ = answer == Answer::Yes;
        return answer;
    }

private:
    const Run& run_;
    bool answered_yes_;
};

struct Slot {
    Slot(ListenedPort& port, std::unique_ptr<SessionDisplay> shown, SessionQuestion& question, const Run& run)
        : listened(port),
          name(PrintableText(port.device)),
          display(std::move(shown)),
          session(port.host.link, run.image, *display, question) {}
    ListenedPort& listened;
    const std::string name;  // the device as given, as a terminal can show it: the notes' name
    Stage stage = Stage::Listening;
    uint64_t listening_since_ms = 0;
    bool lost = false;  // hung up while listened on
    uint64_t gone_since_ms = 0;
    std::string refusal;  // the last reason the port, back again, could not be opened
    std::vector<RadioRecord> rows;
    std::unique_ptr<SessionDisplay> display;
    UpdateSession session;
};

class RadioBench {
public:
    RadioBench(Run& run, ListenedPorts& ports);
    int Go();

private:
    bool AskForTheBatch();
    void Pass();
    void Listen(size_t i);
    void LookForPort(size_t i);
    void Update(size_t i);
    void EndRadio(size_t i);
    void EndWithoutRadio(size_t i, RadioResult result, int exit_code);
    void Keep(RadioRecord& row);
    bool AskLabel();
    void Bell();
    void HearStopRequests();
    void TellWrites();
    bool RadioMayStart() const;
    size_t Listening() const;
    int End();

    // The run's own words and each port's state line: on the board with --all, plain otherwise.
    void Note(const std::string& text);
    void PortLine(size_t i, const std::string& text);
    void Status(size_t i, const std::string& text);
    // Stopped with nothing written; and the end by the stop's signal, once that is said.
    [[noreturn]] void StopNow();
    [[noreturn]] void EndNow();

    Run& run_;
    const FlashOptions& options_;
    ListenedPorts& ports_;
    std::unique_ptr<BatchBoard> board_;  // with --all
    std::unique_ptr<RunQuestion> question_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::vector<SerialLinkHost*> hosts_;  // the pass's, kept so that a pass allocates nothing
    std::vector<SerialPort*> wait_ports_;
    int radios_started_ = 0;
    int stops_heard_ = 0;
    int writes_told_ = 0;
    bool record_lost_ = false;  // a record line could not be written whole: no new radio starts
    std::string label_;         // the next radio's, with --ask-label (one radio at a time)
};

RadioBench::RadioBench(Run& run, ListenedPorts& ports) : run_(run), options_(run.options), ports_(ports) {
    std::vector<std::string> names;
    for (size_t i = 0; i < ports.size(); ++i) names.push_back(PrintableText(ports.at(i).shown));
    if (options_.all) {
        board_ = std::make_unique<BatchBoard>(names, SayStream(), stderr, IsTerminal(stderr), !IsTerminal(SayStream()),
                                              TerminalColumns);
    }
    question_ = std::make_unique<RunQuestion>(run, options_.all);
    for (size_t i = 0; i < ports.size(); ++i) {
        std::unique_ptr<SessionDisplay> display;
        if (board_) {
            display = std::make_unique<BoardDisplay>(*board_, i, names[i], run.image);
        } else {
            display = std::make_unique<PlainDisplay>(run.image);
        }
        slots_.push_back(std::make_unique<Slot>(ports.at(i), std::move(display), *question_, run));
    }
    hosts_.reserve(slots_.size());
    wait_ports_.resize(slots_.size());
}

void RadioBench::Note(const std::string& text) {
    if (board_) return board_->Note(text);
    // One radio: through its display, so that a note ends the progress bar's line first.
    for (const auto& slot : slots_) {
        if (slot->stage == Stage::Updating) return slot->display->Note(text);
    }
    Complain(text);
}

void RadioBench::PortLine(size_t i, const std::string& text) {
    if (board_) return board_->Show(i, text);
    Say(text);
}

void RadioBench::Status(size_t i, const std::string& text) {
    if (board_) board_->Status(i, text);
}

void RadioBench::StopNow() {
    Complain(kNothingWritten);
    EndNow();
}

void RadioBench::EndNow() {
    ports_.CloseAll();
    EndByStopSignal();
}

bool RadioBench::AskForTheBatch() {
    if (options_.yes || options_.info) return true;
    const std::string question = "Write the image (" + std::to_string(run_.image.length) +
                                 " bytes) into every radio that greets on " + Listing(ports_) +
                                 (options_.repeat ? ", and each next one?" : "?");
    switch (AskToWrite(question)) {
    case Answer::Yes:
        return true;
    case Answer::Stopped:
        StopNow();
    case Answer::No:
        break;
    }
    Complain(kNotWritten);
    return false;
}

int RadioBench::Go() {
    if (options_.all && !AskForTheBatch()) return kExitNotConfirmed;
    if (!AskLabel()) StopNow();
    Say(kSwitchOn);
    const std::string waiting = " on " + Listing(ports_) + " (Ctrl-C stops)";
    if (board_) {
        for (size_t i = 0; i < slots_.size(); ++i) Status(i, kWaitingForGreeting);
        Note("waiting for the radios' greetings" + waiting);
    } else {
        Complain(kWaitingForGreeting + waiting);
    }
    for (auto& slot : slots_) slot->listening_since_ms = slot->listened.host.ElapsedMs();

    for (;;) {
        hosts_.clear();
        for (const auto& slot : slots_) {
            if (slot->stage != Stage::Finished) hosts_.push_back(&slot->listened.host);
        }
        if (hosts_.empty()) return End();
        SleepUntilDue(hosts_.data(), hosts_.size(), wait_ports_.data());
        Pass();
        HearStopRequests();
        for (size_t i = 0; i < slots_.size(); ++i) {
            switch (slots_[i]->stage) {
            case Stage::Listening:
                Listen(i);
                break;
            case Stage::Updating:
                Update(i);
                break;
            case Stage::PortGone:
                LookForPort(i);
                break;
            case Stage::Finished:
                break;
            }
        }
        TellWrites();
    }
}

void RadioBench::TellWrites() {
    int writing = 0;
    for (const auto& slot : slots_) {
        writing += slot->stage == Stage::Updating && slot->session.phase() == UpdateSession::Phase::Writing ? 1 : 0;
    }
    if (writing == writes_told_) return;
    writes_told_ = writing;
    WritesUnderWay(writing);
}

void RadioBench::Pass() {
    // One radio among several ports: the first port whose greeting completes is the radio's,
    // so no second port may answer in the same pass; the others are closed, never answered.
    const bool choosing = !options_.all && Listening() > 1;
    for (size_t i = 0; i < slots_.size(); ++i) {
        Slot& slot = *slots_[i];
        if (slot.stage == Stage::Finished) continue;
        const bool had_sent = slot.listened.host.has_sent();
        slot.listened.host.Pass();
        if (!choosing || had_sent || !slot.listened.host.has_sent()) continue;
        for (size_t j = 0; j < slots_.size(); ++j) {
            if (j == i) continue;
            slots_[j]->stage = Stage::Finished;
            slots_[j]->listened.port->Close();
        }
        Note("the radio greeted on " + slot.listened.device +
             "; the other ports were closed, nothing was sent on them");
        return;
    }
}

size_t RadioBench::Listening() const {
    size_t listening = 0;
    for (const auto& slot : slots_) listening += slot->stage == Stage::Listening ? 1 : 0;
    return listening;
}

void RadioBench::HearStopRequests() {
    if (StopRequests() == stops_heard_) return;
    stops_heard_ = StopRequests();
    bool reading = false;
    bool writing = false;
    for (const auto& slot : slots_) {
        if (slot->stage != Stage::Updating) continue;
        reading = reading || slot->session.phase() == UpdateSession::Phase::ReadingHeader;
        writing = writing || slot->session.phase() == UpdateSession::Phase::Writing;
    }
    if (stops_heard_ == 1 && reading) Note(kStopAfterHeader);
    if (stops_heard_ == 1 && writing) Note(std::string(kWriteGoesOn) + StopAgainHint());
}

bool RadioBench::RadioMayStart() const {
    return StopRequests() == 0 && !record_lost_ && (options_.count == 0 || radios_started_ < options_.count);
}

bool RadioBench::AskLabel() {
    label_.clear();
    if (!options_.ask_label) return true;
    std::fprintf(stderr, "Scan or type the radio's label: ");
    std::fflush(stderr);
    char line[256];
    const InputLine read = ReadInputLine(line, sizeof line);
    if (read == InputLine::Stopped) return false;
    if (read == InputLine::Read) label_ = line;
    return true;
}

void RadioBench::Listen(size_t i) {
    Slot& slot = *slots_[i];
    SerialLinkHost& host = slot.listened.host;
    if (!RadioMayStart()) {
        slot.stage = Stage::Finished;
        Status(i, "no longer listened on");
        return;
    }
    if (host.hung_up()) {
        // Let go of the node at once: while it is held, a converter plugged in again is given
        // another name by the kernel.
        slot.listened.port->Close();
        if (options_.repeat && !slot.rows.empty()) {
            // Between radios the technician can only plug the converter in again: wait for it.
            slot.stage = Stage::PortGone;
            slot.gone_since_ms = host.ElapsedMs();
            slot.refusal.clear();
            Status(i, "gone; waiting for it to come back");
            Note(LostLineText(host, slot.listened.device, slot.name));
            Note("waiting for " + slot.name + " to come back (Ctrl-C stops)");
            return;
        }
        slot.lost = true;
        slot.stage = Stage::Finished;
        Status(i, "hung up");
        // The last port listened on is judged as the one port: its hang-up ends the wait.
        if (Listening() == 0) {
            Note(LostLineText(host, slot.listened.device, slot.name));
        } else {
            Note("the line on " + slot.name + " hung up; no longer listening on it");
        }
        // A bench's port whose line went while it waited for a radio is a failure of the bench;
        // one whose radio already failed with the line is told by that radio's row.
        const bool told = !slot.rows.empty() && slot.rows.back().exit_code != kExitWritten;
        if ((options_.all || options_.repeat) && (slot.listened.named || !slot.rows.empty()) && !told) {
            EndWithoutRadio(i, RadioResult::HungUp, kExitPortUnusable);
        }
        return;
    }
    const uint64_t now = host.ElapsedMs();
    if (host.link.BootState == BootState::CommandSent && now >= host.last_send_ms() + kAcknowledgementWaitMs) {
        host.link.RestartHandshake();
    }
    if (slot.listened.StepDue(now) && host.link.TakeSettled()) {
        ++radios_started_;
        RadioRecord radio;
        radio.port = slot.listened.device;
        radio.shown_port = slot.listened.shown;
        radio.position = slot.listened.position;
        radio.label = label_;
        slot.session.Begin(radio, now);
        slot.stage = Stage::Updating;
        Status(i, "reading the radio's header");
        return;
    }
    const uint64_t wait_ms = static_cast<uint64_t>(options_.wait_seconds) * 1000;
    if (options_.wait_seconds == 0 || host.link.Acknowledged() || now < slot.listening_since_ms + wait_ms) return;
    if (board_) {
        slot.stage = Stage::Finished;
        Status(i, "no greeting");
        Note(NoGreetingText(slot.name, options_.wait_seconds));
        // A port named for a radio that never had one: the bench is not done.
        if (slot.listened.named && slot.rows.empty()) EndWithoutRadio(i, RadioResult::NoRadio, kExitNoRadio);
        return;
    }
    // One radio: every port listened on has waited as long, for the same radio.
    for (auto& other : slots_) {
        if (other->stage == Stage::Listening) other->stage = Stage::Finished;
    }
    Complain(NoGreetingText("", options_.wait_seconds));
    if (options_.repeat && slot.rows.empty()) EndWithoutRadio(i, RadioResult::NoRadio, kExitNoRadio);
}

void RadioBench::LookForPort(size_t i) {
    Slot& slot = *slots_[i];
    SerialLinkHost& host = slot.listened.host;
    const uint64_t now = host.ElapsedMs();
    const bool given_up =
        options_.wait_seconds > 0 && now >= slot.gone_since_ms + static_cast<uint64_t>(options_.wait_seconds) * 1000;
    if (!RadioMayStart()) {
        slot.stage = Stage::Finished;
        Status(i, "no longer listened on");
        return;
    }
    if (given_up) {
        Note(slot.name + " did not come back within " + std::to_string(options_.wait_seconds) + " s");
        slot.lost = true;
        slot.stage = Stage::Finished;
        Status(i, "hung up");
        EndWithoutRadio(i, RadioResult::HungUp, kExitPortUnusable);
        return;
    }
    if (!slot.listened.StepDue(now) || !PortPresent(slot.listened.device)) return;
    std::string error;
    const auto not_held = [&slot](std::string& why) {
        why = HeldByText(slot.listened.device, SearchPortHolders(slot.listened.device));
        return why.empty();
    };
    if (!slot.listened.Reopen(error, not_held)) {
        // Just plugged in, it may still be probed by another program: said once, tried again.
        if (error != slot.refusal) Note(error + "; trying again");
        slot.refusal = error;
        return;
    }
    Note(slot.name + " is back; listening on it again");
    host.link.RestartHandshake();
    slot.stage = Stage::Listening;
    slot.listening_since_ms = now;
    PortLine(i, kConnectNextRadio);
}

void RadioBench::Update(size_t i) {
    Slot& slot = *slots_[i];
    SerialLinkHost& host = slot.listened.host;
    const StopState stops{StopRequests(), LastStopSignal()};
    LinkStep step = slot.session.Step(stops, host.ElapsedMs());
    // A frame is built with a pass of this port's own between its bytes, as in the window's
    // loop; the other ports wait the millisecond that takes.
    while (step == LinkStep::Busy) {
        host.Pass();
        step = slot.session.Step(stops, host.ElapsedMs());
    }
    if (step == LinkStep::Over) EndRadio(i);
}

void RadioBench::Keep(RadioRecord& row) {
    row.unix_seconds = static_cast<int64_t>(time(nullptr));
    const std::string line = RecordLine(row);
    std::string error;
    // After a lost line the radios still under way are tried once more each, as they end.
    if (run_.record && !run_.record->Append(line, error)) {
        record_lost_ = true;
        Note(error + "; no further radio is started");
    }
    if (options_.json && (std::fputs(line.c_str(), stdout) < 0 || std::fflush(stdout) != 0)) {
        // Standard output closed by its reader (--json | head -1) loses the lines as surely.
        record_lost_ = true;
        Note("standard output was closed, so the record lines of --json are lost; no further radio is started");
    }
}

void RadioBench::Bell() {
    if (!options_.bell) return;
    std::fputc('\a', stderr);
    std::fflush(stderr);
}

void RadioBench::EndWithoutRadio(size_t i, RadioResult result, int exit_code) {
    Slot& slot = *slots_[i];
    RadioRecord row;
    row.port = slot.listened.device;
    row.shown_port = slot.listened.shown;
    row.position = slot.listened.position;
    row.image_version = run_.image.version;
    row.image_sha256 = run_.image.sha256;
    row.result = result;
    row.exit_code = exit_code;
    Keep(row);
    slot.rows.push_back(row);
    Bell();
}

void RadioBench::EndRadio(size_t i) {
    Slot& slot = *slots_[i];
    SerialLinkHost& host = slot.listened.host;
    if (slot.session.abandoned()) {
        slot.stage = Stage::Finished;
        Status(i, kNothingWritten);
        if (!board_) EndNow();
        return;
    }
    RadioRecord& radio = slot.session.radio();
    if (radio.result == RadioResult::NoHeader || radio.result == RadioResult::WriteFailed) {
        const std::string lost = LostLineText(host, slot.listened.device, slot.name);
        if (!lost.empty()) Note(lost);
    }
    // Let go of a node that has hung up at once, as in Listen.
    if (host.hung_up()) slot.listened.port->Close();
    Keep(radio);
    slot.rows.push_back(radio);
    if (radio.exit_code != kExitWritten) Bell();

    // One radio half-written by a second stop: the process ends by the signal at once.
    if (!board_ && radio.result == RadioResult::Stopped) EndNow();
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, " in %.0f s", radio.seconds);
    const std::string verdict = radio.result == RadioResult::Written
                                    ? std::string("written ") + PrintableText(radio.image_version) + seconds
                                    : VerdictText(radio) + seconds;
    const bool again = options_.repeat && RadioMayStart() && radio.exit_code != kExitNotConfirmed;
    if (!again) {
        Status(i, verdict);
        slot.stage = Stage::Finished;
        return;
    }
    host.link.RestartHandshake();
    slot.stage = Stage::Listening;
    if (!AskLabel()) StopNow();
    PortLine(i, kConnectNextRadio);
    // The board keeps the verdict in sight until the next radio greets.
    Status(i, verdict + "; connect the next radio");
    slot.listening_since_ms = host.ElapsedMs();
}

int RadioBench::End() {
    std::vector<RadioRecord> rows;
    bool all_lost = true;
    for (const auto& slot : slots_) {
        rows.insert(rows.end(), slot->rows.begin(), slot->rows.end());
        all_lost = all_lost && slot->lost;
    }
    bool any_radio = false;
    for (const RadioRecord& row : rows) {
        any_radio = any_radio || (row.result != RadioResult::NoRadio && row.result != RadioResult::HungUp);
    }
    if (!any_radio && StopRequests() > 0) StopNow();
    const int lost_record = record_lost_ ? kExitRecordLost : kExitWritten;
    if (!options_.repeat && !board_) {
        if (rows.empty()) return all_lost ? kExitPortUnusable : kExitNoRadio;
        return lost_record != kExitWritten ? lost_record : rows.front().exit_code;
    }
    if (rows.empty()) {
        if (board_) Complain("no radio greeted on " + Listing(ports_));
        return all_lost ? kExitPortUnusable : kExitNoRadio;
    }
    std::fputs(ResultTable(rows, options_.info ? "read" : "written").c_str(), stderr);
    for (const RadioRecord& row : rows) {
        if (row.result == RadioResult::Stopped) EndNow();
    }
    Bell();
    if (lost_record != kExitWritten) {
        Complain("the record is not whole: exit status " + std::to_string(lost_record));
        return lost_record;
    }
    const int code = RunExitCode(rows);
    if (code != kExitWritten) {
        Complain("not every radio was written: exit status " + std::to_string(code) +
                 ", from the first row that failed");
    }
    return code;
}

}  // namespace

int ServeRadios(Run& run, ListenedPorts& ports) { return RadioBench(run, ports).Go(); }
