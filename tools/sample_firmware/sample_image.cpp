// Builds the sample image byte for byte the same on every run and every machine.
#include "tools/sample_firmware/sample_image.h"

#include <algorithm>
#include <cstring>

#include "core/q42_protocol.h"

namespace {

// A plain 32-bit linear congruential generator; its top byte is the filler.
class Filler {
public:
    uint8_t Next() {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<uint8_t>(state_ >> 24);
    }

private:
    uint32_t state_ = 0x51420000u;
};

void PutShortString(std::vector<uint8_t>& image, size_t offset, const char* text) {
    const size_t length = std::strlen(text);
    image[offset] = static_cast<uint8_t>(length);
    std::memcpy(image.data() + offset + 1, text, length);
}

}  // namespace

std::vector<uint8_t> MakeSampleImage() {
    std::vector<uint8_t> image(kSampleImageSize);
    Filler filler;
    for (uint8_t& b : image) b = filler.Next();

    PutShortString(image, kNameField, kSampleName);
    PutShortString(image, kVersionField, kSampleVersion);

    for (size_t block : kSampleBlankBlocks) {
        const auto first = image.begin() + static_cast<std::ptrdiff_t>(block * kBlockSize);
        std::fill(first, first + kBlockSize, kFillerByte);
    }
    return image;
}
