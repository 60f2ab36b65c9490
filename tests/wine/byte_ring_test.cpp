// The send queue's ring: bytes come out in the order they went in, across the wrap, and
// never more than fit.
#include "serial/byte_ring.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> TakeAll(ByteRing<8>& ring)
{
    std::vector<uint8_t> out;
    while (!ring.Empty()) {
        const auto [bytes, length] = ring.Front();
        out.insert(out.end(), bytes, bytes + length);
        ring.Pop(length);
    }
    return out;
}

TEST(ByteRing, KeepsOrderAcrossTheWrapAndRefusesWhatDoesNotFit)
{
    ByteRing<8> ring;
    const uint8_t first[] = {1, 2, 3, 4, 5, 6};
    const uint8_t second[] = {7, 8, 9, 10, 11, 12};
    EXPECT_EQ(ring.Push(first, 6), 6u);
    ring.Pop(4);                             // 5 6 left, at the end of the store
    EXPECT_EQ(ring.Push(second, 6), 6u);     // fills the store, wrapping round
    EXPECT_EQ(ring.Free(), 0u);
    EXPECT_EQ(ring.Push(first, 1), 0u);
    EXPECT_EQ(ring.Front().second, 4u) << "the unbroken run stops at the end of the store";
    EXPECT_EQ(TakeAll(ring), (std::vector<uint8_t>{5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST(ByteRing, AnEmptiedRingStartsAgainInOnePiece)
{
    ByteRing<8> ring;
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8};
    ring.Push(bytes, 5);
    ring.Pop(5);
    EXPECT_EQ(ring.Push(bytes, 8), 8u);
    EXPECT_EQ(ring.Front().second, 8u);
    ring.Pop(100);  // more than held: just empties it
    EXPECT_TRUE(ring.Empty());
}

}  // namespace
