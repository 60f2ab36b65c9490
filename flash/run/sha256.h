// SHA-256, for the record of which image went into which radio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The digest of size bytes at data, as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const uint8_t* data, size_t size);
