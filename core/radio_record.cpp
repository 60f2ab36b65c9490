// Formats the record of each radio's update and the table of a run's radios.
#include "core/radio_record.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "core/printable_text.h"

namespace {

// shown as a JSON string: quoted, its quotes and backslashes escaped.
std::string Quoted(const std::string& shown) {
    std::string out = "\"";
    for (const char c : shown) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// Names and versions come from the radio and may hold any byte: shown as the terminal shows
// them.
std::string JsonString(const std::string& raw) { return Quoted(PrintableText(raw)); }

std::string OptionalString(bool present, const std::string& raw) { return present ? JsonString(raw) : "null"; }

// What a person named (a bench position, a label, the PC) is kept in UTF-8 as written.
std::string PersonsString(bool present, const std::string& raw) { return present ? Quoted(PersonsText(raw)) : "null"; }

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
    case RadioResult::AlreadyCurrent:
        return "already current";
    case RadioResult::NoRadio:
        return "no radio";
    case RadioResult::HungUp:
        return "hung up";
    case RadioResult::NotWritten:
        break;
    }
    return "not written";
}

namespace {

// The reason of a failure as the count line says it.
std::string ReasonText(const std::string& reason) {
    if (reason == "refused") return ": refused by the radio";
    if (reason == "no answer") return ": no answer within the time-out";
    if (reason == "hung up") return ": the line hung up";
    if (reason == "gone") return ": the port has gone";
    if (reason == "not sent") return ": the port did not take what was sent";
    return "";
}

}  // namespace

std::string VerdictText(const RadioRecord& r) {
    switch (r.result) {
    case RadioResult::WriteFailed:
    case RadioResult::Stopped:
        // Frames are counted from 1, as the progress counts them: the one that failed or was
        // not sent follows those the radio acknowledged.
        return std::string(ResultText(r.result)) + " at frame " + std::to_string(r.frames + 1) + ReasonText(r.reason);
    case RadioResult::NoHeader:
        return ResultText(r.result) + ReasonText(r.reason);
    case RadioResult::NotWritten:
        if (r.exit_code == kExitWrongImage) return "not written: the image is not for its application";
        if (r.exit_code == kExitNotConfirmed) return "not written: not confirmed";
        if (r.exit_code == kExitImageDamaged) return "not written: the image is damaged";
        break;
    default:
        break;
    }
    return ResultText(r.result);
}

// The UTC date and time of a Unix time, by the civil calendar's arithmetic: gmtime_r is
// POSIX's, and gmtime shares one buffer between threads.
static void UtcText(int64_t unix_seconds, char* text, size_t capacity) {
    int64_t days = unix_seconds / 86400;
    int64_t seconds = unix_seconds % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    // Days since 0000-03-01 in 400-year eras of 146097 days, March first so that the leap
    // day ends a year.
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t day_of_era = days - era * 146097;
    const int64_t year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const int64_t shifted_month = (5 * day_of_year + 2) / 153;
    const int64_t day = day_of_year - (153 * shifted_month + 2) / 5 + 1;
    const int64_t month = shifted_month < 10 ? shifted_month + 3 : shifted_month - 9;
    const int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
    std::snprintf(text, capacity, "%04lld-%02d-%02dT%02d:%02d:%02dZ", static_cast<long long>(year),
                  static_cast<int>(month), static_cast<int>(day), static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
}

std::string RecordLine(const RadioRecord& r) {
    char time_text[48];
    UtcText(r.unix_seconds, time_text, sizeof time_text);
    char figures[160];
    std::snprintf(figures, sizeof figures, "\"frames\":%d,\"bytes\":%lld,\"seconds\":%.2f", r.frames,
                  static_cast<long long>(r.bytes), r.seconds);
    return std::string("{\"time\":\"") + time_text + "\",\"port\":" + JsonString(r.port) +
           ",\"application\":" + OptionalString(r.has_name, r.name) +
           ",\"version\":" + OptionalString(r.has_version, r.version) +
           ",\"image_version\":" + OptionalString(!r.image_version.empty(), r.image_version) +
           ",\"image_sha256\":" + OptionalString(!r.image_sha256.empty(), r.image_sha256) + ",\"result\":\"" +
           ResultText(r.result) + "\"," + figures +
           // Later fields come last, so that a reader that counts fields still finds the first ones.
           ",\"position\":" + PersonsString(!r.position.empty(), r.position) +
           ",\"label\":" + PersonsString(!r.label.empty(), r.label) +
           ",\"reason\":" + OptionalString(!r.reason.empty(), r.reason) + ",\"run\":" + JsonString(r.run) +
           ",\"pc\":" + PersonsString(!r.computer.empty(), r.computer) +
           ",\"exit_code\":" + std::to_string(r.exit_code) + "}\n";
}

std::string ResultTable(const std::vector<RadioRecord>& records, const char* done_word) {
    const auto shown = [](const RadioRecord& r) { return PersonsText(r.shown_port.empty() ? r.port : r.shown_port); };
    size_t port_width = 4;
    for (const RadioRecord& r : records) port_width = std::max(port_width, TextColumns(shown(r)));
    // Padded by characters, not bytes: a position may be named in any script.
    const auto padded = [port_width](const std::string& text) {
        return text + std::string(port_width - TextColumns(text), ' ');
    };
    char row[512];
    std::snprintf(row, sizeof row, "%-*s  %-8s  %-8s  %-15s  %8s\n", static_cast<int>(port_width), "port", "before",
                  "image", "result", "seconds");
    std::string table = row;
    std::string failures;
    size_t good = 0;
    size_t current = 0;
    for (const RadioRecord& r : records) {
        const bool radio = r.result != RadioResult::NoRadio && r.result != RadioResult::HungUp;
        std::snprintf(row, sizeof row, "%s  %-8s  %-8s  %-15s  %8.1f\n", padded(shown(r)).c_str(),
                      r.has_version ? PrintableText(r.version).c_str()
                      : radio       ? "unknown"
                                    : "-",
                      r.image_version.empty() ? "-" : PrintableText(r.image_version).c_str(), ResultText(r.result),
                      r.seconds);
        table += row;
        if (r.result == RadioResult::AlreadyCurrent) {
            ++current;
        } else if (r.exit_code == 0) {
            ++good;
        } else {
            failures += (failures.empty() ? "" : ", ") + shown(r) + " " + VerdictText(r);
        }
    }
    const size_t failed = records.size() - good - current;
    table += std::to_string(good) + " of " + std::to_string(records.size()) + " radios " + done_word;
    if (current > 0) table += ", " + std::to_string(current) + " already current";
    if (failed > 0) table += "; " + std::to_string(failed) + " failed: " + failures;
    return table + "\n";
}

int RunExitCode(const std::vector<RadioRecord>& records) {
    for (const RadioRecord& r : records) {
        if (r.exit_code != 0) return r.exit_code;
    }
    return 0;
}

std::string NewRunId(int64_t unix_seconds) {
    std::random_device random;
    char id[48];
    std::snprintf(id, sizeof id, "%lld-%08x", static_cast<long long>(unix_seconds), static_cast<unsigned>(random()));
    return id;
}
