// q42flash: the Q42 firmware update from a Linux or macOS command line, with the same link,
// steps, waits and verdicts as the Windows program's update window, whose words it prints.
// The window's lines go to standard output; q42flash's own errors and progress to standard error.
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "flash/batch_update.h"
#include "flash/command_line.h"
#include "flash/flash_output.h"
#include "flash/flash_run.h"
#include "flash/greeting_listener.h"
#include "flash/image_input.h"
#include "flash/port_choice.h"
#include "flash/port_list.h"
#include "flash/progress_display.h"
#include "flash/question.h"
#include "flash/sha256.h"
#include "flash/stop_signal.h"
#include "update/firmware_container.h"
#include "update/printable_text.h"
#include "update/update_lines.h"

namespace {

constexpr size_t kVersionFieldEnd = 29;

// The program file is read back into a 4 MiB buffer: static storage, not the stack.
FirmwareStore g_store;

[[noreturn]] void StopNow(GreetingListener& listener, const char* what) {
    listener.CloseAll();
    Complain(what);
    EndByStopSignal();
}

int ListPorts() {
    const std::vector<SerialPortInfo> ports = ListSerialPorts("/");
    for (const SerialPortInfo& port : ports) Say(DescribePort(port));
    if (ports.empty()) Complain("no serial ports found: is the converter plugged in?");
    return kExitWritten;
}

void ShowHeader(const DeviceHeader& header) {
    for (const std::string& line : HeaderLines(header)) Say(line);
}

void ExplainLostLine(const SerialLinkHost& host, const std::string& port) {
    const std::string text = LostLineText(host, port);
    if (!text.empty()) Complain(text);
}

struct WriteReport {
    RadioResult result = RadioResult::WriteFailed;
    WriteTally tally;
};

WriteReport WriteImage(Run& run, SerialLinkHost& host, const RadioRecord& radio) {
    ProgressDisplay display(run.length, run.FramesToSend(), isatty(STDERR_FILENO) != 0, RadioLabel(radio),
                            PrintableText(radio.port));
    WriteReport report;
    bool stop_noted = false;

    Say(kSendingFirmware);
    display.Start(host.ElapsedMs());
    const WriteOutcome outcome = host.link.WriteFirmware(g_store.FirmwareImage, run.length, [&](int32_t value) {
        host.ReplyHandled();
        report.tally.AfterBlock(run, value);
        display.Update(report.tally.covered, report.tally.frames, host.ElapsedMs());
        if (StopRequests() == 1 && !stop_noted) {
            stop_noted = true;
            display.Finish();
            Complain(kWriteGoesOn);
        }
    });
    display.Finish();
    // The host sends no further frame after a second request, so the radio never gets part of
    // one; a request that came after the last frame's answer stopped nothing.
    if (outcome == WriteOutcome::Failed && StopRequests() >= 2) {
        report.result = RadioResult::Stopped;
        Complain(kStoppedDuringWrite);
        return report;
    }
    if (outcome == WriteOutcome::Failed) {
        Say(kWriteFailed);
        return report;
    }
    for (const char* line : kClosingLines) Say(line);
    report.result = RadioResult::Written;
    return report;
}

// One radio, from its greeting on: the header, the checks, the question, the write.
// Returns its exit code; a stop before anything is written ends the process.
int UpdateRadio(Run& run, GreetingListener& listener, SerialLinkHost& host, const std::string& port,
                RadioRecord& radio) {
    host.on_stop_request = [] { Complain(kStopAfterHeader); };
    const DeviceHeader header = host.link.ReadDeviceHeader();
    host.on_stop_request = nullptr;
    host.ReplyHandled();
    if (StopRequests() > 0) StopNow(listener, kNothingWritten);
    if (header.timed_out) {
        Say(kCannotReadDevice);
        ExplainLostLine(host, port);
        radio.result = RadioResult::NoHeader;
        return kExitNoRadio;
    }
    TakeHeaderInto(header, radio);
    ShowHeader(header);
    if (run.options.info) {
        radio.result = RadioResult::NotWritten;
        return kExitWritten;
    }

    std::string image_name;
    const ImageFit fit = JudgeImage(g_store.FirmwareImage, run.length, header, image_name);
    if (fit != ImageFit::Fits) {
        Complain(ImageRefusal(fit, image_name, header, run.options.force));
        if (!run.options.force) return kExitWrongImage;
    }

    Say(kReadyToProgram);
    if (!run.confirmed && !run.options.yes) {
        const std::string question = "Write the image (" + std::to_string(run.length) + " bytes) into the radio" +
                                     (run.options.repeat ? " and each next one?" : "?");
        switch (AskToWrite(question)) {
        case Answer::Yes:
            break;
        case Answer::Stopped:
            StopNow(listener, kNothingWritten);
        case Answer::No:
            Complain("not written");
            return kExitNotConfirmed;
        }
        run.confirmed = true;
        // What the radio sent and the ticks that passed while the question was up go through
        // the link now, as the window's loop would have taken them; nothing is awaited.
        host.RunMessageLoopOnce();
    }
    const WriteReport report = WriteImage(run, host, radio);
    radio.result = report.result;
    radio.frames = report.tally.frames;
    radio.bytes = report.tally.bytes;
    if (report.result == RadioResult::Written) return kExitWritten;
    ExplainLostLine(host, port);
    return report.result == RadioResult::Stopped ? 128 + LastStopSignal() : kExitWriteFailed;
}

}  // namespace

int main(int argc, char** argv) {
    FlashOptions options;
    std::string error;
    if (!ParseCommandLine(argc, argv, options, error)) {
        Complain(error + " (q42flash --help tells more)");
        return kExitBadInput;
    }
    if (options.help) {
        std::fputs(kFlashUsage, stdout);
        return kExitWritten;
    }
    if (options.version) {
        std::printf("q42flash %s\n", kFlashVersion);
        return kExitWritten;
    }
    if (options.list_ports) return ListPorts();

    if (options.json) SayOnStandardError();
    Run run(options, g_store);
    // The image is checked before the port is touched: a bad one sends nothing.
    int32_t& length = run.length;
    if (!options.image_path.empty() || !options.program_path.empty()) {
        const bool plain = !options.image_path.empty();
        const std::string& path = plain ? options.image_path : options.program_path;
        const ImageInput input = plain ? LoadPlainImage(path, g_store) : LoadProgramImage(path, g_store);
        if (input.outcome == ImageInput::Outcome::NoContainer) {
            Say(kCannotLocateCode);
            if (!input.error.empty()) Complain(input.error);
            return kExitBadInput;
        }
        if (input.outcome == ImageInput::Outcome::Unreadable) {
            Complain(input.error);
            return kExitBadInput;
        }
        length = input.length;
        const std::string version = static_cast<size_t>(length) < kVersionFieldEnd
                                        ? "none (the image is too short to hold one)"
                                        : PrintableText(g_store.ImageVersion());
        Say((plain ? "This image contains software version: " : kProgramVersionLabel) + version);
        run.image_version = static_cast<size_t>(length) < kVersionFieldEnd ? "" : g_store.ImageVersion();
        run.image_sha256 = Sha256Hex(g_store.FirmwareImage, static_cast<size_t>(length));
    }

    // Output cut short (q42flash ... | head) must not end the program in the middle of a write.
    std::signal(SIGPIPE, SIG_IGN);
    if (!InstallStopSignals()) {
        Complain(std::string("cannot set up Ctrl-C (") + std::strerror(errno) + ")");
        return kExitBadInput;
    }
    if (!options.record_path.empty() && !run.record.Open(options.record_path, error)) {
        Complain(error);
        return kExitBadInput;
    }
    const std::vector<std::string> devices = CandidatePorts(options.ports);
    if (devices.empty()) {
        Complain("no serial ports found for --port auto: is the converter plugged in?");
        return kExitPortUnusable;
    }
    GreetingListener listener;
    if (!OpenCandidates(devices, listener, Complain)) return kExitPortUnusable;
    if (options.all) return UpdateAllAtOnce(run, listener);

    for (;;) {
        if (run.done.empty()) {
            Say(kSwitchOn);
            Complain("waiting for the radio's greeting on " + Listing(listener) + " (Ctrl-C stops)");
        } else {
            Say("Connect the next radio and switch it on");
        }
        const Greeting greeting = listener.Await(options.wait_seconds, Complain);
        SerialLinkHost& host = listener.chosen().host;
        const std::string port = listener.chosen().device;
        int code = kExitWritten;
        switch (greeting) {
        case Greeting::Answered:
            break;
        case Greeting::Stopped:
            if (run.done.empty()) StopNow(listener, kNothingWritten);
            break;
        case Greeting::HungUp:
            ExplainLostLine(host, port);
            code = kExitPortUnusable;
            break;
        case Greeting::NoGreeting:
            Complain("no greeting from the radio within " + std::to_string(options.wait_seconds) +
                     " s: is it switched on, and its port 1 on the cable?");
            code = kExitNoRadio;
            break;
        }
        // Between radios, a stop or a silent port ends the run; its radios decide the exit code.
        // A converter unplugged between radios is waited for, to be plugged in again.
        if (greeting != Greeting::Answered) {
            if (run.done.empty()) return code;
            if (greeting == Greeting::HungUp && AwaitPortBack(listener, options.wait_seconds, Complain)) continue;
            break;
        }

        // Await returns on the 500 ms step that found the link settled.
        host.link.TakeSettled();
        const uint64_t start_ms = host.ElapsedMs();
        RadioRecord radio = run.NewRadio(port);
        radio.exit_code = UpdateRadio(run, listener, host, port, radio);
        radio.seconds = static_cast<double>(host.ElapsedMs() - start_ms) / 1000.0;
        const std::string record_error = run.Keep(radio);
        if (!record_error.empty()) Complain(record_error);
        if (radio.result == RadioResult::Stopped) {
            listener.CloseAll();
            EndByStopSignal();
        }
        if (!options.repeat) return radio.exit_code;
        if (StopRequests() > 0 || (options.count > 0 && static_cast<long>(run.done.size()) >= options.count)) break;
        if (radio.exit_code == kExitNotConfirmed) break;
        host.link.RestartHandshake();
    }
    std::fputs(ResultTable(run.done).c_str(), stderr);
    const int code = RunExitCode(run.done);
    if (code != kExitWritten) {
        Complain("not every radio was written: exit status " + std::to_string(code) +
                 ", from the first row that failed");
    }
    return code;
}
