// One radio's update as steps; see update_session.h.
#include "core/update_session.h"

#include <algorithm>

#include "core/printable_text.h"
#include "core/q42_protocol.h"
#include "core/sha256.h"
#include "core/update_lines.h"

bool SessionImage::IsBlankBlock(int32_t block) const {
    const uint8_t* start = bytes + kBlockSize * block;
    return std::all_of(start, start + kBlockSize, [](uint8_t b) { return b == kFillerByte; });
}

int SessionImage::FramesToSend() const {
    int frames = 0;
    for (int32_t i = 0; i <= length / kBlockSize; ++i) frames += IsBlankBlock(i) ? 0 : 1;
    return frames;
}

void WriteTally::AfterBlock(const SessionImage& image, int32_t block_offset) {
    if (!image.IsBlankBlock(block_offset / kBlockSize)) {
        ++frames;
        bytes += std::min(kBlockSize, image.length - block_offset);
    }
    covered = std::min(block_offset + kBlockSize, image.length);
}

UpdateSession::UpdateSession(BootLink& link, const SessionImage& image, SessionDisplay& display,
                             SessionQuestion& question)
    : link_(link), image_(image), display_(display), question_(question) {}

void UpdateSession::Begin(const RadioRecord& radio, uint64_t now_ms) {
    radio_ = radio;
    radio_.image_version = image_.version;
    radio_.image_sha256 = image_.sha256;
    tally_ = WriteTally{};
    abandoned_ = false;
    start_ms_ = now_ms;
    phase_ = Phase::ReadingHeader;
    link_.BeginHeaderRead();
}

LinkStep UpdateSession::Step(const StopState& stops, uint64_t now_ms) {
    switch (phase_) {
    case Phase::ReadingHeader:
        if (link_.StepHeaderRead() != LinkStep::Over) return LinkStep::Waiting;
        return TakeHeader(stops, now_ms);
    case Phase::Writing:
        return StepWrite(stops, now_ms);
    case Phase::Over:
        break;
    }
    return LinkStep::Over;
}

LinkStep UpdateSession::TakeHeader(const StopState& stops, uint64_t now_ms) {
    const DeviceHeader header = link_.TakeHeader();
    if (stops.count > 0) return Abandon();
    if (header.timed_out) {
        display_.Line(kCannotReadDevice);
        return End(RadioResult::NoHeader, kExitNoRadio, now_ms);
    }
    RecordHeader(radio_, header);
    for (const std::string& line : HeaderLines(header)) display_.Line(line);

    std::string image_name;
    const ImageFit fit =
        image_.length > 0 ? JudgeImage(image_.bytes, image_.length, header, image_name) : ImageFit::Fits;
    if (image_.info) {
        if (fit != ImageFit::OtherApplication) return End(RadioResult::NotWritten, kExitWritten, now_ms);
        display_.Note("the image is for application " + image_name + ", the radio's application is " +
                      PrintableText(header.name));
        return End(RadioResult::NotWritten, kExitWrongImage, now_ms);
    }
    if (fit != ImageFit::Fits) {
        display_.Note(ImageRefusal(fit, image_name, &header, image_.force));
        if (!image_.force) return End(RadioResult::NotWritten, kExitWrongImage, now_ms);
    }
    if (image_.skip_current && fit == ImageFit::Fits && header.has_name && header.name == image_name &&
        header.has_version && header.version == image_.version) {
        display_.Note("already current: it holds " + PrintableText(header.name) + " " + PrintableText(header.version) +
                      ", the image's application and version; not rewritten");
        return End(RadioResult::AlreadyCurrent, kExitWritten, now_ms);
    }
    display_.Line(kReadyToProgram);
    switch (question_.MayWrite()) {
    case Answer::Yes:
        break;
    case Answer::Stopped:
        return Abandon();
    case Answer::No:
        display_.Note(kNotWritten);
        return End(RadioResult::NotWritten, kExitNotConfirmed, now_ms);
    }

    // The bench keeps one image for hours, for every radio: what goes out must still be what
    // was checked.
    if (Sha256Hex(image_.bytes, static_cast<size_t>(image_.length)) != image_.sha256) {
        display_.Note(kImageChangedInMemory);
        return End(RadioResult::NotWritten, kExitImageDamaged, now_ms);
    }
    display_.Line(kSendingFirmware);
    display_.WriteBegins(radio_, now_ms);
    phase_ = Phase::Writing;
    // The link reports progress from inside StepWrite, at the time that step was given.
    link_.BeginWrite(image_.bytes, image_.length, [this](int32_t block_offset) {
        tally_.AfterBlock(image_, block_offset);
        display_.WriteProgress(tally_, progress_ms_);
    });
    return StepWrite(stops, now_ms);
}

LinkStep UpdateSession::StepWrite(const StopState& stops, uint64_t now_ms) {
    progress_ms_ = now_ms;
    const LinkStep step = link_.StepWrite();
    if (step != LinkStep::Over) return step;
    display_.WriteEnds();
    if (link_.write_outcome() == WriteOutcome::Completed) {
        for (const char* line : kClosingLines) display_.Line(line);
        return End(RadioResult::Written, kExitWritten, now_ms);
    }
    // The host sends no further frame after a second request, so the radio never gets part
    // of one; a request that came after the last frame's answer stopped nothing.
    if (stops.count >= 2) {
        display_.Note(kStoppedDuringWrite);
        return End(RadioResult::Stopped, 128 + stops.last_signal, now_ms);
    }
    display_.Line(kWriteFailed);
    return End(RadioResult::WriteFailed, kExitWriteFailed, now_ms);
}

LinkStep UpdateSession::End(RadioResult result, int exit_code, uint64_t now_ms) {
    radio_.result = result;
    radio_.exit_code = exit_code;
    radio_.frames = tally_.frames;
    radio_.bytes = tally_.bytes;
    radio_.seconds = static_cast<double>(now_ms - start_ms_) / 1000.0;
    phase_ = Phase::Over;
    return LinkStep::Over;
}

LinkStep UpdateSession::Abandon() {
    display_.Note(kNothingWritten);
    abandoned_ = true;
    phase_ = Phase::Over;
    return LinkStep::Over;
}

void RecordHeader(RadioRecord& radio, const DeviceHeader& header) {
    radio.has_name = header.has_name;
    radio.name = header.name;
    radio.has_version = header.has_version;
    radio.version = header.version;
}

void RecordWindowWrite(RadioRecord& radio, WriteOutcome outcome, bool program_ending, const BootLink& link) {
    radio.reason.clear();
    if (outcome == WriteOutcome::Completed) {
        radio.result = RadioResult::Written;
        radio.exit_code = kExitWritten;
    } else if (program_ending) {
        // As q42flash.exe ends when its session ends: 128 and SIGHUP's number.
        radio.result = RadioResult::Stopped;
        radio.exit_code = 128 + 1;
    } else {
        radio.result = RadioResult::WriteFailed;
        radio.exit_code = kExitWriteFailed;
        // A byte other than the acknowledgement came, or none within the time-out.
        radio.reason = link.RxExpected == 0 ? "refused" : "no answer";
    }
}

std::vector<std::string> HeaderLines(const DeviceHeader& header) {
    return {header.has_name ? kApplicationInUnit + PrintableText(header.name) : kUnknownApplication,
            header.has_version ? kVersionLabel + PrintableText(header.version) : kUnknownVersion};
}

std::string ImageRefusal(ImageFit fit, const std::string& image_name, const DeviceHeader* header, bool force) {
    std::string said = fit == ImageFit::NoName ? "the image carries no Q42 application name (at its offset 16)"
                                               : "the image is for application " + image_name;
    if (header != nullptr)
        said += ", the radio's application is " + (header->has_name ? PrintableText(header->name) : "none");
    return said + (force ? ": written anyway, as --force asks" : ": not written (--force writes it anyway)");
}

std::string RadioName(const RadioRecord& radio) {
    return (radio.has_name ? PrintableText(radio.name) : "unknown") + " " +
           (radio.has_version ? PrintableText(radio.version) : "unknown");
}

std::string RadioLabel(const RadioRecord& radio) { return PrintableText(radio.port) + " " + RadioName(radio); }
