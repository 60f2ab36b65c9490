// The "CommsPort" value of RADIO.INI: parsed as a signed 32-bit integer, kept as the
// zero-based COM port number, written back in decimal.
#include "core/settings_value.h"

#include <cstdint>
#include <string>

namespace {

int DigitValue(char c, unsigned base) {
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return (value >= 0 && static_cast<unsigned>(value) < base) ? value : -1;
}

// Reads all of text as digits of base; false when it is empty, holds anything else, or
// exceeds limit.
bool ParseDigits(const char* text, unsigned base, uint64_t limit, uint64_t& value) {
    if (*text == '\0') return false;
    value = 0;
    for (; *text != '\0'; ++text) {
        const int digit = DigitValue(*text, base);
        if (digit < 0) return false;
        value = value * base + static_cast<unsigned>(digit);
        if (value > limit) return false;
    }
    return true;
}

// The whole text as a signed 32-bit integer, or 0 when it is not one.
int32_t ParseInt32(const char* text) {
    while (*text == ' ' || *text == '\t') ++text;

    uint64_t value = 0;
    // Hexadecimal digits are the 32-bit pattern: "$FFFFFFFF" is -1.
    const bool dollar = text[0] == '$';
    const bool zero_x = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (dollar || zero_x) {
        if (!ParseDigits(text + (dollar ? 1 : 2), 16, UINT32_MAX, value)) return 0;
        return static_cast<int32_t>(static_cast<uint32_t>(value));
    }

    const bool negative = text[0] == '-';
    if (negative || text[0] == '+') ++text;
    const uint64_t limit = negative ? uint64_t{1} << 31 : INT32_MAX;
    if (!ParseDigits(text, 10, limit, value)) return 0;
    return negative ? static_cast<int32_t>(-static_cast<int64_t>(value)) : static_cast<int32_t>(value);
}

}  // namespace

uint8_t CommsPortIndexFromText(const char* text) {
    if (text == nullptr) return 0;
    return static_cast<uint8_t>(static_cast<uint32_t>(ParseInt32(text)) & 0xFF);
}

std::string CommsPortIndexToText(uint8_t index) { return std::to_string(index); }

std::string ComPortName(unsigned index) { return "COM" + std::to_string(index + 1); }

std::string SettingsTextFromUtf8(const std::string& text) {
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string stored;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '%') {
            stored += c;
        } else {
            stored += '%';
            stored += kHex[byte >> 4];
            stored += kHex[byte & 0xF];
        }
    }
    return stored;
}

std::string Utf8FromSettingsText(const std::string& stored) {
    const auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    std::string text;
    for (size_t i = 0; i < stored.size(); ++i) {
        const int high = stored[i] == '%' && i + 2 < stored.size() ? digit(stored[i + 1]) : -1;
        const int low = high >= 0 ? digit(stored[i + 2]) : -1;
        if (low < 0) {
            text += stored[i];
            continue;
        }
        text += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return text;
}
