// One radio's update, from its settled handshake to its verdict: the header read, the
// image's check, the question's place, the write, the stop rule, the exit code and the
// record's fields. It is stepped by its driver's loop, so that one loop drives several, and
// it shows and asks only through the two small interfaces below: each display decides where
// the words go, and the driver decides whom to ask and when.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/boot_link.h"
#include "core/image_fit.h"
#include "core/radio_record.h"

// The image every radio of a run gets, judged once before any radio.
struct SessionImage {
    const uint8_t* bytes = nullptr;  // kFirmwareImageSize bytes, 0xFF where the image has none
    int32_t length = 0;
    std::string version;        // "" when the image is too short to hold one
    std::string sha256;         // as checked when the image was read; checked again before the first frame
    bool force = false;         // write it even where the names do not agree
    bool info = false;          // read the header, judge the image against it, write nothing
    bool skip_current = false;  // leave a radio that already holds its application and version

    // Frames the image takes: its blocks that are not all filler.
    int FramesToSend() const;
    bool IsBlankBlock(int32_t block) const;
};

// What a write has done so far, from the link's progress after each block.
struct WriteTally {
    int frames = 0;       // acknowledged by the radio
    int64_t bytes = 0;    // image bytes those frames carried
    int32_t covered = 0;  // image bytes behind the write, blank blocks included
    // block_offset: what the link's progress gives, 1024 times the block's number.
    void AfterBlock(const SessionImage& image, int32_t block_offset);
};

class SessionDisplay {
public:
    virtual ~SessionDisplay() = default;
    // A line in the update window's words: the header's, "Ready to program", the verdict's.
    virtual void Line(const std::string& text) = 0;
    // A word of the command line's own about this radio: a refusal, a stop.
    virtual void Note(const std::string& text) = 0;
    // The write has begun; then its progress after each block, and its end.
    virtual void WriteBegins(const RadioRecord& radio, uint64_t now_ms) = 0;
    virtual void WriteProgress(const WriteTally& tally, uint64_t now_ms) = 0;
    virtual void WriteEnds() = 0;
};

enum class Answer { Yes, No, Stopped };

class SessionQuestion {
public:
    // Asked once the radio's header has been shown and the image judged, before the write.
    virtual Answer MayWrite() = 0;

protected:
    ~SessionQuestion() = default;
};

// The stop requests as the driver sees them: the first lets a write end, the second stops
// it at its next frame (the link's host then sends no further frame).
struct StopState {
    int count = 0;
    int last_signal = 0;  // its status is 128 + this
};

class UpdateSession {
public:
    enum class Phase { ReadingHeader, Writing, Over };

    UpdateSession(BootLink& link, const SessionImage& image, SessionDisplay& display, SessionQuestion& question);

    // The link has just been taken settled, at its 500 ms step: the header read begins.
    // radio: the port's part of the record (port, its names, the label), the rest is the session's.
    void Begin(const RadioRecord& radio, uint64_t now_ms);
    // After each pass of the driver's loop. Busy: step again after one more pass, at once (a
    // frame is being built); Waiting: after the next byte or tick; Over: see radio().
    LinkStep Step(const StopState& stops, uint64_t now_ms);

    Phase phase() const { return phase_; }
    // Over, stopped before anything was written: the radio has no verdict and no record.
    bool abandoned() const { return abandoned_; }
    // The radio's record: its header's fields once read, then its verdict once Over.
    RadioRecord& radio() { return radio_; }

private:
    LinkStep TakeHeader(const StopState& stops, uint64_t now_ms);
    LinkStep StepWrite(const StopState& stops, uint64_t now_ms);
    LinkStep End(RadioResult result, int exit_code, uint64_t now_ms);
    LinkStep Abandon();

    BootLink& link_;
    const SessionImage& image_;
    SessionDisplay& display_;
    SessionQuestion& question_;
    Phase phase_ = Phase::Over;
    bool abandoned_ = false;
    uint64_t start_ms_ = 0;
    uint64_t progress_ms_ = 0;  // the time of the write's step in hand
    WriteTally tally_;
    RadioRecord radio_;
};

// The radio's name and version as read before the write, into its record.
void RecordHeader(RadioRecord& radio, const DeviceHeader& header);
// The update window's verdict on its write, in q42flash's terms: the result, the exit code
// and why it failed. program_ending: the program was ending, which stops a write at its next
// frame.
void RecordWindowWrite(RadioRecord& radio, WriteOutcome outcome, bool program_ending, const BootLink& link);

// The header as the window shows it: the application's line, then the version's.
std::vector<std::string> HeaderLines(const DeviceHeader& header);
// Why an image that does not fit the radio, or any radio (header nullptr), is (or, with
// force, is not) refused.
std::string ImageRefusal(ImageFit fit, const std::string& image_name, const DeviceHeader* header, bool force);
// "APPLICATION VERSION" as read before the write ("unknown" for what the radio did not say).
std::string RadioName(const RadioRecord& radio);
// "PORT APPLICATION VERSION", the label of the radio's progress.
std::string RadioLabel(const RadioRecord& radio);
