// The container scan over any program file, also one long enough for any length field and
// one said to be larger than ExeImage (its bytes then end the buffer): the result agrees with a plain reading of the
// format and of the digest after the image, the length is in range when found, FirmwareImage is 0xFF past the image
// (all of it when not found or damaged), and the version is at most 6 characters.
#include <algorithm>
#include <cstring>

#include "core/firmware_container.h"
#include "core/sha256.h"
#include "fuzz/fuzz_input.h"

namespace {

FirmwareStore store;
uint8_t filler[kFirmwareImageSize];

constexpr uint8_t kPadded = 0x5A;
constexpr uint8_t kOversized = 0xA5;
constexpr size_t kPadding = kFirmwareImageSize + kContainerHeaderSize;
constexpr size_t kLongestInput = 0x10000;

// The first marker at or before size - 6, or -1.
long FirstMarker(const uint8_t* file, size_t size) {
    static const uint8_t marker[] = {'H', 'T', 'R', 'S', 'W'};
    for (size_t p = 0; p + 6 <= size; ++p) {
        if (file[p] == 'H' && std::memcmp(file + p, marker, 5) == 0) return static_cast<long>(p);
    }
    return -1;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::memset(filler, 0xFF, sizeof filler);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    // The first byte chooses: a file of these bytes; the same followed by 256 KiB of zeros,
    // so that a length beyond FirmwareImage can have its data in the file; or a file larger
    // than ExeImage whose last buffered bytes are these, after a stretch of zeros.
    const uint8_t kind = in.Byte();
    const bool padded = kind == kPadded;
    const bool oversized = kind == kOversized;
    size_t count = std::min(in.Left(), kLongestInput);
    const uint8_t* file = in.Take(count);

    const uint8_t* scanned = store.ExeImage;
    // ExeImage is all zeros between runs, so no input sees what an earlier one left.
    uint8_t* const placed = oversized ? store.ExeImage + kExeImageSize - count : store.ExeImage;
    std::memcpy(placed, file, count);
    const size_t file_size = padded ? count + kPadding : oversized ? kExeImageSize + 1 + count : count;
    const size_t scanned_size = std::min(file_size, kExeImageSize);

    const LoadResult result = store.ScanProgramFile(file_size);

    // A plain reading: the first marker decides; its header and data must lie in what was
    // read, and its length must leave room for every block examined.
    // The file's bytes around the input are zeros, so its marker can only be in the input;
    // with zeros after it, a marker may end at the input's last byte.
    const long in_file = FirstMarker(placed, padded ? count + 1 : count);
    const long p = in_file < 0 ? -1 : static_cast<long>(placed - scanned) + in_file;
    bool expect_found = false;
    int32_t expect_length = 0;
    if (p >= 0 && scanned_size - static_cast<size_t>(p) >= kContainerHeaderSize) {
        const uint8_t* h = scanned + p + 5;
        const auto n =
            static_cast<int32_t>(uint32_t{h[0]} | uint32_t{h[1]} << 8 | uint32_t{h[2]} << 16 | uint32_t{h[3]} << 24);
        expect_found = n >= 0 && static_cast<size_t>(n) < kFirmwareImageSize &&
                       static_cast<size_t>(n) <= scanned_size - static_cast<size_t>(p) - kContainerHeaderSize;
        if (expect_found) expect_length = n;
    }
    // A digest is "S256" and 32 bytes read whole right after the image; one that does not
    // match the image makes the container damaged, not found.
    bool expect_digest = false;
    bool expect_damaged = false;
    if (expect_found) {
        const size_t trailer_at = static_cast<size_t>(p) + kContainerHeaderSize + static_cast<size_t>(expect_length);
        const uint8_t* trailer = scanned + trailer_at;
        expect_digest = scanned_size - trailer_at >= kDigestTrailerSize && std::memcmp(trailer, "S256", 4) == 0;
        if (expect_digest) {
            static uint8_t plain[kFirmwareImageSize];
            const uint8_t* stored = scanned + p + kContainerHeaderSize;
            for (int32_t i = 0; i < expect_length; ++i) {
                plain[i] = static_cast<uint8_t>(stored[i] ^ (((i & 0xFF) ^ 0x3D) - 0x4E));
            }
            uint8_t digest[kSha256Size];
            Sha256(plain, static_cast<size_t>(expect_length), digest);
            expect_damaged = std::memcmp(digest, trailer + 4, kSha256Size) != 0;
            expect_found = !expect_damaged;
        }
    }
    FUZZ_CHECK(result.found == expect_found);
    FUZZ_CHECK(result.damaged == expect_damaged);
    FUZZ_CHECK(result.has_digest == expect_digest);

    size_t image_end = 0;
    if (result.found) {
        FUZZ_CHECK(result.length == expect_length);
        FUZZ_CHECK(result.length >= 0 && static_cast<size_t>(result.length) < kFirmwareImageSize);
        image_end = static_cast<size_t>(result.length);
        const uint8_t* stored = scanned + p + kContainerHeaderSize;
        for (size_t i = 0; i < image_end; ++i) {
            const auto key = static_cast<uint8_t>(((i & 0xFF) ^ 0x3D) - 0x4E);
            FUZZ_CHECK(store.FirmwareImage[i] == (stored[i] ^ key));
        }
    }
    FUZZ_CHECK(std::memcmp(store.FirmwareImage + image_end, filler, kFirmwareImageSize - image_end) == 0);
    FUZZ_CHECK(store.ImageVersion().size() <= 6);
    std::memset(placed, 0, count);
    return 0;
}
