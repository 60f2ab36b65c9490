// The pacer must hold every byte until a real 8N1 line would have delivered it.
#include "sim/line_pacer.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

constexpr uint64_t kByteAt9600 = 1041666;  // 10 bits at 9600 baud, in ns

size_t ReadyAt(const LinePacer& pacer, uint64_t now)
{
    uint8_t out[16];
    return pacer.PeekReady(now, out, sizeof out);
}

TEST(LinePacer, BytesLeaveOneByteTimeApartOnABusyLine)
{
    auto pacer = std::make_unique<LinePacer>(9600);
    const uint8_t data[] = {1, 2, 3};
    uint64_t last = 0;
    ASSERT_EQ(pacer->Queue(data, 3, 1000, &last), 3u);
    EXPECT_EQ(last, 1000 + 3 * kByteAt9600);
    const struct {
        uint64_t now;
        size_t ready;
    } rows[] = {{1000, 0}, {1000 + kByteAt9600 - 1, 0}, {1000 + kByteAt9600, 1},
                {1000 + 2 * kByteAt9600, 2}, {1000 + 3 * kByteAt9600 - 1, 2}, {1000 + 3 * kByteAt9600, 3}};
    for (const auto& row : rows) EXPECT_EQ(ReadyAt(*pacer, row.now), row.ready) << row.now;
}

TEST(LinePacer, IdleLineStartsAtOnceAndBusyLineQueuesBehind)
{
    auto pacer = std::make_unique<LinePacer>(9600);
    const uint8_t b = 0x55;
    uint64_t last = 0;
    pacer->Queue(&b, 1, 0, &last);
    pacer->Queue(&b, 1, kByteAt9600 / 2, &last);  // line still busy with the first
    EXPECT_EQ(last, 2 * kByteAt9600);
    pacer->Queue(&b, 1, 10 * kByteAt9600, &last);  // idle long since
    EXPECT_EQ(last, 11 * kByteAt9600);
}

TEST(LinePacer, DropTakesOldestFirstAndClearForgetsAll)
{
    auto pacer = std::make_unique<LinePacer>(0);
    const uint8_t data[] = {10, 20, 30};
    pacer->Queue(data, 3, 5, nullptr);
    uint8_t out[3];
    ASSERT_EQ(pacer->PeekReady(5, out, 3), 3u);
    pacer->Drop(2);
    ASSERT_EQ(pacer->PeekReady(5, out, 3), 1u);
    EXPECT_EQ(out[0], 30);
    pacer->Clear();
    EXPECT_EQ(pacer->Pending(), 0u);
}

TEST(LinePacer, RefusesWhatDoesNotFitAndWrapsAround)
{
    auto pacer = std::make_unique<LinePacer>(0);
    std::vector<uint8_t> data(LinePacer::kCapacity + 10);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(pacer->Queue(data.data(), data.size(), 0, nullptr), LinePacer::kCapacity);
    pacer->Drop(LinePacer::kCapacity - 2);
    EXPECT_EQ(pacer->Queue(data.data(), 3, 0, nullptr), 3u);
    uint8_t out[5];
    ASSERT_EQ(pacer->PeekReady(0, out, 5), 5u);
    const uint8_t want[] = {uint8_t(LinePacer::kCapacity - 2), uint8_t(LinePacer::kCapacity - 1), 0, 1, 2};
    EXPECT_TRUE(std::equal(out, out + 5, want));
}

}  // namespace
