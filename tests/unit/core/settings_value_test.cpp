// The "CommsPort" value: how stored texts read, how values are written back, and the
// device names they give.
#include "core/settings_value.h"

#include <gtest/gtest.h>

namespace {

struct TextCase {
    const char* text;
    uint8_t index;
};

TEST(CommsPortIndexFromText, ReadsSigned32BitIntegerAndKeepsLow8Bits) {
    const TextCase cases[] = {
        {"0", 0},
        {"2", 2},
        {"255", 255},
        {"256", 0},
        {"300", 44},
        {"007", 7},
        {"+7", 7},
        {"-1", 255},
        {"-256", 0},
        {"-255", 1},
        {"  12", 12},
        {"\t5", 5},
        // hexadecimal: the digits are the 32-bit pattern
        {"$FF", 255},
        {"$ff", 255},
        {"0x1F", 31},
        {"0X10", 16},
        {"$FFFFFFFF", 255},
        {"$FFFFFF05", 5},
        {"0x00000103", 3},
        {"$0000000000003", 3},
        {"$100000003", 0},
        {"0x1FFFFFFFF", 0},
        // the ends of the signed 32-bit range, and one past them
        {"2147483647", 255},
        {"2147483648", 0},
        {"2147483903", 0},
        {"-2147483647", 1},
        {"-2147483648", 0},
        {"-2147483649", 0},
        {"99999999999999999999999", 0},
        // not integers
        {"", 0},
        {" ", 0},
        {"abc", 0},
        {"12x", 0},
        {"1 2", 0},
        {"3 ", 0},
        {"-", 0},
        {"+", 0},
        {"$", 0},
        {"0x", 0},
        {"$G1", 0},
        {"-$10", 0},
        {"--1", 0},
        {"1.0", 0},
        {"x10", 0},
    };
    for (const TextCase& c : cases) {
        EXPECT_EQ(CommsPortIndexFromText(c.text), c.index) << '"' << c.text << '"';
    }
    EXPECT_EQ(CommsPortIndexFromText(nullptr), 0);
}

TEST(CommsPortIndexToText, EveryValueReadsBackTheSame) {
    EXPECT_EQ(CommsPortIndexToText(0), "0");
    EXPECT_EQ(CommsPortIndexToText(255), "255");
    for (unsigned i = 0; i <= 255; ++i) {
        const auto index = static_cast<uint8_t>(i);
        EXPECT_EQ(CommsPortIndexFromText(CommsPortIndexToText(index).c_str()), index);
    }
}

TEST(ComPortName, IsOneBasedDecimal) {
    EXPECT_EQ(ComPortName(0), "COM1");
    EXPECT_EQ(ComPortName(2), "COM3");
    EXPECT_EQ(ComPortName(9), "COM10");
    EXPECT_EQ(ComPortName(255), "COM256");
}

// A bench's names and its record's folder, in any script, through a file kept in the ANSI code
// page: stored as printable ASCII, read back whole; a value typed by hand reads as typed.
TEST(SettingsText, KeepsAnyScriptInPrintableAscii) {
    const struct {
        const char* text;
        const char* stored;
    } cases[] = {
        {"left bench", "left bench"},
        {"\xD0\xBB\xD0\xB5\xD0\xB2\xD1\x8B\xD0\xB9", "%D0%BB%D0%B5%D0%B2%D1%8B%D0%B9"},
        {"C:\\Users\\\xE5\xB7\xA6\\r.jsonl", "C:\\Users\\%E5%B7%A6\\r.jsonl"},
        {"100% done", "100%25 done"},
        {"tab\there;=", "tab%09here;="},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SettingsTextFromUtf8(c.text), c.stored);
        EXPECT_EQ(Utf8FromSettingsText(c.stored), c.text);
    }
    const struct {
        const char* stored;
        const char* text;
    } by_hand[] = {{"50%", "50%"}, {"%4", "%4"}, {"%zz%41", "%zzA"}, {"%e5%b7%a6", "\xE5\xB7\xA6"}};
    for (const auto& c : by_hand) EXPECT_EQ(Utf8FromSettingsText(c.stored), c.text) << c.stored;
}

}  // namespace
