// What every fuzz target shares: the input read front to back as a script, and the one way a
// target reports a broken rule, an abort that libFuzzer records with its input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Past its end the script reads as zeros, so a short input is still a whole script.
class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool Empty() const { return used_ == size_; }
    size_t Left() const { return size_ - used_; }
    uint8_t Byte() { return Empty() ? 0 : data_[used_++]; }
    uint16_t Word() {
        const uint8_t low = Byte();
        return static_cast<uint16_t>(low | Byte() << 8);
    }
    // Up to count bytes; returns where they start and sets count to how many there were.
    const uint8_t* Take(size_t& count) {
        if (count > Left()) count = Left();
        const uint8_t* start = data_ + used_;
        used_ += count;
        return start;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t used_ = 0;
};

#define FUZZ_CHECK(condition)                                                            \
    do {                                                                                 \
        if (!(condition)) {                                                              \
            std::fprintf(stderr, "%s:%d: broken: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                \
        }                                                                                \
    } while (0)
