// Windows names things in UTF-16; the programs keep text as UTF-8 in std::string. Both
// conversions are lossless, whatever the ANSI code page, which would turn every character
// outside it into "?".
#pragma once

#include <string>

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
