// SHA-256: the digest the firmware container carries over its image, and the record's
// note of which image went into which radio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t kSha256Size = 32;

// The digest of size bytes at data, into digest; nothing is allocated.
void Sha256(const uint8_t* data, size_t size, uint8_t (&digest)[kSha256Size]);

// The digest of size bytes at data, as 64 lower-case hexadecimal digits.
std::string Sha256Hex(const uint8_t* data, size_t size);
