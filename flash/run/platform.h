// What a platform supplies to q42flash's run: the few functions and the one class that each
// platform folder (flash/posix/, flash/win32/) implements. The run includes nothing else of a
// platform, so a second platform adds files beside the first and changes no run logic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/q42_protocol.h"
#include "core/serial_check.h"

// --- The serial port -------------------------------------------------------------------

// "9600 baud 8N1": the radio's link as the port's words name it.
inline std::string LinkSettingsWords() {
    constexpr char kParityLetters[] = "NOE";
    return std::to_string(kLinkBaudRate) + " baud " + std::to_string(kLinkDataBits) +
           kParityLetters[static_cast<int>(kLinkParity)] + std::to_string(kLinkStopBits);
}

enum class PortOpenResult { Opened, Missing, Busy, NoPermission, NotTerminal, Failed };

// The radio's port: opened exclusively, raw at the radio's link without flow control, never
// blocking a read, with what had arrived before it was opened dropped; what it was set to
// is put back when it is closed.
class SerialPort {
public:
    virtual ~SerialPort() = default;
    // Takes up to capacity bytes that have arrived, without waiting. Returns the count, or -1
    // once the line has hung up (the other end closed, the converter unplugged).
    virtual long Read(uint8_t* buffer, size_t capacity) = 0;
    // Writes all count bytes, waiting while the port's queue is full; false if the line hung
    // up or the port took nothing for a whole second (the rest is then dropped).
    virtual bool Write(const uint8_t* data, size_t count) = 0;
    // Puts back the settings that the open changed (after what was written has left) and
    // closes; the port is unusable afterwards. Also done when the port is destroyed.
    virtual void Close() = 0;
};

// Says whether the port may be taken, once it is known to be a serial device and before any
// of its settings is changed; false, with the reason in error, refuses it as busy.
using PortVetting = std::function<bool(std::string& error)>;

// Opens device; on failure result says how and error why, in the user's words with the
// system's reason, and nullptr is returned.
std::unique_ptr<SerialPort> OpenSerialPort(const std::string& device, const PortVetting& may_take,
                                           PortOpenResult& result, std::string& error);

// The ports present, as the system names and describes them, none opened: each as a device
// name for --port and a line for --list-ports.
struct PresentPort {
    std::string device;
    std::string description;
};
std::vector<PresentPort> PresentPorts();

// The serial side as far as the system shows it: the USB converters, the ports, who takes them.
SerialSideSeen SeeSerialSide();

// What names device, whichever link or alias it is given by, so that one port named twice
// is seen; and how a person reads it shortest: a stable alias (Linux's /dev/serial/by-id/...)
// as the kernel's own name, any other as given.
std::string PortIdentity(const std::string& device);
std::string ShortPortName(const std::string& device);

// Whether the port's name is there at all: a USB converter's node goes when it is unplugged.
bool PortPresent(const std::string& device);

// Who else holds a port, as far as the system shows it.
struct PortHolderSearch {
    std::string held_by;            // "cat (pid 4711), ..." or "" when none is seen
    bool processes_visible = true;  // false where the system shows no process's open files
    int hidden_processes = 0;       // processes whose open files this user may not see
    std::string unreadable_lock;    // a lock file for the port that names no process
};
PortHolderSearch SearchPortHolders(const std::string& device);
// The same for several ports in one look over the system's processes, one result each.
std::vector<PortHolderSearch> SearchPortHolders(const std::vector<std::string>& devices);

// --- Time and the wait -------------------------------------------------------------------

// Nanoseconds on a clock that never goes back.
uint64_t MonotonicNs();

// Sleeps until a byte has arrived on one of the ports, a stop request comes, or the clock
// reaches until_ns. Ports given as nullptr (a line that has hung up) are not watched.
// Returns true when a stop request woke it.
bool WaitForPorts(SerialPort* const* ports, size_t count, uint64_t until_ns);

// --- Stopping ----------------------------------------------------------------------------

// Sets up Ctrl-C and the system's other requests to stop as requests the run counts (a
// hang-up is at most the first), and output cut short by its reader as no reason to end.
// False, with the reason in error, if that cannot be done.
bool PrepareToRun(std::string& error);
// How many stop requests have come so far, and the signal of the last one that counted.
int StopRequests();
int LastStopSignal();
// How a second request is made, after the first one that came: "Ctrl-C again stops at once".
std::string StopAgainHint();
// Ends the process by the signal that asked for the stop, as a shell expects of a program
// stopped with Ctrl-C (its status is then 128 + the signal's number, 130 for Ctrl-C).
[[noreturn]] void EndByStopSignal();

// How many radios are being written now, told each time that changes: while any is, the
// system is asked not to sleep and, where it can be asked, not to end the session.
void WritesUnderWay(int count);

// The help's paragraph on finding and opening the port, with examples in the system's
// names; and its words for a stop's exit status ("130 stopped with Ctrl-C ...").
std::string PortHelp();
std::string StopStatusHelp();

// --- The person at the terminal and the files --------------------------------------------

// Writes text (UTF-8) to stream and flushes it: a console shows every character, a file or a
// pipe gets the bytes.
void WriteText(FILE* stream, const std::string& text);

// The computer's name as the system gives it, "" when it gives none: the record's lines of
// several PCs are told apart by it.
std::string ComputerName();

// Whether stream is a terminal, and the columns of standard error's (80 when it says none).
bool IsTerminal(FILE* stream);
int TerminalColumns();

// Reads a line from standard input into line (without its end, cut to capacity - 1
// characters and terminated). A stop request while waiting is Stopped; an input that fails
// or ends before any line is Ended.
enum class InputLine { Read, Ended, Stopped };
InputLine ReadInputLine(char* line, size_t capacity);

// Opens path as a regular file and reads its first min(size, capacity) bytes into buffer,
// size getting the file's whole size; false with the reason in error. A pipe, terminal or
// device is refused, never waited on; a folder is named as one (path + kIsFolder).
inline constexpr char kIsFolder[] = " is a folder, not a file";
bool ReadFileStart(const std::string& path, uint8_t* buffer, size_t capacity, size_t& size, std::string& error);

// A file that lines are appended to, each whole and on the disk before Append returns, so
// that a power cut or a kill loses no earlier line.
class AppendFile {
public:
    virtual ~AppendFile() = default;
    virtual bool Append(const std::string& line, std::string& error) = 0;
};
std::unique_ptr<AppendFile> OpenAppendFile(const std::string& path, std::string& error);
