// What became of one radio's update: its result, the exit code a command line ends with for
// it, its record line (one JSON line per radio, q42flash's --record FILE and --json, and the
// update window's log) and the table printed at the end of a run of several radios.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A row of a run: a radio's verdict, or what a port had instead of a radio.
enum class RadioResult {
    Written,
    WriteFailed,
    NoHeader,
    Stopped,
    NotWritten,
    AlreadyCurrent,  // it reported the image's application and version: not rewritten
    NoRadio,         // a port named for a radio where none greeted within --wait
    HungUp,          // a port whose line hung up while a radio was awaited
};

// The exit codes of q42flash, one radio's or a whole run's (the first failure's); its usage text
// (--help) and manual page list them.
enum UpdateExit {
    kExitWritten = 0,
    kExitWriteFailed = 1,
    kExitBadInput = 2,
    kExitNoRadio = 3,
    kExitPortUnusable = 4,
    kExitNotConfirmed = 5,
    kExitWrongImage = 6,
    kExitRecordLost = 7,    // a record line could not be written whole
    kExitImageDamaged = 8,  // the image does not match its SHA-256: get it again
};

struct RadioRecord {
    int64_t unix_seconds = 0;  // when the radio's update ended
    std::string port;          // the device as given
    std::string shown_port;    // as the board and the table show it
    std::string position;      // the bench position's name, --port DEVICE=NAME, or ""
    std::string label;         // the radio's label as scanned or typed, or ""
    bool has_name = false;
    std::string name;  // as read from the radio before the write
    bool has_version = false;
    std::string version;
    std::string image_version;
    std::string image_sha256;
    RadioResult result = RadioResult::NotWritten;
    int frames = 0;      // frames the radio acknowledged
    int64_t bytes = 0;   // image bytes those frames carried
    double seconds = 0;  // from the greeting to the end
    int exit_code = 0;
    std::string run;       // the run's id, one per q42flash run or Q42Update start
    std::string computer;  // the PC's name, or ""
    // Why a write failed or no header came: "refused", "no answer", "hung up", "gone" or
    // "not sent"; "" for any other result.
    std::string reason;
};

// "written", "write failed", "no header", "stopped", "not written", "no radio" ...
const char* ResultText(RadioResult result);

// One line of JSON, ending in a newline, with the time in UTC as ISO 8601.
std::string RecordLine(const RadioRecord& record);

// "write failed at frame 7", "no radio": the result as the count line gives it.
std::string VerdictText(const RadioRecord& record);

// The end table: port, radio version before, image version, result, seconds, one row a
// radio (or a port without one) in the order given; then the count line, "3 of 5 radios
// written, 1 already current; 1 failed: COM23 write failed at frame 8", done_word standing
// for "written".
std::string ResultTable(const std::vector<RadioRecord>& records, const char* done_word);

// 0 when every radio was written; otherwise the exit code of the first that was not, in
// the table's order.
int RunExitCode(const std::vector<RadioRecord>& records);

// One id per run: the start's Unix time and 32 random bits, unique across a shop's PCs.
std::string NewRunId(int64_t unix_seconds);
