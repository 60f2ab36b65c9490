// The one setting, "CommsPort" in section "Setup" of RADIO.INI, as text and as value.
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
