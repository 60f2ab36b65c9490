// What became of each radio: one JSON line per radio, for --record FILE and --json, and the
// table printed at the end of a run of several radios.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum class RadioResult { Written, WriteFailed, NoHeader, Stopped, NotWritten };

struct RadioRecord {
    int64_t unix_seconds = 0;  // when the radio's update ended
    std::string port;
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
};

// "written", "write failed", "no header", "stopped", "not written".
const char* ResultText(RadioResult result);

// One line of JSON, ending in a newline, with the time in UTC as ISO 8601.
std::string RecordLine(const RadioRecord& record);

// The end table: port, radio version before, image version, result, seconds; one row a radio.
std::string ResultTable(const std::vector<RadioRecord>& records);

// 0 when every radio was written; otherwise the exit code of the first that was not, in
// the table's order.
int RunExitCode(const std::vector<RadioRecord>& records);

// The record file, opened for appending. Each line goes in one write and is on the disk
// (fsync) before Append returns, so that a power cut or a kill loses no earlier line.
class RecordFile {
public:
    RecordFile() = default;
    RecordFile(const RecordFile&) = delete;
    RecordFile& operator=(const RecordFile&) = delete;
    ~RecordFile();

    bool Open(const std::string& path, std::string& error);
    bool is_open() const { return fd_ >= 0; }
    bool Append(const std::string& line, std::string& error);

private:
    int fd_ = -1;
    std::string path_;
};
