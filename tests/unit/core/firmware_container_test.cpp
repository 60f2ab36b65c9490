// The firmware container: its stored form, the search of the program file, descrambling, the
// image's digest, and every damaged or oversized input staying inside the buffers as "not found".
#include "core/firmware_container.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Image(size_t size, uint8_t seed) {
    Bytes image(size);
    for (size_t i = 0; i < size; ++i) image[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
    return image;
}

// Stands for the executable ahead of the container; holds no 'H'.
Bytes Program(size_t size) {
    Bytes program(size);
    for (size_t i = 0; i < size; ++i) program[i] = static_cast<uint8_t>('a' + i % 7);
    return program;
}

Bytes Container(const Bytes& image) {
    Bytes out;
    AppendContainer(out, image.data(), image.size());
    return out;
}

Bytes Scrambled(const Bytes& image) {
    Bytes scrambled = image;
    for (size_t i = 0; i < image.size(); ++i) scrambled[i] ^= ContainerKey(static_cast<uint32_t>(i));
    return scrambled;
}

Bytes DigestTrailer(const Bytes& image) {
    uint8_t digest[kSha256Size];
    Sha256(image.data(), image.size(), digest);
    return Bytes{'S', '2', '5', '6'} + Bytes(digest, digest + kSha256Size);
}

// A container header written by hand, also for lengths that AppendContainer never writes.
Bytes Header(uint32_t n, uint32_t reserved = 0) {
    Bytes header{'H', 'T', 'R', 'S', 'W'};
    for (uint32_t field : {n, reserved}) {
        for (int shift = 0; shift < 32; shift += 8) {
            header.push_back(static_cast<uint8_t>(field >> shift));
        }
    }
    return header;
}

class FirmwareContainer : public testing::Test {
protected:
    LoadResult Load(const Bytes& file) {
        std::copy(file.begin(), file.end(), store->ExeImage);
        return store->ScanProgramFile(file.size());
    }

    // FirmwareImage starts with image and is 0xFF after it.
    bool ImageIs(const Bytes& image) const {
        return std::equal(image.begin(), image.end(), store->FirmwareImage) &&
               std::all_of(store->FirmwareImage + image.size(), store->FirmwareImage + kFirmwareImageSize,
                           [](uint8_t b) { return b == 0xFF; });
    }

    std::unique_ptr<FirmwareStore> store = std::make_unique<FirmwareStore>();
};

TEST(ContainerKey, FollowsTheStoredFormsKeystream) {
    const struct {
        uint32_t i;
        uint8_t key;
    } cases[] = {{0, 0xEF}, {1, 0xEE}, {0x3D, 0xB2}, {0x4E, 0x25}, {0xFF, 0x74}, {0x13D, 0xB2}};
    for (const auto& c : cases) EXPECT_EQ(ContainerKey(c.i), c.key) << "i = " << c.i;
}

TEST(AppendContainer, WritesMarkerLengthReservedScrambledImageAndDigest) {
    const Bytes image = Image(300, 0x10);
    Bytes out{9};
    AppendContainer(out, image.data(), image.size());
    EXPECT_EQ(out, Bytes{9} + Header(300) + Scrambled(image) + DigestTrailer(image));
}

TEST_F(FirmwareContainer, ImageDependsOnlyOnTheContainerNotItsPosition) {
    const Bytes image = Image(3000, 0x01);
    // The last two: starts of a marker just ahead of the real one, which must not hide it.
    for (const Bytes& prefix : {Bytes{}, Program(1), Program(777), Bytes{'H', 'H'}, Bytes{'H', 'T', 'R', 'S'}}) {
        const LoadResult result = Load(prefix + Container(image) + Program(50));
        EXPECT_TRUE(result.found && result.length == 3000) << prefix.size();
        EXPECT_TRUE(ImageIs(image)) << prefix.size();
    }
}

TEST_F(FirmwareContainer, FirstMarkerWinsAndReservedFieldIsIgnored) {
    const Bytes first = Image(100, 0x01);
    const Bytes container = Container(first);
    const Bytes stored(container.begin() + kContainerHeaderSize, container.end());
    for (uint32_t reserved : {0u, 1u, 0xFFFFFFFFu}) {
        const LoadResult result = Load(Program(10) + Header(100, reserved) + stored + Container(Image(200, 2)));
        EXPECT_EQ(result.length, 100) << reserved;
        EXPECT_TRUE(ImageIs(first)) << reserved;
    }
}

TEST_F(FirmwareContainer, EmptyAndLargestImagesAreFound) {
    LoadResult result = Load(Program(20) + Header(0));
    EXPECT_TRUE(result.found && result.length == 0);
    EXPECT_TRUE(ImageIs({}));

    const Bytes largest = Image(kFirmwareImageSize - 1, 0x55);
    result = Load(Container(largest));
    EXPECT_TRUE(result.found);
    EXPECT_TRUE(ImageIs(largest));
}

// Each load follows one that filled FirmwareImage, so a load that stops early shows.
TEST_F(FirmwareContainer, DamagedContainerIsNotFoundAndLeavesImageBlank) {
    const Bytes valid = Container(Image(100, 0x09));
    const Bytes marker(valid.begin(), valid.begin() + 5);
    const struct {
        const char* name;
        Bytes file;
    } cases[] = {
        {"no marker", Program(5000)},
        {"shorter than six bytes", marker},
        {"marker in the last five bytes", Program(100) + marker},
        {"header cut short", Program(10) + Bytes(valid.begin(), valid.begin() + 12)},
        {"data one byte short", Program(10) + Bytes(valid.begin(), valid.end() - kDigestTrailerSize - 1)},
        {"negative length", Header(0xFFFFFFFFu) + Program(300)},
        {"length fills the whole buffer", Header(kFirmwareImageSize) + Bytes(kFirmwareImageSize)},
        {"first damaged hides second valid", Header(kFirmwareImageSize) + Program(50) + valid},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(Load(Container(Image(kFirmwareImageSize - 1, 0x77))).found);
        EXPECT_FALSE(Load(c.file).found) << c.name;
        EXPECT_TRUE(ImageIs({})) << c.name;
    }
}

TEST_F(FirmwareContainer, FileLargerThanTheBufferIsSearchedOnlyAsFarAsRead) {
    const Bytes image = Image(100, 0x42);
    const Bytes container = Container(image);
    const size_t file_size = kExeImageSize + 4096;

    // Ending at the last byte read: found. Ten bytes of its image later: its end was never read.
    for (size_t past_end : {size_t{0}, kDigestTrailerSize + 10}) {
        std::fill(store->ExeImage, store->ExeImage + kExeImageSize, uint8_t{0});
        std::copy(container.begin(), container.end() - static_cast<long>(past_end),
                  store->ExeImage + kExeImageSize - container.size() + past_end);
        const LoadResult result = store->ScanProgramFile(file_size);
        EXPECT_EQ(result.found, past_end == 0) << past_end;
        EXPECT_TRUE(ImageIs(result.found ? image : Bytes{})) << past_end;
    }
}

// One bit flipped anywhere in the image or its digest: refused, and nothing of it is left to send.
TEST_F(FirmwareContainer, ImageThatDoesNotMatchItsDigestIsDamaged) {
    const Bytes image = Image(5000, 0x31);
    const size_t image_at = 10 + kContainerHeaderSize;
    const size_t digest_at = image_at + image.size() + 4;
    const struct {
        const char* name;
        size_t offset;
        uint8_t bit;
    } cases[] = {
        {"image's first byte", image_at, 0x01},
        {"image's middle byte", image_at + image.size() / 2, 0x10},
        {"image's last byte", image_at + image.size() - 1, 0x80},
        {"digest's first byte", digest_at, 0x04},
        {"digest's last byte", digest_at + kSha256Size - 1, 0x02},
    };
    for (const auto& c : cases) {
        Bytes file = Program(10) + Container(image) + Program(40);
        file[c.offset] ^= c.bit;
        ASSERT_TRUE(Load(Container(Image(kFirmwareImageSize - 1, 0x77))).found);
        const LoadResult result = Load(file);
        EXPECT_TRUE(!result.found && result.damaged) << c.name;
        EXPECT_TRUE(ImageIs({})) << c.name;
    }
}

// Containers made before the digest, also with a signature after them, load as they always
// did; so does one whose tag alone was hit, its image being whole.
TEST_F(FirmwareContainer, ContainerWithoutDigestLoadsAsBefore) {
    const Bytes image = Image(2000, 0x63);
    Bytes tag_hit = Container(image);
    tag_hit[kContainerHeaderSize + image.size() + 1] ^= 0x08;
    const struct {
        const char* name;
        Bytes file;
        bool has_digest;
    } cases[] = {
        {"old form at the end", Program(30) + Header(2000) + Scrambled(image), false},
        {"old form, then other bytes", Program(30) + Header(2000) + Scrambled(image) + Program(600), false},
        {"tag hit", Program(30) + tag_hit, false},
        {"with digest", Program(30) + Container(image) + Program(600), true},
    };
    for (const auto& c : cases) {
        const LoadResult result = Load(c.file);
        EXPECT_TRUE(result.found && result.length == 2000 && !result.damaged) << c.name;
        EXPECT_EQ(result.has_digest, c.has_digest) << c.name;
        EXPECT_TRUE(ImageIs(image)) << c.name;
    }
}

TEST_F(FirmwareContainer, VersionShowsAtMostSixCharacters) {
    const struct {
        uint8_t length;
        const char* shown;
    } cases[] = {{6, "V1.2.3"}, {3, "V1."}, {0, ""}, {7, "V1.2.3"}, {255, "V1.2.3"}};
    for (const auto& c : cases) {
        Bytes image = Image(64, 0);
        image[22] = c.length;
        std::memcpy(image.data() + 23, "V1.2.3XYZ", 9);
        ASSERT_TRUE(Load(Container(image)).found);
        EXPECT_EQ(store->ImageVersion(), c.shown) << int{c.length};
    }
}

}  // namespace
