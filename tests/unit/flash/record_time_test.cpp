// The record's time is worked out without gmtime_r (POSIX's, missing on Windows): checked
// against it at the calendar's edges, where day arithmetic slips: leap days, a century that
// is no leap year, a 400th year that is, the last second of a year, before 1970.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "flash/run/update_record.h"

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
