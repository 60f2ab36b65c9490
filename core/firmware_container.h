// The firmware image travels inside the program file, in a container appended after the
// executable: "HTRSW", 32-bit little-endian length N, 4 reserved bytes, N scrambled bytes,
// then (since containers carry one) "S256" and the SHA-256 of the N plain image bytes.
//
// The digest stands after the image, never before it nor in the reserved field: a reader
// of the older form takes the first marker, N and the N bytes behind the header and looks
// no further, so it finds the same container and the same image, and the program file's
// other bytes after the image (a signature) never concerned it either.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/sha256.h"

constexpr size_t kExeImageSize = 0x400001;      // largest program file that is read back
constexpr size_t kFirmwareImageSize = 0x40000;  // 256 KiB, 0xFF wherever no image byte was loaded
constexpr size_t kContainerHeaderSize = 13;
constexpr size_t kDigestTrailerSize = 4 + kSha256Size;

struct LoadResult {
    bool found = false;
    int32_t length = 0;       // N, meaningful when found
    bool has_digest = false;  // the container carries the image's SHA-256
    // The image does not match its digest: not found, and FirmwareImage is all 0xFF, so a
    // caller that looks at found alone still sends nothing.
    bool damaged = false;
};

// Both buffers are large and fixed; the program keeps one instance in static storage.
struct FirmwareStore {
    uint8_t ExeImage[kExeImageSize];
    uint8_t FirmwareImage[kFirmwareImageSize];

    // The search, copy and descrambling of a load, over a program file of file_size bytes
    // whose first min(file_size, kExeImageSize) bytes are already in ExeImage.
    LoadResult ScanProgramFile(size_t file_size);

    // The version field of the loaded image (offset 22, length-prefixed, at most 6 characters).
    std::string ImageVersion() const;
};

// k(i): the keystream of the stored form; XOR with it both scrambles and descrambles.
uint8_t ContainerKey(uint32_t i);

// Appends the container of image (image_size bytes) to out: marker, N, four zero bytes, the
// scrambled image and its digest. The caller checks the limits (see FindContainer and kFirmwareImageSize).
void AppendContainer(std::vector<uint8_t>& out, const uint8_t* image, size_t image_size);

// Position of the first marker in data[0..size), or -1. The last position examined is size - 6.
long FindContainer(const uint8_t* data, size_t size);
