// Each port is a slot that goes from listening to its radio's session and back (with
// --repeat), moved on after every pass over all the ports. What differs between one radio
// and --all is said here as the policy it is: when the question is asked, what a greeting on
// one port does to the others, and which rows the table gets.
#include "flash/run/radio_bench.h"

#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/printable_text.h"
#include "core/update_lines.h"
#include "flash/run/update_record.h"

namespace {

// PortGone: the line hung up between radios (a converter unplugged); the port is let go of
// and looked for again at each 500 ms step, to be plugged in again.
enum class Stage { Listening, Updating, PortGone, Finished };

std::string NoGreetingText(const std::string& port, long seconds) {
    const std::string within = " within " + std::to_string(seconds) + " s";
    if (port.empty())
        return "no greeting from the radio" + within +
               ": is its port 1 on the cable, and was it switched on after q42flash said it waits? (one switched on "
               "before is heard only when switched off and on again)";
    return "no greeting on " + port + within;
}

// Why the radio's write failed or its header did not come, for the record: the line, else
// the byte the radio sent instead of its answer, else its silence.
std::string FailureReason(const SerialLinkHost& host, bool port_present) {
    if (host.hung_up()) return port_present ? "hung up" : "gone";
    if (host.send_failed()) return "not sent";
    return host.link.RxExpected == 0 ? "refused" : "no answer";
}

// The question of one radio: asked once, after the first radio's header (--repeat covers
// the next ones); with --yes, or once asked for the batch, never.
class RunQuestion final : public SessionQuestion {
public:
    RunQuestion(const FlashOptions& options, const SessionImage& image, BenchDisplay& display, bool asked)
        : options_(options), image_(image), display_(display), answered_yes_(asked || options.yes) {}

    Answer MayWrite() override {
        if (answered_yes_) return Answer::Yes;
        const Answer answer = display_.Ask("Write the image (" + std::to_string(image_.length) +
                                           " bytes) into the radio" + (options_.repeat ? " and each next one?" : "?"));
        answered_yes_ = answer == Answer::Yes;
        return answer;
    }

private:
    const FlashOptions& options_;
    const SessionImage& image_;
    BenchDisplay& display_;
    bool answered_yes_;
};

struct Slot {
    Slot(ListenedPort& port, std::unique_ptr<SessionDisplay> shown, SessionQuestion& question,
         const SessionImage& image)
        : listened(port),
          name(PrintableText(port.position.empty() ? port.device : port.position)),
          display(std::move(shown)),
          session(port.host.link, image, *display, question) {}
    ListenedPort& listened;
    const std::string name;  // the position's name, else the device as given: the notes' name
    Stage stage = Stage::Listening;
    uint64_t listening_since_ms = 0;
    bool lost = false;  // hung up while listened on
    uint64_t gone_since_ms = 0;
    std::string refusal;  // the last reason the port, back again, could not be opened
    std::vector<RadioRecord> rows;
    std::string verdict;  // the last radio's, kept in sight once the port is no longer listened on
    std::unique_ptr<SessionDisplay> display;
    UpdateSession session;
};

class RadioBench {
public:
    RadioBench(const FlashOptions& options, const SessionImage& image, ListenedPorts& ports, const BenchGiven& given);
    BenchEnd Go();

private:
    bool AskForTheBatch();
    void Pass();
    void Listen(size_t i);
    void LookForPort(size_t i);
    void Update(size_t i);
    void EndRadio(size_t i);
    void EndWithoutRadio(size_t i, RadioResult result, int exit_code);
    void Keep(size_t i, RadioRecord& row);
    void Append(AppendFile* file, const std::string& line);
    bool AskLabel();
    void Bell();
    void HearStopRequests();
    void TellWrites();
    bool RadioMayStart() const;
    size_t Listening() const;
    BenchEnd End();
    // Stopped with nothing written: said, then the run ends by the stop's signal.
    BenchEnd StopNow();

    const FlashOptions& options_;
    const SessionImage& image_;
    ListenedPorts& ports_;
    const BenchGiven& given_;
    BenchSystem& system_;
    BenchDisplay& display_;
    std::unique_ptr<RunQuestion> question_;
    std::vector<std::unique_ptr<Slot>> slots_;
    std::vector<SerialLinkHost*> hosts_;  // the pass's, kept so that a pass allocates nothing
    std::vector<SerialPort*> wait_ports_;
    int radios_started_ = 0;
    int stops_heard_ = 0;
    int writes_told_ = 0;
    bool record_lost_ = false;    // a record line could not be written whole: no new radio starts
    bool by_signal_ = false;      // the run ends by the stop's signal, as soon as the pass is over
    bool label_stopped_ = false;  // a stop came at the label's prompt: no new radio starts
    std::string label_;           // the next radio's, with --ask-label (one radio at a time)
};

RadioBench::RadioBench(const FlashOptions& options, const SessionImage& image, ListenedPorts& ports,
                       const BenchGiven& given)
    : options_(options), image_(image), ports_(ports), given_(given), system_(given.system), display_(given.display) {
    question_ = std::make_unique<RunQuestion>(options, image, display_, options_.all);
    for (size_t i = 0; i < ports.size(); ++i) {
        slots_.push_back(std::make_unique<Slot>(ports.at(i), display_.RadioDisplay(i), *question_, image));
    }
    hosts_.reserve(slots_.size());
    wait_ports_.resize(slots_.size());
}

BenchEnd RadioBench::StopNow() {
    display_.Note(kNothingWritten);
    by_signal_ = true;
    return BenchEnd{kExitWritten, true};
}

bool RadioBench::AskForTheBatch() {
    if (options_.yes || options_.info) return true;
    const std::string question = "Write the image (" + std::to_string(image_.length) +
                                 " bytes) into every radio that greets on " + ports_.Listing() +
                                 (options_.repeat ? ", and each next one?" : "?");
    switch (display_.Ask(question)) {
    case Answer::Yes:
        return true;
    case Answer::Stopped:
        StopNow();
        return false;
    case Answer::No:
        break;
    }
    display_.Note(kNotWritten);
    return false;
}

BenchEnd RadioBench::Go() {
    if (options_.all && !AskForTheBatch()) {
        return by_signal_ ? BenchEnd{kExitWritten, true} : BenchEnd{kExitNotConfirmed};
    }
    if (!AskLabel()) return StopNow();
    display_.Line(kSwitchOn);
    const std::string waiting = " on " + ports_.Listing() + " (" + system_.StopHint() + ")";
    for (size_t i = 0; i < slots_.size(); ++i) display_.Status(i, kWaitingForGreeting);
    display_.Note((options_.all ? "waiting for the radios' greetings" : kWaitingForGreeting) + waiting);
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
        for (size_t i = 0; i < slots_.size() && !by_signal_; ++i) {
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
        if (by_signal_) return BenchEnd{kExitWritten, true};
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
    system_.WritesUnderWay(writing);
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
        display_.Note("the radio greeted on " + slot.name + "; the other ports were closed, nothing was sent on them");
        return;
    }
}

size_t RadioBench::Listening() const {
    size_t listening = 0;
    for (const auto& slot : slots_) listening += slot->stage == Stage::Listening ? 1 : 0;
    return listening;
}

void RadioBench::HearStopRequests() {
    if (system_.StopRequests() == stops_heard_) return;
    stops_heard_ = system_.StopRequests();
    bool reading = false;
    bool writing = false;
    for (const auto& slot : slots_) {
        if (slot->stage != Stage::Updating) continue;
        reading = reading || slot->session.phase() == UpdateSession::Phase::ReadingHeader;
        writing = writing || slot->session.phase() == UpdateSession::Phase::Writing;
    }
    if (stops_heard_ == 1 && reading) display_.Note(kStopAfterHeader);
    if (stops_heard_ == 1 && writing) display_.Note(std::string(kWriteGoesOn) + system_.StopAgainHint());
}

bool RadioBench::RadioMayStart() const {
    return system_.StopRequests() == 0 && !label_stopped_ && !record_lost_ &&
           (options_.count == 0 || radios_started_ < options_.count);
}

bool RadioBench::AskLabel() {
    label_.clear();
    if (!options_.ask_label || given_.labels == nullptr) return true;
    const InputLine read = given_.labels->Read(label_);
    if (read == InputLine::Stopped) return false;
    if (read != InputLine::Read) label_.clear();
    return true;
}

void RadioBench::Listen(size_t i) {
    Slot& slot = *slots_[i];
    SerialLinkHost& host = slot.listened.host;
    if (!RadioMayStart()) {
        slot.stage = Stage::Finished;
        display_.Status(i, slot.verdict.empty() ? "no longer listened on" : slot.verdict);
        // Every named port has its row in the table, however the run ends.
        if (options_.all && slot.listened.named && slot.rows.empty()) {
            EndWithoutRadio(i, RadioResult::NoRadio, kExitNoRadio);
        }
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
            display_.Status(i, "gone; waiting for it to come back");
            display_.Note(LostLineText(host, system_, slot.listened.device, slot.name));
            display_.Note("waiting for " + slot.name + " to come back (" + system_.StopHint() + ")");
            return;
        }
        slot.lost = true;
        slot.stage = Stage::Finished;
        display_.Status(i, "hung up");
        // The last port listened on is judged as the one port: its hang-up ends the wait.
        if (Listening() == 0) {
            display_.Note(LostLineText(host, system_, slot.listened.device, slot.name));
        } else {
            display_.Note("the line on " + slot.name + " hung up; no longer listening on it");
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
        radio.label = given_.row_labels != nullptr ? given_.row_labels->Take(i) : label_;
        slot.session.Begin(radio, now);
        slot.stage = Stage::Updating;
        display_.Status(i, "reading the radio's header");
        return;
    }
    const uint64_t wait_ms = static_cast<uint64_t>(options_.wait_seconds) * 1000;
    if (options_.wait_seconds == 0 || host.link.Acknowledged() || now < slot.listening_since_ms + wait_ms) return;
    if (options_.all) {
        slot.stage = Stage::Finished;
        display_.Status(i, "no greeting");
        display_.Note(NoGreetingText(slot.name, options_.wait_seconds));
        // A port named for a radio that never had one: the bench is not done.
        if (slot.listened.named && slot.rows.empty()) EndWithoutRadio(i, RadioResult::NoRadio, kExitNoRadio);
        return;
    }
    // One radio: every port listened on has waited as long, for the same radio.
    for (auto& other : slots_) {
        if (other->stage == Stage::Listening) other->stage = Stage::Finished;
    }
    display_.Note(NoGreetingText("", options_.wait_seconds));
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
        display_.Status(i, "no longer listened on");
        return;
    }
    if (given_up) {
        display_.Note(slot.name + " did not come back within " + std::to_string(options_.wait_seconds) + " s");
        slot.lost = true;
        slot.stage = Stage::Finished;
        display_.Status(i, "hung up");
        EndWithoutRadio(i, RadioResult::HungUp, kExitPortUnusable);
        return;
    }
    if (!slot.listened.StepDue(now) || !system_.PortPresent(slot.listened.device)) return;
    std::string error;
    if (!slot.listened.Reopen(system_, error)) {
        // Just plugged in, it may still be probed by another program: said once, tried again.
        if (error != slot.refusal) display_.Note(error + "; trying again");
        slot.refusal = error;
        return;
    }
    display_.Note(slot.name + " is back; listening on it again");
    host.link.RestartHandshake();
    slot.stage = Stage::Listening;
    slot.listening_since_ms = now;
    display_.PortLine(i, kConnectNextRadio);
}

void RadioBench::Update(size_t i) {
    Slot& slot = *slots_[i];
    SerialLinkHost& host = slot.listened.host;
    const StopState stops{system_.StopRequests(), system_.LastStopSignal()};
    LinkStep step = slot.session.Step(stops, host.ElapsedMs());
    // A frame is built with a pass of this port's own between its bytes, as in the window's
    // loop; the other ports wait the millisecond that takes.
    while (step == LinkStep::Busy) {
        host.Pass();
        step = slot.session.Step(stops, host.ElapsedMs());
    }
    if (step == LinkStep::Over) EndRadio(i);
}

void RadioBench::Append(AppendFile* file, const std::string& line) {
    std::string error;
    // After a lost line the radios still under way are tried once more each, as they end.
    if (file == nullptr || file->Append(line, error)) return;
    record_lost_ = true;
    display_.Note(error + "; no further radio is started");
}

void RadioBench::Keep(size_t i, RadioRecord& row) {
    row.unix_seconds = system_.UnixSeconds();
    row.run = given_.run;
    row.computer = given_.computer;
    const std::string line = RecordLine(row);
    Append(given_.record, line);
    Append(given_.json, line);
    display_.RadioKept(i, row);
}

void RadioBench::Bell() {
    if (options_.bell && given_.bell != nullptr) given_.bell->Ring();
}

void RadioBench::EndWithoutRadio(size_t i, RadioResult result, int exit_code) {
    Slot& slot = *slots_[i];
    RadioRecord row;
    row.port = slot.listened.device;
    row.shown_port = slot.listened.shown;
    row.position = slot.listened.position;
    row.image_version = image_.version;
    row.image_sha256 = image_.sha256;
    row.result = result;
    row.exit_code = exit_code;
    Keep(i, row);
    slot.rows.push_back(row);
    Bell();
}

void RadioBench::EndRadio(size_t i) {
    Slot& slot = *slots_[i];
    SerialLinkHost& host = slot.listened.host;
    if (slot.session.abandoned()) {
        slot.stage = Stage::Finished;
        display_.Status(i, kNothingWritten);
        if (!options_.all) by_signal_ = true;
        return;
    }
    RadioRecord& radio = slot.session.radio();
    if (radio.result == RadioResult::NoHeader || radio.result == RadioResult::WriteFailed) {
        const std::string lost = LostLineText(host, system_, slot.listened.device, slot.name);
        if (!lost.empty()) display_.Note(lost);
        radio.reason = FailureReason(host, system_.PortPresent(slot.listened.device));
    }
    // Let go of a node that has hung up at once, as in Listen.
    if (host.hung_up()) slot.listened.port->Close();
    Keep(i, radio);
    slot.rows.push_back(radio);
    if (radio.exit_code != kExitWritten) Bell();

    // One radio half-written by a second stop: the run ends by the signal at once.
    if (!options_.all && radio.result == RadioResult::Stopped) {
        by_signal_ = true;
        return;
    }
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, " in %.0f s", radio.seconds);
    const std::string verdict = radio.result == RadioResult::Written
                                    ? std::string("written ") + PrintableText(radio.image_version) + seconds
                                    : VerdictText(radio) + seconds;
    slot.verdict = verdict;
    const bool again = options_.repeat && RadioMayStart() && radio.exit_code != kExitNotConfirmed;
    if (!again) {
        display_.Status(i, verdict);
        slot.stage = Stage::Finished;
        return;
    }
    host.link.RestartHandshake();
    slot.stage = Stage::Listening;
    if (!AskLabel()) {
        // A stop at the label's prompt ends the run as a stop while waiting for a greeting does.
        label_stopped_ = true;
        display_.Status(i, verdict);
        slot.stage = Stage::Finished;
        return;
    }
    display_.PortLine(i, kConnectNextRadio);
    // The board keeps the verdict in sight until the next radio greets.
    display_.Status(i, verdict + "; connect the next radio");
    slot.listening_since_ms = host.ElapsedMs();
}

BenchEnd RadioBench::End() {
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
    if (!any_radio && (system_.StopRequests() > 0 || label_stopped_)) return StopNow();
    const int lost_record = record_lost_ ? kExitRecordLost : kExitWritten;
    if (!options_.repeat && !options_.all) {
        if (rows.empty()) return BenchEnd{all_lost ? kExitPortUnusable : kExitNoRadio};
        return BenchEnd{lost_record != kExitWritten ? lost_record : rows.front().exit_code};
    }
    if (rows.empty()) {
        if (options_.all) display_.Note("no radio greeted on " + ports_.Listing());
        return BenchEnd{all_lost ? kExitPortUnusable : kExitNoRadio};
    }
    display_.Table(ResultTable(rows, options_.info ? "read" : "written"));
    for (const RadioRecord& row : rows) {
        if (row.result == RadioResult::Stopped) return BenchEnd{kExitWritten, true};
    }
    Bell();
    if (lost_record != kExitWritten) {
        display_.Note("the record is not whole: exit status " + std::to_string(lost_record));
        return BenchEnd{lost_record};
    }
    const int code = RunExitCode(rows);
    if (code != kExitWritten) {
        display_.Note("not every radio was written: exit status " + std::to_string(code) +
                      ", from the first row that failed");
    }
    return BenchEnd{code};
}

}  // namespace

BenchEnd RunBench(const FlashOptions& options, const SessionImage& image, ListenedPorts& ports,
                  const BenchGiven& given) {
    return RadioBench(options, image, ports, given).Go();
}

std::string NewRunId(BenchSystem& system) {
    std::random_device random;
    char id[48];
    std::snprintf(id, sizeof id, "%lld-%08x", static_cast<long long>(system.UnixSeconds()),
                  static_cast<unsigned>(random()));
    return id;
}
