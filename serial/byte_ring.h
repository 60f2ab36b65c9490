// A fixed first-in, first-out store of bytes, for the serial component's queue of bytes to
// send: the caller's buffer is copied in at once, and nothing is allocated.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

template <size_t Capacity>
class ByteRing {
public:
    size_t Size() const { return size_; }
    size_t Free() const { return Capacity - size_; }
    bool Empty() const { return size_ == 0; }

    // Stores as many of the bytes as fit; returns how many that was.
    size_t Push(const uint8_t* bytes, size_t count) {
        const size_t taken = std::min(count, Free());
        const size_t tail = (head_ + size_) % Capacity;
        const size_t first = std::min(taken, Capacity - tail);
        std::memcpy(data_.data() + tail, bytes, first);
        std::memcpy(data_.data(), bytes + first, taken - first);
        size_ += taken;
        return taken;
    }

    // The longest unbroken run of bytes at the front.
    std::pair<const uint8_t*, size_t> Front() const {
        return {data_.data() + head_, std::min(size_, Capacity - head_)};
    }

    void Pop(size_t count) {
        count = std::min(count, size_);
        head_ = (head_ + count) % Capacity;
        size_ -= count;
        // Starting again at the beginning keeps the next write in one piece.
        if (size_ == 0) head_ = 0;
    }

private:
    std::array<uint8_t, Capacity> data_{};
    size_t head_ = 0;
    size_t size_ = 0;
};
