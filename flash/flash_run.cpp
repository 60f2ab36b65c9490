// See flash_run.h.
#include "flash/flash_run.h"

#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "flash/image_input.h"
#include "update/printable_text.h"
#include "update/update_lines.h"

namespace {

constexpr int32_t kBlockSize = 1024;

}  // namespace

const char kStopAfterHeader[] = "stopping when the radio's header has been read (at most 5 s); nothing will be written";
const char kNothingWritten[] = "stopped; nothing was written";
const char kWriteGoesOn[] =
    "the write goes on to its end, since a half-written radio does not start; "
    "Ctrl-C again stops at once";
const char kStoppedDuringWrite[] =
    "stopped during the write: the radio is half-written and will not start; "
    "write it again (run q42flash, then switch the radio off and on)";

RadioRecord Run::NewRadio(const std::string& port) const {
    RadioRecord radio;
    radio.port = port;
    radio.image_version = image_version;
    radio.image_sha256 = image_sha256;
    return radio;
}

int Run::FramesToSend() const {
    int frames = 0;
    for (int32_t i = 0; i <= length / kBlockSize; ++i) frames += IsBlankBlock(store, i) ? 0 : 1;
    return frames;
}

std::string Run::Keep(RadioRecord& radio) {
    radio.unix_seconds = static_cast<int64_t>(time(nullptr));
    const std::string line = RecordLine(radio);
    std::string error;
    if (record.is_open()) record.Append(line, error);
    if (options.json) {
        std::fputs(line.c_str(), stdout);
        std::fflush(stdout);
    }
    done.push_back(radio);
    return error;
}

void WriteTally::AfterBlock(const Run& run, int32_t block_offset) {
    if (!IsBlankBlock(run.store, block_offset / kBlockSize)) {
        ++frames;
        bytes += std::min(kBlockSize, run.length - block_offset);
    }
    covered = std::min(block_offset + kBlockSize, run.length);
}

std::vector<std::string> HeaderLines(const DeviceHeader& header) {
    return {header.has_name ? kApplicationInUnit + PrintableText(header.name) : kUnknownApplication,
            header.has_version ? kVersionLabel + PrintableText(header.version) : kUnknownVersion};
}

void TakeHeaderInto(const DeviceHeader& header, RadioRecord& radio) {
    radio.has_name = header.has_name;
    radio.name = header.name;
    radio.has_version = header.has_version;
    radio.version = header.version;
}

std::string ImageRefusal(ImageFit fit, const std::string& image_name, const DeviceHeader& header, bool force) {
    const std::string radio_name = header.has_name ? PrintableText(header.name) : "none";
    const std::string image_said = fit == ImageFit::NoName
                                       ? "the image carries no Q42 application name (at its offset 16)"
                                       : "the image is for application " + image_name;
    return image_said + ", the radio's application is " + radio_name +
           (force ? ": written anyway, as --force asks" : ": not written (--force writes it anyway)");
}

namespace {

// A USB converter's device node goes with it, a moment after its line has hung up (the
// kernel hangs the line up first); the node of a line whose far end closed stays.
bool PortGone(const std::string& port) {
    for (int i = 0; i < 10; ++i) {
        if (access(port.c_str(), F_OK) != 0) return true;
        usleep(50'000);
    }
    return false;
}

}  // namespace

std::string LostLineText(const SerialLinkHost& host, const std::string& port) {
    if (host.hung_up()) {
        if (PortGone(port)) return port + " has gone: its USB converter was unplugged, or lost its power";
        return "the line on " + port + " hung up: is the cable or converter still plugged in?";
    }
    if (host.send_failed()) return port + " did not take all that was sent to the radio";
    return "";
}

std::string RadioName(const RadioRecord& radio) {
    return (radio.has_name ? PrintableText(radio.name) : "unknown") + " " +
           (radio.has_version ? PrintableText(radio.version) : "unknown");
}

std::string RadioLabel(const RadioRecord& radio) { return PrintableText(radio.port) + " " + RadioName(radio); }
