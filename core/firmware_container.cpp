// Finding, checking and descrambling the firmware container in the program file read back
// into ExeImage, and building a container for the packing tool.
#include "core/firmware_container.h"

#include <algorithm>
#include <cstring>

#include "core/q42_protocol.h"

namespace {

constexpr size_t kMarkerSize = 5;
constexpr size_t kLengthOffset = 5;
constexpr size_t kVersionOffset = kVersionField;
constexpr size_t kMaxVersionLength = kVersionLength;
constexpr uint8_t kDigestTag[4] = {'S', '2', '5', '6'};

// The marker is put together at run time from two pieces, so that the program file never
// holds it ahead of the container (the search would stop at that copy).
void AssembleMarker(uint8_t (&marker)[kMarkerSize]) {
    static const char kHead[] = "H";
    static const char kTail[] = "TRSW";
    std::memcpy(marker, kHead, 1);
    std::memcpy(marker + 1, kTail, 4);
}

uint32_t ReadLittleEndian32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

uint8_t ContainerKey(uint32_t i) { return static_cast<uint8_t>(((i & 0xFF) ^ 0x3D) - 0x4E); }

long FindContainer(const uint8_t* data, size_t size) {
    if (size < kMarkerSize + 1) return -1;
    uint8_t marker[kMarkerSize];
    AssembleMarker(marker);
    // The program file is megabytes; memchr passes over the bytes that cannot start a marker
    // far faster than a loop looking at each one.
    const size_t last = size - kMarkerSize - 1;
    for (size_t p = 0; p <= last; ++p) {
        const void* candidate = std::memchr(data + p, marker[0], last - p + 1);
        if (candidate == nullptr) return -1;
        p = static_cast<size_t>(static_cast<const uint8_t*>(candidate) - data);
        if (std::memcmp(data + p, marker, kMarkerSize) == 0) return static_cast<long>(p);
    }
    return -1;
}

LoadResult FirmwareStore::ScanProgramFile(size_t file_size) {
    std::fill(FirmwareImage, FirmwareImage + kFirmwareImageSize, uint8_t{0xFF});

    // Only what was read is searched; a file larger than ExeImage is cut at its end.
    const size_t scanned = std::min(file_size, kExeImageSize);
    const long found_at = FindContainer(ExeImage, scanned);
    if (found_at < 0) return {};
    const size_t p = static_cast<size_t>(found_at);

    // The first marker decides. A container whose header or data does not lie within the
    // bytes read, or whose length does not fit FirmwareImage, is damaged: the result is
    // "not found", so a damaged image is never sent to the radio.
    if (scanned - p < kContainerHeaderSize) return {};
    const int32_t n = static_cast<int32_t>(ReadLittleEndian32(ExeImage + p + kLengthOffset));
    if (n < 0 || static_cast<size_t>(n) >= kFirmwareImageSize) return {};
    if (scanned - p - kContainerHeaderSize < static_cast<size_t>(n)) return {};

    const uint8_t* stored = ExeImage + p + kContainerHeaderSize;
    for (int32_t i = 0; i < n; ++i) {
        FirmwareImage[i] = stored[i] ^ ContainerKey(static_cast<uint32_t>(i));
    }

    // Without its tag right behind the image the container is of the older form and loads
    // as it always has. A flipped bit in the tag alone makes it so too, and leaves the image
    // whole; a cut file loses the digest only where the image is whole as well.
    const uint8_t* trailer = stored + n;
    const bool has_digest = static_cast<size_t>(ExeImage + scanned - trailer) >= kDigestTrailerSize &&
                            std::memcmp(trailer, kDigestTag, sizeof kDigestTag) == 0;
    if (!has_digest) return {true, n, false, false};
    uint8_t digest[kSha256Size];
    Sha256(FirmwareImage, static_cast<size_t>(n), digest);
    if (std::memcmp(digest, trailer + sizeof kDigestTag, kSha256Size) == 0) return {true, n, true, false};
    std::fill(FirmwareImage, FirmwareImage + n, uint8_t{0xFF});
    return {false, 0, true, true};
}

std::string FirmwareStore::ImageVersion() const {
    const size_t length = std::min<size_t>(FirmwareImage[kVersionOffset], kMaxVersionLength);
    const char* text = reinterpret_cast<const char*>(FirmwareImage + kVersionOffset + 1);
    return std::string(text, length);
}

void AppendContainer(std::vector<uint8_t>& out, const uint8_t* image, size_t image_size) {
    out.reserve(out.size() + kContainerHeaderSize + image_size + kDigestTrailerSize);
    uint8_t marker[kMarkerSize];
    AssembleMarker(marker);
    out.insert(out.end(), marker, marker + kMarkerSize);

    const auto n = static_cast<uint32_t>(image_size);
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(n >> shift));
    out.insert(out.end(), 4, uint8_t{0});  // reserved

    for (size_t i = 0; i < image_size; ++i) {
        out.push_back(image[i] ^ ContainerKey(static_cast<uint32_t>(i)));
    }
    uint8_t digest[kSha256Size];
    Sha256(image, image_size, digest);
    out.insert(out.end(), kDigestTag, kDigestTag + sizeof kDigestTag);
    out.insert(out.end(), digest, digest + kSha256Size);
}
