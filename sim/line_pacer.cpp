// Release times per byte on an emulated 8N1 line.
#include "sim/line_pacer.h"

namespace {
constexpr uint64_t kBitsPerByte = 10;  // start bit, 8 data bits, stop bit
}

LinePacer::LinePacer(uint32_t baud) : byte_ns_(baud == 0 ? 0 : kBitsPerByte * 1000000000ull / baud) {}

size_t LinePacer::Queue(const uint8_t* data, size_t count, uint64_t now_ns, uint64_t* last_release) {
    size_t queued = 0;
    while (queued < count && count_ < kCapacity) {
        // An idle line starts the byte now; a busy one right after the byte before it.
        const uint64_t start = line_free_at_ > now_ns ? line_free_at_ : now_ns;
        line_free_at_ = start + byte_ns_;
        const size_t slot = (head_ + count_) % kCapacity;
        bytes_[slot] = data[queued];
        release_[slot] = line_free_at_;
        ++count_;
        ++queued;
    }
    if (last_release) *last_release = queued > 0 ? line_free_at_ : now_ns;
    return queued;
}

size_t LinePacer::PeekReady(uint64_t now_ns, uint8_t* out, size_t capacity) const {
    size_t n = 0;
    while (n < capacity && n < count_) {
        const size_t slot = (head_ + n) % kCapacity;
        if (release_[slot] > now_ns) break;
        out[n] = bytes_[slot];
        ++n;
    }
    return n;
}

void LinePacer::Drop(size_t count) {
    if (count > count_) count = count_;
    head_ = (head_ + count) % kCapacity;
    count_ -= count;
}

bool LinePacer::PopReady(uint64_t now_ns, uint8_t& byte, uint64_t& release_ns) {
    if (count_ == 0 || release_[head_] > now_ns) return false;
    byte = bytes_[head_];
    release_ns = release_[head_];
    Drop(1);
    return true;
}

void LinePacer::Clear() {
    head_ = 0;
    count_ = 0;
    line_free_at_ = 0;
}
