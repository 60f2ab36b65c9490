// What became of each radio: one JSON line per radio, for --record FILE and --json, and the
// table printed at the end of a run of several radios.
#pragma once

#include <string>
#include <vector>

#include "core/radio_record.h"

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
