// The send queue: its ring gives bytes back in the order they went in, across the wrap, and
// never more than fit; the queue of transfers on it keeps each write whole and apart.
#include "serial/byte_ring.h"
#include "serial/transfer_queue.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> TakeAll(ByteRing<8>& ring) {
    std::vector<uint8_t> out;
    while (!ring.Empty()) {
        const auto [bytes, length] = ring.Front();
        out.insert(out.end(), bytes, bytes + length);
        ring.Pop(length);
    }
    return out;
}

TEST(ByteRing, KeepsOrderAcrossTheWrapAndRefusesWhatDoesNotFit) {
    ByteRing<8> ring;
    const uint8_t first[] = {1, 2, 3, 4, 5, 6};
    const uint8_t second[] = {7, 8, 9, 10, 11, 12};
    EXPECT_EQ(ring.Push(first, 6), 6u);
    ring.Pop(4);                          // 5 6 left, at the end of the store
    EXPECT_EQ(ring.Push(second, 6), 6u);  // fills the store, wrapping round
    EXPECT_EQ(ring.Free(), 0u);
    EXPECT_EQ(ring.Push(first, 1), 0u);
    EXPECT_EQ(ring.Front().second, 4u) << "the unbroken run stops at the end of the store";
    EXPECT_EQ(TakeAll(ring), (std::vector<uint8_t>{5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST(ByteRing, AnEmptiedRingStartsAgainInOnePiece) {
    ByteRing<8> ring;
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7, 8};
    ring.Push(bytes, 5);
    ring.Pop(5);
    EXPECT_EQ(ring.Push(bytes, 8), 8u);
    EXPECT_EQ(ring.Front().second, 8u);
    ring.Pop(100);  // more than held: just empties it
    EXPECT_TRUE(ring.Empty());
}

// Writes queued back to back must stay apart, so that each goes to the driver as its own
// transfer with its own time-out: merged, two 1031-byte frames would get one 1.5 s
// time-out, shorter than their time on a 9600-baud line.
TEST(TransferQueue, EachWriteStaysOneWholeTransferInCallOrder) {
    TransferQueue<16, 3> queue;
    uint8_t bytes[16];
    for (uint8_t i = 0; i < 16; ++i) bytes[i] = i;
    uint8_t out[16];
    const auto take = [&] {
        const size_t length = queue.Take(out);
        return std::vector<uint8_t>(out, out + length);
    };
    EXPECT_TRUE(queue.Push(bytes, 6));
    EXPECT_TRUE(queue.Push(bytes + 6, 6));
    EXPECT_FALSE(queue.Push(bytes, 6)) << "4 bytes free";
    EXPECT_EQ(take(), (std::vector<uint8_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_TRUE(queue.Push(bytes + 10, 6));  // wraps round the end of the store
    EXPECT_TRUE(queue.Push(bytes, 1));
    EXPECT_FALSE(queue.Push(bytes, 1)) << "three transfers are the most";
    EXPECT_FALSE(queue.Push(bytes, 0)) << "an empty write is no transfer";
    EXPECT_EQ(take(), (std::vector<uint8_t>{6, 7, 8, 9, 10, 11}));
    EXPECT_EQ(take(), (std::vector<uint8_t>{10, 11, 12, 13, 14, 15}));
    EXPECT_EQ(take(), (std::vector<uint8_t>{0}));
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.Take(out), 0u);
}

}  // namespace
