// The status packets the radio sends in normal operation: 0x02 0x05, a type byte, a body
// that depends on the type, and one trailer byte.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr size_t kMaxStatusPacket = 64;

// Writes the packet of type 1, 2, 5 or 6 into out and returns its length; 0 for any other
// type. sequence varies the contents from one packet to the next.
size_t BuildStatusPacket(uint8_t type, uint8_t sequence, uint8_t (&out)[kMaxStatusPacket]);
