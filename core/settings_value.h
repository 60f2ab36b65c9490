// The settings of RADIO.INI as text and as value: "CommsPort" in section "Setup", and the
// texts that the bench keeps in section "Bench".
#pragma once

#include <cstdint>
#include <string>

// Reads the stored text as a signed 32-bit integer (decimal with optional sign, or
// hexadecimal after "$", "0x" or "0X"); anything else gives 0. Keeps the low 8 bits.
uint8_t CommsPortIndexFromText(const char* text);

// The value as it is written back: decimal, 0 to 255.
std::string CommsPortIndexToText(uint8_t index);

// "COM" followed by index + 1: COM1 to COM256.
std::string ComPortName(unsigned index);

// A name or a path as section "Bench" keeps it. The file stays in the PC's ANSI code page, as
// every reader of "Setup" expects, so each byte of the UTF-8 text outside printable ASCII, and
// '%' itself, is kept as %XX: a name or a folder in any script comes back whole.
std::string SettingsTextFromUtf8(const std::string& text);
// The text back; a "%" not followed by two hexadecimal digits is kept as it stands, so a
// value typed by hand reads as typed.
std::string Utf8FromSettingsText(const std::string& stored);
