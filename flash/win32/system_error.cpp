#include "flash/win32/system_error.h"

#include <iterator>

#include "winports/wide_text.h"

std::string SystemErrorWords(DWORD error) {
    wchar_t text[512];
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK,
                       nullptr, error, 0, text, static_cast<DWORD>(std::size(text)), nullptr);
    while (length > 0 && (text[length - 1] == L' ' || text[length - 1] == L'.' || text[length - 1] == L'\r' ||
                          text[length - 1] == L'\n')) {
        --length;
    }
    if (length == 0) return "system error " + std::to_string(error);
    return Utf8FromWide(std::wstring(text, length));
}
