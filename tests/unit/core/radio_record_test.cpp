// The record's time is worked out without gmtime_r (POSIX's, missing on Windows): checked
// against it at the calendar's edges, where day arithmetic slips: leap days, a century that
// is no leap year, a 400th year that is, the last second of a year, before 1970.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "core/radio_record.h"

// A person's name for a radio or a bench in any script reaches the record as UTF-8, on every
// platform alike; what is not UTF-8 is escaped, never written as a broken sequence.
TEST(RecordLine, KeepsAPersonsUtf8AndEscapesTheRest) {
    const struct {
        std::string label;
        std::string json;
    } cases[] = {
        {"\xE6\x94\xB6\xE9\x9F\xB3\xE6\x9C\xBA 7", "\"\xE6\x94\xB6\xE9\x9F\xB3\xE6\x9C\xBA 7\""},  // Chinese
        {"\xD0\xBE\xD0\xB1\"\\", "\"\xD0\xBE\xD0\xB1\\\"\\\\\""},  // Cyrillic, quote, backslash
        {"\xF0\x9F\x93\xBB", "\"\xF0\x9F\x93\xBB\""},              // beyond 16 bits
        {"a\xFF", "\"a\\\\xFF\""},                                 // not UTF-8
        {"\xE6\x94", "\"\\\\xE6\\\\x94\""},                        // cut short
        {"\xC0\xAF", "\"\\\\xC0\\\\xAF\""},                        // overlong
        {"\xED\xA0\x80", "\"\\\\xED\\\\xA0\\\\x80\""},             // a surrogate
        {"a\tb", "\"a\\\\x09b\""},
    };
    for (const auto& c : cases) {
        RadioRecord record;
        record.label = c.label;
        record.position = c.label;
        const std::string line = RecordLine(record);
        EXPECT_NE(line.find("\"label\":" + c.json + ","), std::string::npos) << line;
        EXPECT_NE(line.find("\"position\":" + c.json + ","), std::string::npos) << line;
    }
}

TEST(RecordLine, TimeMatchesTheSystemsUtcCalendar) {
    const int64_t instants[] = {0,          -1,         951782399,  951782400,  951868800,  978307199,
                                1709164800, 1709251199, 2147483648, 4107542400, 4102444799, 4107628800};
    for (const int64_t instant : instants) {
        RadioRecord record;
        record.unix_seconds = instant;
        const time_t when = static_cast<time_t>(instant);
        tm utc{};
        ASSERT_NE(gmtime_r(&when, &utc), nullptr);
        char expected[32];
        std::strftime(expected, sizeof expected, "{\"time\":\"%Y-%m-%dT%H:%M:%SZ\"", &utc);
        EXPECT_EQ(RecordLine(record).rfind(expected, 0), 0u) << instant << ": " << RecordLine(record);
    }
}

// A bench position named in another script keeps its characters in the end's table, and the
// columns after it stay aligned under the heading.
TEST(ResultTable, KeepsAPositionsUtf8AndItsColumns) {
    RadioRecord left;
    left.port = "COM3";
    left.shown_port = "\xE5\xB7\xA6 3";  // three characters, five bytes
    left.result = RadioResult::Written;
    RadioRecord right = left;
    right.shown_port = "COM23";
    const std::string table = ResultTable({left, right}, "written");
    EXPECT_NE(table.find("\n\xE5\xB7\xA6 3    unknown"), std::string::npos) << table;
    EXPECT_NE(table.find("\nCOM23  unknown"), std::string::npos) << table;
    EXPECT_EQ(table.rfind("port   before", 0), 0u) << table;
}
