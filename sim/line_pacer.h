// Holds bytes until a real cable would have delivered them: at N baud, 8N1, each byte takes
// 10 bit times and is released once its last bit has passed; without a baud rate, at once.
// The simulated radio paces each direction of its line with one. Times are ns, monotonic.
#pragma once

#include <cstddef>
#include <cstdint>

class LinePacer {
public:
    static constexpr size_t kCapacity = 65536;

    explicit LinePacer(uint32_t baud);

    // Queues up to count bytes; returns how many fitted. last_release (if given) receives
    // the time at which the last queued byte reaches the other end.
    size_t Queue(const uint8_t* data, size_t count, uint64_t now_ns, uint64_t* last_release);
    // Copies up to capacity bytes whose time has come, oldest first, without removing them.
    size_t PeekReady(uint64_t now_ns, uint8_t* out, size_t capacity) const;
    void Drop(size_t count);
    // Takes the oldest byte if its time has come, with the time it was released at.
    bool PopReady(uint64_t now_ns, uint8_t& byte, uint64_t& release_ns);
    void Clear();

    size_t Pending() const { return count_; }
    size_t Free() const { return kCapacity - count_; }
    // Release time of the oldest pending byte; only meaningful while Pending() > 0.
    uint64_t NextRelease() const { return release_[head_]; }

private:
    uint64_t byte_ns_;
    uint64_t line_free_at_ = 0;  // when the last queued byte's stop bit ends
    size_t head_ = 0;
    size_t count_ = 0;
    uint8_t bytes_[kCapacity];
    uint64_t release_[kCapacity];
};
