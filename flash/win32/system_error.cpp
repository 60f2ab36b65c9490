#include "flash/win32/system_error.h"

std::string SystemErrorWords(DWORD error) {
    char text[512];
    DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                       nullptr, error, 0, text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '.' || text[length - 1] == '\r' ||
                          text[length - 1] == '\n')) {
        --length;
    }
    if (length == 0) return "system error " + std::to_string(error);
    return std::string(text, length);
}
