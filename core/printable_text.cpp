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
