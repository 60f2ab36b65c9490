// The serial component's queue of writes not yet begun: each write is kept as one transfer,
// with its own boundaries, so that each goes to the driver on its own and gets its own
// write time-out. Fixed storage; nothing is allocated. Not locked: its owner locks.
#pragma once

#include "serial/byte_ring.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

template <size_t ByteCapacity, size_t MaxTransfers>
class TransferQueue {
public:
    // A write longer than this goes out as several transfers of at most this many bytes.
    static constexpr size_t kLargestTransfer = ByteCapacity;

    bool Empty() const { return count_ == 0; }
    bool Fits(size_t length) const { return count_ < MaxTransfers && length <= bytes_.Free(); }

    // Queues the bytes as one transfer; false, and nothing queued, when they do not fit.
    bool Push(const uint8_t* bytes, size_t length) {
        if (length == 0 || !Fits(length)) return false;
        bytes_.Push(bytes, length);
        lengths_[(head_ + count_) % MaxTransfers] = length;
        ++count_;
        return true;
    }

    // Moves the oldest transfer, whole, into out (room for kLargestTransfer bytes); returns
    // its length, 0 when the queue is empty.
    size_t Take(uint8_t* out) {
        if (count_ == 0) return 0;
        const size_t length = lengths_[head_];
        head_ = (head_ + 1) % MaxTransfers;
        --count_;
        for (size_t copied = 0; copied < length;) {
            const auto [run, run_length] = bytes_.Front();
            const size_t part = std::min(run_length, length - copied);
            std::memcpy(out + copied, run, part);
            bytes_.Pop(part);
            copied += part;
        }
        return length;
    }

    void Clear() {
        bytes_.Pop(bytes_.Size());
        head_ = 0;
        count_ = 0;
    }

private:
    ByteRing<ByteCapacity> bytes_;
    std::array<size_t, MaxTransfers> lengths_{};
    size_t head_ = 0;
    size_t count_ = 0;
};
