// q42flash: the Q42 firmware update from a Linux or macOS command line, with the same link,
// steps, waits and verdicts as the Windows program's update window, whose words it prints.
// The window's lines go to standard output; q42flash's own errors and progress to standard error.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <strings.h>
#include <vector>
#include <sys/select.h>
#include <unistd.h>

#include "flash/command_line.h"
#include "flash/greeting_listener.h"
#include "flash/image_fit.h"
#include "flash/image_input.h"
#include "flash/link_host.h"
#include "flash/port_choice.h"
#include "flash/port_list.h"
#include "flash/progress_display.h"
#include "flash/serial_port.h"
#include "flash/sha256.h"
#include "flash/stop_signal.h"
#include "flash/update_record.h"
#include "update/firmware_container.h"
#include "update/printable_text.h"
#include "update/update_lines.h"

namespace {

constexpr int32_t kBlockSize = 1024;
constexpr size_t kVersionFieldEnd = 29;

// The program file is read back into a 4 MiB buffer: static storage, not the stack.
FirmwareStore g_store;

// With --json, standard output carries the JSON lines alone and the radio's lines go to
// standard error.
FILE* g_say = stdout;

void Say(const char* line) {
    std::fprintf(g_say, "%s\n", line);
    std::fflush(g_say);
}

void Say(const std::string& line) { Say(line.c_str()); }

void Complain(const std::string& text) {
    std::fprintf(stderr, "q42flash: %s\n", text.c_str());
    std::fflush(stderr);
}


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

enum class Answer { Yes, No, Stopped };

Answer AskToWrite(const std::string& question) {
    std::fprintf(stderr, "%s [y/N] ", question.c_str());
    std::fflush(stderr);
    char line[64];
    size_t length = 0;
    for (;;) {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(STDIN_FILENO, &readable);
        FD_SET(StopWakeFd(), &readable);
        const int ready = select(std::max(STDIN_FILENO, StopWakeFd()) + 1, &readable, nullptr, nullptr, nullptr);
        if (StopRequests() > 0) return Answer::Stopped;
        // An input that fails (a background job's, a closed one) is "no", never a retry.
        if (ready < 0 && errno != EINTR) return Answer::No;
        if (ready <= 0 || !FD_ISSET(STDIN_FILENO, &readable)) continue;
        char c = 0;
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return Answer::No;
        if (n == 0 || c == '\n') break;
        if (length < sizeof line - 1) line[length++] = c;
    }
    line[length] = '\0';
    return std::strcmp(line, "y") == 0 || std::strcmp(line, "Y") == 0 || strcasecmp(line, "yes") == 0 ? Answer::Yes
                                                                                                      : Answer::No;
}

void ShowHeader(const DeviceHeader& header) {
    Say(header.has_name ? kApplicationInUnit + PrintableText(header.name) : kUnknownApplication);
    Say(header.has_version ? kVersionLabel + PrintableText(header.version) : kUnknownVersion);
}

void ExplainLostLine(const SerialLinkHost& host, const std::string& port) {
    if (host.hung_up()) {
        Complain("the line on " + port + " hung up: is the cable or converter still plugged in?");
    } else if (host.send_failed()) {
        Complain(port + " did not take all that was sent to the radio");
    }
}

struct WriteReport {
    RadioResult result = RadioResult::WriteFailed;
    int frames = 0;
    int64_t bytes = 0;
};

WriteReport WriteImage(SerialLinkHost& host, int32_t length, const RadioRecord& radio) {
    int frames_total = 0;
    for (int32_t i = 0; i <= length / kBlockSize; ++i) frames_total += IsBlankBlock(g_store, i) ? 0 : 1;
    const std::string port = PrintableText(radio.port);
    const std::string label = port + " " + (radio.has_name ? PrintableText(radio.name) : "unknown") + " " +
                              (radio.has_version ? PrintableText(radio.version) : "unknown");
    ProgressDisplay display(length, frames_total, isatty(STDERR_FILENO) != 0, label, port);
    WriteReport report;
    bool stop_noted = false;

    Say(kSendingFirmware);
    display.Start(host.ElapsedMs());
    const WriteOutcome outcome =
        host.link.WriteFirmware(g_store.FirmwareImage, length, [&](int32_t value) {
            host.ReplyHandled();
            const int32_t i = value / kBlockSize;
            if (!IsBlankBlock(g_store, i)) {
                ++report.frames;
                report.bytes += std::min(kBlockSize, length - value);
            }
            display.Update(std::min(value + kBlockSize, length), report.frames, host.ElapsedMs());
            if (StopRequests() == 1 && !stop_noted) {
                stop_noted = true;
                display.Finish();
                Complain("the write goes on to its end, since a half-written radio does not start; "
                         "Ctrl-C again stops at once");
            }
        });
    display.Finish();
    // The host sends no further frame after a second request, so the radio never gets part of one.
    if (StopRequests() >= 2) {
        report.result = RadioResult::Stopped;
        Complain("stopped during the write: the radio is half-written and will not start; "
                 "write it again (run q42flash, then switch the radio off and on)");
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

// What a run needs across its radios.
struct Run {
    explicit Run(const FlashOptions& given) : options(given) {}
    const FlashOptions& options;
    int32_t length = 0;
    std::string image_version;
    std::string image_sha256;
    RecordFile record;
    std::vector<RadioRecord> done;
    bool confirmed = false;  // the question, asked once for the run
};

// One radio, from its greeting on: the header, the checks, the question, the write.
// Returns its exit code; a stop before anything is written ends the process.
int UpdateRadio(Run& run, GreetingListener& listener, SerialLinkHost& host, const std::string& port,
                RadioRecord& radio) {
    host.on_stop_request = [] {
        Complain("stopping when the radio's header has been read (at most 5 s); nothing will be written");
    };
    const DeviceHeader header = host.link.ReadDeviceHeader();
    host.on_stop_request = nullptr;
    host.ReplyHandled();
    if (StopRequests() > 0) StopNow(listener, "stopped; nothing was written");
    if (header.timed_out) {
        Say(kCannotReadDevice);
        ExplainLostLine(host, port);
        radio.result = RadioResult::NoHeader;
        return kExitNoRadio;
    }
    radio.has_name = header.has_name;
    radio.name = header.name;
    radio.has_version = header.has_version;
    radio.version = header.version;
    ShowHeader(header);
    if (run.options.info) {
        radio.result = RadioResult::NotWritten;
        return kExitWritten;
    }

    std::string image_name;
    const ImageFit fit = JudgeImage(g_store.FirmwareImage, run.length, header, image_name);
    if (fit != ImageFit::Fits) {
        const std::string radio_name = header.has_name ? PrintableText(header.name) : "none";
        const std::string image_said = fit == ImageFit::NoName
                                           ? "the image carries no Q42 application name (at its offset 16)"
                                           : "the image is for application " + image_name;
        Complain(image_said + ", the radio's application is " + radio_name +
                 (run.options.force ? ": written anyway, as --force asks" : ": not written (--force writes it anyway)"));
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
            StopNow(listener, "stopped; nothing was written");
        case Answer::No:
            Complain("not written");
            return kExitNotConfirmed;
        }
        run.confirmed = true;
        // What the radio sent and the ticks that passed while the question was up go through
        // the link now, as the window's loop would have taken them; nothing is awaited.
        host.RunMessageLoopOnce();
    }
    const WriteReport report = WriteImage(host, run.length, radio);
    radio.result = report.result;
    radio.frames = report.frames;
    radio.bytes = report.bytes;
    if (report.result == RadioResult::Written) return kExitWritten;
    ExplainLostLine(host, port);
    return report.result == RadioResult::Stopped ? 128 + LastStopSignal() : kExitWriteFailed;
}

// The radio's line in the record and in --json's output, whole and at once.
void Keep(Run& run, RadioRecord& radio) {
    radio.unix_seconds = static_cast<int64_t>(time(nullptr));
    const std::string line = RecordLine(radio);
    std::string error;
    if (run.record.is_open() && !run.record.Append(line, error)) Complain(error);
    if (run.options.json) {
        std::fputs(line.c_str(), stdout);
        std::fflush(stdout);
    }
    run.done.push_back(radio);
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

    if (options.json) g_say = stderr;
    Run run(options);
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
            if (run.done.empty()) StopNow(listener, "stopped; nothing was written");
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
        if (greeting != Greeting::Answered) {
            if (run.done.empty()) return code;
            break;
        }

        // Await returns on the 500 ms step that found the link settled.
        host.link.TakeSettled();
        const uint64_t start_ms = host.ElapsedMs();
        RadioRecord radio;
        radio.port = port;
        radio.image_version = run.image_version;
        radio.image_sha256 = run.image_sha256;
        radio.exit_code = UpdateRadio(run, listener, host, port, radio);
        radio.seconds = static_cast<double>(host.ElapsedMs() - start_ms) / 1000.0;
        Keep(run, radio);
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
        Complain("not every radio was written: exit status " + std::to_string(code) + ", from the first row that failed");
    }
    return code;
}
