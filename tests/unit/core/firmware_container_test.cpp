// The firmware container: its stored form, the search of the program file, descrambling,
// and every damaged or oversized input staying inside the buffers as "not found".
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

TEST(AppendContainer, WritesMarkerLengthReservedAndScrambledImage) {
    const Bytes image = Image(300, 0x10);
    Bytes scrambled = image;
    for (size_t i = 0; i < image.size(); ++i) {
        scrambled[i] ^= ContainerKey(static_cast<uint32_t>(i));
    }
    Bytes out{9};
    AppendContainer(out, image.data(), image.size());
    EXPECT_EQ(out, Bytes{9} + Header(300) + scrambled);
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
        {"data one byte short", Program(10) + Bytes(valid.begin(), valid.end() - 1)},
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

    // Ending at the last byte read: found. Ten bytes later: its end was never read.
    for (size_t past_end : {0, 10}) {
        std::fill(store->ExeImage, store->ExeImage + kExeImageSize, uint8_t{0});
        std::copy(container.begin(), container.end() - static_cast<long>(past_end),
                  store->ExeImage + kExeImageSize - container.size() + past_end);
        const LoadResult result = store->ScanProgramFile(file_size);
        EXPECT_EQ(result.found, past_end == 0) << past_end;
        EXPECT_TRUE(ImageIs(result.found ? image : Bytes{})) << past_end;
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
