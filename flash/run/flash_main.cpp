// q42flash: the Q42 firmware update from a command line, with the same link, steps, waits
// and verdicts as the Windows program's update window, whose words it prints. The window's
// lines go to standard output; q42flash's own errors and progress to standard error.
#include "flash/run/flash_main.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/firmware_container.h"
#include "core/printable_text.h"
#include "core/q42_protocol.h"
#include "core/sha256.h"
#include "core/update_lines.h"
#include "flash/run/command_line.h"
#include "flash/run/console_bench.h"
#include "flash/run/flash_output.h"
#include "flash/run/image_input.h"
#include "flash/run/platform.h"
#include "flash/run/port_check.h"
#include "flash/run/port_choice.h"
#include "flash/run/radio_bench.h"

namespace {

// The program file is read back into a 4 MiB buffer: static storage, not the stack.
FirmwareStore g_store;

// What a run keeps across its radios.
struct Run {
    explicit Run(const FlashOptions& given) : options(given) {}
    const FlashOptions& options;
    SessionImage image;
    std::unique_ptr<AppendFile> record;
};

int ListPorts() {
    const std::vector<PresentPort> ports = PresentPorts();
    for (const PresentPort& port : ports) Say(port.description);
    SayConvertersWithoutPort();
    if (ports.empty()) Complain("no serial ports found: is the converter plugged in?");
    return kExitWritten;
}

// --sha256's digest, in lower case as the record writes it; "" when it is no SHA-256. By
// hand, so that q42flash.exe imports nothing from msvcrt beyond what was checked on Windows 7.
std::string GivenDigest(const std::string& given) {
    std::string digest;
    for (const char c : given) {
        const char lower = c >= 'A' && c <= 'F' ? static_cast<char>(c - 'A' + 'a') : c;
        if ((lower < '0' || lower > '9') && (lower < 'a' || lower > 'f')) return "";
        digest += lower;
    }
    return digest.size() == 64 ? digest : "";
}

// Loads the image named on the command line into run.image; false, said, with the exit code
// when it cannot.
bool LoadImage(const FlashOptions& options, Run& run, int& exit_code) {
    exit_code = kExitBadInput;
    run.image.bytes = g_store.FirmwareImage;
    run.image.force = options.force;
    run.image.info = options.info;
    run.image.skip_current = options.skip_current;
    if (options.image_path.empty() && options.program_path.empty()) return true;
    const std::string digest = GivenDigest(options.image_sha256);
    if (!options.image_sha256.empty() && digest.empty()) {
        Complain("--sha256 takes the image's SHA-256 as 64 hexadecimal digits, not " + options.image_sha256);
        return false;
    }
    const bool plain = !options.image_path.empty();
    const std::string& path = plain ? options.image_path : options.program_path;
    const ImageInput input = plain ? LoadPlainImage(path, g_store) : LoadProgramImage(path, g_store);
    if (input.outcome == ImageInput::Outcome::Unreadable) {
        Complain(input.error);
        return false;
    }
    exit_code = kExitImageDamaged;
    if (input.outcome == ImageInput::Outcome::Damaged) {
        Say(kImageDamaged);
        return false;
    }
    run.image.sha256 = Sha256Hex(g_store.FirmwareImage, static_cast<size_t>(input.length));
    if (!digest.empty() && digest != run.image.sha256) {
        Complain("the image in " + path + " does not match the SHA-256 given with --sha256: it is damaged or not " +
                 "the one meant; get it again (its SHA-256 is " + run.image.sha256 + ")");
        return false;
    }
    run.image.length = input.length;
    const bool has_version = input.length >= kVersionFieldEnd;
    run.image.version = has_version ? g_store.ImageVersion() : "";
    const std::string shown =
        has_version ? PrintableText(run.image.version) : "none (the image is too short to hold one)";
    Say((plain ? "This image contains software version: " : kProgramVersionLabel) + shown);
    return true;
}

// An image that names no application is no Q42 image: refused before any radio greets.
bool JudgeImageAtStart(const Run& run, int& exit_code) {
    if (run.image.length == 0 || ImageName(run.image.bytes, run.image.length, nullptr)) return true;
    Complain(ImageRefusal(ImageFit::NoName, "", nullptr, run.image.force));
    exit_code = kExitWrongImage;
    return run.image.force;
}

}  // namespace

int RunFlash(int argc, const char* const* argv) {
    FlashOptions options;
    std::string error;
    if (!ParseCommandLine(argc, argv, options, error)) {
        Complain(error + " (q42flash --help tells more)");
        return kExitBadInput;
    }
    if (options.help) {
        std::fputs(FlashUsage().c_str(), stdout);
        return kExitWritten;
    }
    if (options.version) {
        std::printf("q42flash %s\n", kFlashVersion);
        return kExitWritten;
    }
    if (options.list_ports) return ListPorts();
    if (options.check) return CheckSerialSide();

    if (options.json) SayOnStandardError();
    Run run(options);
    // The image is checked before the port is touched: a bad one sends nothing.
    int refused = kExitWritten;
    if (!LoadImage(options, run, refused)) return refused;
    if (!JudgeImageAtStart(run, refused)) return refused;
    if (!PrepareToRun(error)) {
        Complain(error);
        return kExitBadInput;
    }
    if (!options.record_path.empty()) {
        run.record = OpenAppendFile(options.record_path, error);
        if (run.record == nullptr) {
            Complain(error);
            return kExitBadInput;
        }
    }
    std::vector<PortCandidate> candidates;
    if (!CandidatePorts(options.ports, candidates, error)) {
        Complain(error);
        return kExitBadInput;
    }
    if (candidates.empty()) {
        Complain("no serial ports found for --port auto: is the converter plugged in?");
        return kExitPortUnusable;
    }
    ConsoleSystem system;
    ListenedPorts ports(system);
    if (!OpenCandidates(candidates, ports, Complain)) return kExitPortUnusable;
    std::vector<std::string> names;
    for (size_t i = 0; i < ports.size(); ++i) names.push_back(PrintableText(ports.at(i).shown));
    ConsoleDisplay display(names, options.all, run.image);
    StandardOutputLines json;
    ConsoleLabels labels;
    TerminalBell bell;
    const BenchGiven given{system,  display, run.record.get(), options.json ? &json : nullptr,
                           &labels, &bell,   NewRunId(system), ComputerName()};
    const BenchEnd end = RunBench(options, run.image, ports, given);
    if (!end.by_signal) return end.exit_code;
    ports.CloseAll();
    EndByStopSignal();
}
