#include "core/printable_text.h"

#include <cstdio>

std::string PrintableText(const std::string& text) {
    std::string shown;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F) {
            shown += c;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", u);
            shown += escaped;
        }
    }
    return shown;
}

namespace {

// The length of the well-formed UTF-8 sequence of two or more bytes at text[at], or 0.
size_t Utf8SequenceAt(const std::string& text, size_t at) {
    const auto byte = [&](size_t i) { return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0u; };
    const unsigned lead = byte(0);
    size_t length = 0;
    unsigned low = 0x80;
    unsigned high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        // No overlong form, no surrogate.
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (byte(1) < low || byte(1) > high) return 0;
    for (size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
    }
    return length;
}

}  // namespace

std::string PersonsText(const std::string& raw) {
    std::string shown;
    for (size_t i = 0; i < raw.size();) {
        const size_t length = Utf8SequenceAt(raw, i);
        shown += length > 0 ? raw.substr(i, length) : PrintableText(raw.substr(i, 1));
        i += length > 0 ? length : 1;
    }
    return shown;
}

size_t TextColumns(const std::string& utf8) {
    size_t columns = 0;
    for (const char c : utf8) columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return columns;
}
