// The pacer must hold every byte until a real 8N1 line would have delivered it.
#include "sim/line_pacer.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr uint64_t kByteAt9600 = 1041666;  // 10 bits at 9600 baud, in ns

size_t ReadyAt(const LinePacer& pacer, uint64_t now) {
    uint8_t out[16];
    return pacer.PeekReady(now, out, sizeof out);
}

TEST(LinePacer, BytesLeaveOneByteTimeApartOnABusyLine) {
    auto pacer = std::make_unique<LinePacer>(9600);
    const uint8_t data[] = {1, 2, 3};
    uint64_t last = 0;
    ASSERT_EQ(pacer->Queue(data, 3, 1000, &last), 3u);
    EXPECT_EQ(last, 1000 + 3 * kByteAt9600);
    const struct {
        uint64_t now;
        size_t ready;
    } rows[] = {{1000, 0},
                {1000 + kByteAt9600 - 1, 0},
                {1000 + kByteAt9600, 1},
                {1000 + 2 * kByteAt9600, 2},
                {1000 + 3 * kByteAt9600 - 1, 2},
                {1000 + 3 * kByteAt9600, 3}};
    for (const auto& row : rows) EXPECT_EQ(ReadyAt(*pacer, row.now), row.ready) << row.now;
}

TEST(LinePacer, IdleLineStartsAtOnceAndBusyLineQueuesBehind) {
    auto pacer = std::make_unique<LinePacer>(9600);
    const uint8_t b = 0x55;
    uint64_t last = 0;
    pacer->Queue(&b, 1, 0, &last);
    pacer->Queue(&b, 1, kByteAt9600 / 2, &last);  // line still busy with the first
    EXPECT_EQ(last, 2 * kByteAt9600);
    pacer->Queue(&b, 1, 10 * kByteAt9600, &last);  // idle long since
    EXPECT_EQ(last, 11 * kByteAt9600);
}

TEST(LinePacer, DropTakesOldestFirstAndClearForgetsAll) {
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

TEST(LinePacer, RefusesWhatDoesNotFitAndWrapsAround) {
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

TEST(LinePacer, PopsEachByteOnceArrivedWithItsArrivalTime) {
    auto pacer = std::make_unique<LinePacer>(9600);
    const uint64_t t = kByteAt9600;
    const uint8_t burst[] = {1, 2, 3};
    const uint8_t late[] = {4, 5};
    pacer->Queue(burst, 3, 0, nullptr);
    pacer->Queue(&late[0], 1, 10 * t, nullptr);          // the line idle since 3t
    pacer->Queue(&late[1], 1, 10 * t + t / 2, nullptr);  // while 4 is still on the wire
    using Arrival = std::pair<uint8_t, uint64_t>;
    const struct {
        uint64_t now;
        std::vector<Arrival> popped;
    } steps[] = {{t - 1, {}},
                 {2 * t, {{1, t}, {2, 2 * t}}},
                 {11 * t - 1, {{3, 3 * t}}},
                 {12 * t, {{4, 11 * t}, {5, 12 * t}}},
                 {100 * t, {}}};
    for (const auto& step : steps) {
        std::vector<Arrival> popped;
        uint8_t b = 0;
        uint64_t at = 0;
        while (pacer->PopReady(step.now, b, at)) popped.emplace_back(b, at);
        EXPECT_EQ(popped, step.popped) << step.now;
    }
    EXPECT_EQ(pacer->Pending(), 0u);
}

TEST(LinePacer, UnpacedLinePopsAtOnce) {
    auto pacer = std::make_unique<LinePacer>(0);
    const uint8_t data[] = {10, 20};
    pacer->Queue(data, 2, 7, nullptr);
    uint8_t b = 0;
    uint64_t at = 0;
    for (uint8_t want : data) {
        ASSERT_TRUE(pacer->PopReady(7, b, at));
        EXPECT_EQ(b, want);
        EXPECT_EQ(at, 7u);
    }
    EXPECT_FALSE(pacer->PopReady(7, b, at));
}

}  // namespace
