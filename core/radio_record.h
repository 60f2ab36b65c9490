// What became of one radio's update: its result, the exit code a command line ends with for
// it, and the fields of its record line.
#pragma once

#include <cstdint>
#include <string>

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
    std::string run;       // the q42flash run's id, one per run
    std::string computer;  // the PC's name, or ""
    // Why a write failed or no header came: "refused", "no answer", "hung up", "gone" or
    // "not sent"; "" for any other result.
    std::string reason;
};
