// q42flash: the Q42 firmware update from a Linux or macOS command line, with the same link,
// steps, waits and verdicts as the Windows program's update window, whose words it prints.
// The window's lines go to standard output; q42flash's own errors and progress to standard error.
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <strings.h>
#include <vector>
#include <sys/select.h>
#include <unistd.h>

#include "flash/command_line.h"
#include "flash/greeting_listener.h"
#include "flash/image_input.h"
#include "flash/link_host.h"
#include "flash/port_holders.h"
#include "flash/port_list.h"
#include "flash/progress_display.h"
#include "flash/serial_port.h"
#include "flash/stop_signal.h"
#include "update/firmware_container.h"
#include "update/printable_text.h"

namespace {

constexpr uint8_t kActive = 6;
constexpr int32_t kBlockSize = 1024;
constexpr size_t kVersionFieldEnd = 29;

// The program file is read back into a 4 MiB buffer: static storage, not the stack.
FirmwareStore g_store;

void Say(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
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

// The ports named, --port auto standing for every port present, each once.
std::vector<std::string> CandidatePorts(const std::vector<std::string>& named) {
    std::vector<std::string> ports;
    const auto add = [&ports](const std::string& device) {
        if (std::find(ports.begin(), ports.end(), device) == ports.end()) ports.push_back(device);
    };
    for (const std::string& device : named) {
        if (device != kAutoPort) {
            add(device);
            continue;
        }
        for (const SerialPortInfo& port : ListSerialPorts("/")) add(port.device);
    }
    return ports;
}

// Why the port cannot be used while another program holds it, or "" when none is seen.
std::string HeldBy(const std::string& device, const PortHolders& found) {
    if (found.holders.empty()) return "";
    std::string names;
    for (const PortHolder& holder : found.holders) names += (names.empty() ? "" : ", ") + DescribeHolder(holder);
    return device + " is in use by another program: " + names + "; end it, then try again";
}

// Opens every candidate that no other program holds. With one port its refusal ends the run;
// with several a refused port is skipped with one line. False when no port is left.
bool OpenCandidates(const std::vector<std::string>& devices, GreetingListener& listener) {
    const bool several = devices.size() > 1;
    int hidden_processes = 0;
    bool processes_visible = true;
    for (const std::string& device : devices) {
        const auto not_held = [&](std::string& error) {
            const PortHolders found = FindPortHolders(device, HolderRoots{}, getpid());
            hidden_processes = std::max(hidden_processes, found.hidden_processes);
            processes_visible = processes_visible && found.processes_visible;
            if (!found.unreadable_lock.empty()) {
                Complain(found.unreadable_lock + " locks " + device + " but names no process: if the radio's "
                         "greeting does not come, the program that made it may still hold the port");
            }
            error = HeldBy(device, found);
            return error.empty();
        };
        std::string error;
        if (listener.Add(device, error, not_held)) continue;
        if (!several) {
            Complain(error);
            return false;
        }
        Complain("skipping " + device + ": " + error);
    }
    if (listener.size() == 0) {
        Complain("no port left to listen on: none of the " + std::to_string(devices.size()) +
                 " ports named could be used");
        return false;
    }
    const std::string which = several ? "the ports" : devices.front();
    if (!processes_visible) {
        Complain("this system does not show which programs have " + which + " open: if the radio's "
                 "greeting does not come, end any program that may use it");
    } else if (hidden_processes > 0) {
        Complain("cannot see the open files of " + std::to_string(hidden_processes) +
                 " processes of other users: if the radio's greeting does not come, one of them may hold " + which);
    }
    return true;
}

std::string Listing(const GreetingListener& listener) {
    std::string text;
    for (size_t i = 0; i < listener.size(); ++i) {
        text += (i == 0 ? "" : i + 1 == listener.size() ? " and " : ", ") + listener.device(i);
    }
    return text;
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
        if (ready <= 0 || !FD_ISSET(STDIN_FILENO, &readable)) continue;
        char c = 0;
        const ssize_t n = read(STDIN_FILENO, &c, 1);
        if (n < 0) continue;
        if (n == 0 || c == '\n') break;
        if (length < sizeof line - 1) line[length++] = c;
    }
    line[length] = '\0';
    return std::strcmp(line, "y") == 0 || std::strcmp(line, "Y") == 0 || strcasecmp(line, "yes") == 0 ? Answer::Yes
                                                                                                      : Answer::No;
}

void ShowHeader(const DeviceHeader& header) {
    Say(header.has_name ? "Application in unit: " + PrintableText(header.name) : "Unknown application in unit");
    Say(header.has_version ? "Version: " + PrintableText(header.version) : "Unknown version");
}

void ExplainLostLine(const SerialLinkHost& host, const std::string& port) {
    if (host.hung_up()) {
        Complain("the line on " + port + " hung up: is the cable or converter still plugged in?");
    } else if (host.send_failed()) {
        Complain(port + " did not take all that was sent to the radio");
    }
}

int WriteImage(SerialLinkHost& host, GreetingListener& listener, int32_t length) {
    int frames_total = 0;
    for (int32_t i = 0; i <= length / kBlockSize; ++i) frames_total += IsBlankBlock(g_store, i) ? 0 : 1;
    ProgressDisplay display(length, frames_total, isatty(STDERR_FILENO) != 0);
    int frames_done = 0;
    bool stop_noted = false;

    Say("Sending new Q42 firmware...");
    display.Start(host.ElapsedMs());
    const WriteOutcome outcome =
        host.link.WriteFirmware(g_store.FirmwareImage, length, [&](int32_t value) {
            host.ReplyHandled();
            const int32_t i = value / kBlockSize;
            if (!IsBlankBlock(g_store, i)) ++frames_done;
            display.Update(std::min(value + kBlockSize, length), frames_done, host.ElapsedMs());
            // Between frames, so that the radio never gets part of one.
            if (StopRequests() >= 2) {
                display.Finish();
                StopNow(listener, "stopped during the write: the radio is half-written and will not start; "
                              "write it again (run q42flash, then switch the radio off and on)");
            }
            if (StopRequests() == 1 && !stop_noted) {
                stop_noted = true;
                display.Finish();
                Complain("the write goes on to its end, since a half-written radio does not start; "
                         "Ctrl-C again stops at once");
            }
        });
    display.Finish();
    if (outcome == WriteOutcome::Failed) {
        Say("Program write failed - please repeat");
        return kExitWriteFailed;
    }
    Say("New Firmware is loaded.");
    Say("Finished...");
    Say("Disconnect RS232 link from device");
    Say("and restart device to verify operation.");
    Say("Repeat programming if required.");
    return kExitWritten;
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
    if (options.list_ports) return ListPorts();

    // The image is checked before the port is touched: a bad one sends nothing.
    int32_t length = 0;
    if (!options.image_path.empty() || !options.program_path.empty()) {
        const bool plain = !options.image_path.empty();
        const std::string& path = plain ? options.image_path : options.program_path;
        const ImageInput input = plain ? LoadPlainImage(path, g_store) : LoadProgramImage(path, g_store);
        if (input.outcome == ImageInput::Outcome::NoContainer) {
            Say("Cannot locate code data");
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
        Say((plain ? "This image contains software version: " : "This program contains software version: ") +
            version);
    }

    // Output cut short (q42flash ... | head) must not end the program in the middle of a write.
    std::signal(SIGPIPE, SIG_IGN);
    if (!InstallStopSignals()) {
        Complain(std::string("cannot set up Ctrl-C (") + std::strerror(errno) + ")");
        return kExitBadInput;
    }
    const std::vector<std::string> devices = CandidatePorts(options.ports);
    if (devices.empty()) {
        Complain("no serial ports found for --port auto: is the converter plugged in?");
        return kExitPortUnusable;
    }
    GreetingListener listener;
    if (!OpenCandidates(devices, listener)) return kExitPortUnusable;

    Say("Switch on Q42");
    Complain("waiting for the radio's greeting on " + Listing(listener) + " (Ctrl-C stops)");
    const Greeting greeting = listener.Await(options.wait_seconds, Complain);
    SerialLinkHost& host = listener.chosen().host;
    const std::string port = listener.chosen().device;
    switch (greeting) {
    case Greeting::Answered:
        break;
    case Greeting::Stopped:
        StopNow(listener, "stopped; nothing was written");
    case Greeting::HungUp:
        ExplainLostLine(host, port);
        return kExitPortUnusable;
    case Greeting::NoGreeting:
        Complain("no greeting from the radio within " + std::to_string(options.wait_seconds) +
                 " s: is it switched on, and its port 1 on the cable?");
        return kExitNoRadio;
    }

    host.link.BootState = kActive;
    const DeviceHeader header = host.link.ReadDeviceHeader();
    host.ReplyHandled();
    if (StopRequests() > 0) StopNow(listener, "stopped; nothing was written");
    if (header.timed_out) {
        Say("Cannot read from device. Please try again.");
        ExplainLostLine(host, port);
        return kExitNoRadio;
    }
    ShowHeader(header);
    if (options.info) return kExitWritten;

    Say("Ready to program");
    if (!options.yes) {
        const std::string question = "Write the image (" + std::to_string(length) + " bytes) into the radio?";
        switch (AskToWrite(question)) {
        case Answer::Yes:
            break;
        case Answer::Stopped:
            StopNow(listener, "stopped; nothing was written");
        case Answer::No:
            Complain("not written");
            return kExitNotConfirmed;
        }
        // What the radio sent and the ticks that passed while the question was up go through
        // the link now, as the window's loop would have taken them; nothing is awaited.
        host.RunMessageLoopOnce();
    }
    const int result = WriteImage(host, listener, length);
    if (result != kExitWritten) ExplainLostLine(host, port);
    return result;
}
