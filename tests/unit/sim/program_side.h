// Test helpers: a recording line for the simulated radio, and the program's half of the
// protocol written out afresh from its definition, so that the radio is checked against
// the rule rather than against its own inverse.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/radio_line.h"

class RecordingLine : public RadioLine {
public:
    uint64_t Send(const uint8_t* data, size_t count, uint64_t now_ns) override {
        sent.insert(sent.end(), data, data + count);
        return now_ns + delivery_ns;
    }
    void DropPending() override { ++drops; }
    void Report(const char* event) override { events.emplace_back(event); }
    void HangUp() override { hung_up = true; }

    bool HasEvent(const std::string& text) const {
        for (const std::string& e : events) {
            if (e == text) return true;
        }
        return false;
    }
    // Takes what was sent so far, leaving the record empty.
    std::vector<uint8_t> Take() {
        std::vector<uint8_t> out;
        out.swap(sent);
        return out;
    }

    uint64_t delivery_ns = 0;  // how long the line takes to deliver what is sent
    std::vector<uint8_t> sent;
    std::vector<std::string> events;
    int drops = 0;
    bool hung_up = false;
};

namespace program_side {

// The program's per-byte rule: out = halves of (b XOR key) exchanged; key rotates left.
inline uint8_t Scramble(uint8_t b, uint8_t& key) {
    const uint8_t t = b ^ key;
    key = static_cast<uint8_t>((key << 1) | (key >> 7));
    return static_cast<uint8_t>(((t * 16) + (t / 16)) % 256);
}

// The program restores the first 128 header bytes by passing them through the same rule.
inline std::vector<uint8_t> DescrambleHeader(std::vector<uint8_t> reply) {
    uint8_t key = 0x5B;
    for (size_t i = 0; i < 128 && i < reply.size(); ++i) reply[i] = Scramble(reply[i], key);
    return reply;
}

inline std::vector<uint8_t> WriteFrame(uint32_t address, const std::vector<uint8_t>& block) {
    std::vector<uint8_t> frame = {'W', uint8_t(address >> 24), uint8_t(address >> 16), uint8_t(address >> 8),
                                  uint8_t(address)};
    uint8_t key = 0x5B;
    uint8_t a = 0;
    uint8_t b = 165;
    for (uint8_t v : block) {
        frame.push_back(Scramble(v, key));
        a = static_cast<uint8_t>(a + v);
        b = static_cast<uint8_t>(b + v);
    }
    frame.push_back(a);
    frame.push_back(b);
    return frame;
}

inline std::vector<uint8_t> Block(uint8_t seed) {
    std::vector<uint8_t> block(1024);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(seed + i * 7 + (i >> 5));
    return block;
}

const std::vector<uint8_t> kCommand = {0x1B, 0x1B, 'P', 'R', 'O', 'G'};
const std::vector<uint8_t> kHeaderRead = {'R', 0x00, 0x02, 0x00, 0x00};

}  // namespace program_side
