// A made-up Q42 firmware image for builds and tests that have no real one: the application
// header that the radio reports, blank (all 0xFF) blocks that the writer skips, and
// deterministic filler everywhere else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr size_t kSampleImageSize = 90488;  // the size of the shipped image
constexpr char kSampleName[] = "Q42NR";
constexpr char kSampleVersion[] = "V2.041";
constexpr size_t kSampleBlankBlocks[] = {20, 21, 22, 23, 60};  // 1024-byte blocks of 0xFF

std::vector<uint8_t> MakeSampleImage();
