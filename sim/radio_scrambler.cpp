// Both directions come out as swap_halves(x) XOR key: the program computes
// out = swap(in XOR k), and as swapping the halves twice is no change, in = swap(out) XOR k.
#include "sim/radio_scrambler.h"

namespace {

uint8_t SwapHalves(uint8_t b) { return static_cast<uint8_t>((b << 4) | (b >> 4)); }

uint8_t RotateLeft(uint8_t b) { return static_cast<uint8_t>((b << 1) | (b >> 7)); }

}  // namespace

uint8_t RadioScrambler::ForProgram(uint8_t plain) {
    const uint8_t wire = SwapHalves(plain) ^ key_;
    key_ = RotateLeft(key_);
    return wire;
}

uint8_t RadioScrambler::FromProgram(uint8_t wire) {
    const uint8_t plain = SwapHalves(wire) ^ key_;
    key_ = RotateLeft(key_);
    return plain;
}
