// The sample firmware image: the header the radio will report, blank blocks only where
// intended, and a lossless trip through the container.
#include "core/firmware_container.h"
#include "tools/sample_firmware/sample_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>

namespace {

constexpr size_t kBlockSize = 1024;

TEST(ContainerSampleImage, HasApplicationHeaderAndOnlyTheIntendedBlankBlocks) {
    const std::vector<uint8_t> image = MakeSampleImage();
    ASSERT_EQ(image.size(), kSampleImageSize);

    EXPECT_EQ(image[16], 5);
    EXPECT_EQ(0, std::memcmp(image.data() + 17, kSampleName, 5));
    EXPECT_EQ(image[22], 6);
    EXPECT_EQ(0, std::memcmp(image.data() + 23, kSampleVersion, 6));

    std::vector<size_t> blank;
    for (size_t first = 0; first < image.size(); first += kBlockSize) {
        const auto begin = image.begin() + static_cast<long>(first);
        const auto end = image.begin() + static_cast<long>(std::min(first + kBlockSize, image.size()));
        if (std::all_of(begin, end, [](uint8_t b) { return b == 0xFF; })) {
            blank.push_back(first / kBlockSize);
        }
    }
    EXPECT_EQ(blank, std::vector<size_t>(std::begin(kSampleBlankBlocks), std::end(kSampleBlankBlocks)));
}

TEST(ContainerSampleImage, SurvivesTheTripThroughAProgramFile) {
    const std::vector<uint8_t> image = MakeSampleImage();
    std::vector<uint8_t> file(0x61000, 0x90);  // stands for the executable's own content
    AppendContainer(file, image.data(), image.size());

    auto store = std::make_unique<FirmwareStore>();
    std::copy(file.begin(), file.end(), store->ExeImage);
    const LoadResult result = store->ScanProgramFile(file.size());

    ASSERT_TRUE(result.found);
    EXPECT_EQ(result.length, static_cast<int32_t>(kSampleImageSize));
    EXPECT_TRUE(std::equal(image.begin(), image.end(), store->FirmwareImage));
    EXPECT_TRUE(std::all_of(store->FirmwareImage + image.size(), store->FirmwareImage + kFirmwareImageSize,
                            [](uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(store->ImageVersion(), kSampleVersion);
}

}  // namespace
