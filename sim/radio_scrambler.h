// The radio's half of the wire scrambling. The program passes each byte b through
// swap_halves(b XOR key), the key starting at 0x5B and rotating left one bit per byte.
// The radio undoes that for frames and does the inverse for the header it sends.
#pragma once

#include <cstdint>

class RadioScrambler {
public:
    static constexpr uint8_t kSeed = 0x5B;

    void Reseed() { key_ = kSeed; }
    // What to send so that the program's descrambling yields plain.
    uint8_t ForProgram(uint8_t plain);
    // The plain byte behind one that the program scrambled.
    uint8_t FromProgram(uint8_t wire);

private:
    uint8_t key_ = kSeed;
};
