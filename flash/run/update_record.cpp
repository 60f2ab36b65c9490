// Formats the record of each radio's update and the table of a run's radios.
#include "flash/run/update_record.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "core/printable_text.h"

namespace {

// Names and versions come from the radio and may hold any byte: shown as the terminal shows
// them, then escaped for JSON.
std::string JsonString(const std::string& raw) {
    std::string out = "\"";
    for (const char c : PrintableText(raw)) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string OptionalString(bool present, const std::string& raw) { return present ? JsonString(raw) : "null"; }

}  // namespace

const char* ResultText(RadioResult result) {
    switch (result) {
    case RadioResult::Written:
        return "written";
    case RadioResult::WriteFailed:
        return "write failed";
    case RadioResult::NoHeader:
        return "no header";
    case RadioResult::Stopped:
        return "stopped";
    case RadioResult::NotWritten:
        break;
    }
    return "not written";
}

std::string RecordLine(const RadioRecord& r) {
    const time_t when = static_cast<time_t>(r.unix_seconds);
    tm utc{};
    gmtime_r(&when, &utc);
    char time_text[32];
    std::strftime(time_text, sizeof time_text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    char figures[160];
    std::snprintf(figures, sizeof figures, "\"frames\":%d,\"bytes\":%lld,\"seconds\":%.2f,\"exit_code\":%d", r.frames,
                  static_cast<long long>(r.bytes), r.seconds, r.exit_code);
    return std::string("{\"time\":\"") + time_text + "\",\"port\":" + JsonString(r.port) +
           ",\"application\":" + OptionalString(r.has_name, r.name) +
           ",\"version\":" + OptionalString(r.has_version, r.version) +
           ",\"image_version\":" + JsonString(r.image_version) + ",\"image_sha256\":\"" + r.image_sha256 +
           "\",\"result\":\"" + ResultText(r.result) + "\"," + figures + "}\n";
}

std::string ResultTable(const std::vector<RadioRecord>& records) {
    size_t port_width = 4;
    for (const RadioRecord& r : records) port_width = std::max(port_width, PrintableText(r.port).size());
    char row[512];
    std::snprintf(row, sizeof row, "%-*s  %-8s  %-8s  %-12s  %8s\n", static_cast<int>(port_width), "port", "before",
                  "image", "result", "seconds");
    std::string table = row;
    for (const RadioRecord& r : records) {
        std::snprintf(row, sizeof row, "%-*s  %-8s  %-8s  %-12s  %8.1f\n", static_cast<int>(port_width),
                      PrintableText(r.port).c_str(), r.has_version ? PrintableText(r.version).c_str() : "unknown",
                      PrintableText(r.image_version).c_str(), ResultText(r.result), r.seconds);
        table += row;
    }
    return table;
}

int RunExitCode(const std::vector<RadioRecord>& records) {
    for (const RadioRecord& r : records) {
        if (r.exit_code != 0) return r.exit_code;
    }
    return 0;
}
