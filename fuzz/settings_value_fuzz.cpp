// The "CommsPort" text over any stored value: it reads as the C library reads the same
// integer forms (else 0), and the value written back reads back as the same value, written
// the same way again: decimal, 0 to 255, no leading zero.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/settings_value.h"
#include "fuzz/fuzz_input.h"

namespace {

// Leading blanks, then decimal with an optional sign, or "$", "0x" or "0X" and hexadecimal
// digits; the whole rest must be digits, and the number must fit 32 bits.
uint8_t ReferenceIndex(const char* text) {
    while (*text == ' ' || *text == '\t') ++text;
    const bool dollar = text[0] == '$';
    const bool zero_x = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* digits = dollar ? text + 1 : zero_x ? text + 2 : text;
    const bool hex = dollar || zero_x;
    const char* first = digits + (!hex && (*digits == '+' || *digits == '-') ? 1 : 0);
    const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
    if (*first == '\0' || first[std::strspn(first, allowed)] != '\0') return 0;

    errno = 0;
    char* end = nullptr;
    if (hex) {
        const unsigned long long value = std::strtoull(first, &end, 16);
        if (errno == ERANGE || value > 0xFFFFFFFFull) return 0;
        return static_cast<uint8_t>(value);
    }
    const long long value = std::strtoll(digits, &end, 10);
    if (errno == ERANGE || value < INT32_MIN || value > INT32_MAX) return 0;
    return static_cast<uint8_t>(static_cast<uint32_t>(value));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The settings file hands over text up to its first NUL.
    const std::string text(reinterpret_cast<const char*>(data), size);
    const uint8_t index = CommsPortIndexFromText(text.c_str());
    FUZZ_CHECK(index == ReferenceIndex(text.c_str()));

    const std::string written = CommsPortIndexToText(index);
    FUZZ_CHECK(!written.empty() && written.size() <= 3);
    FUZZ_CHECK(written == "0" || written[0] != '0');
    FUZZ_CHECK(std::strspn(written.c_str(), "0123456789") == written.size());
    FUZZ_CHECK(CommsPortIndexFromText(written.c_str()) == index);
    FUZZ_CHECK(CommsPortIndexToText(CommsPortIndexFromText(written.c_str())) == written);
    FUZZ_CHECK(ComPortName(index) == "COM" + std::to_string(index + 1));
    return 0;
}
