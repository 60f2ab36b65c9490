// Bodies by type: 1 a length byte and that many info bytes; 2 a length byte (1..36) and
// text; 5 a 29-byte status block; 6 the one byte that replaces status block byte 26.
#include "sim/status_packet.h"

#include <cstring>

namespace {

constexpr uint8_t kStart1 = 0x02;
constexpr uint8_t kStart2 = 0x05;
constexpr uint8_t kTrailer = 0x03;                                    // the receiver never looks at it
constexpr char kInfo[] = "Q42 NAV TRANSCEIVER SIMULATED RADIO 0001";  // 40 characters
constexpr char kStatusText[] = "Q42 READY";
constexpr size_t kStatusBlockSize = 29;
constexpr size_t kSequenceByte = 26;  // the byte that type 6 updates on its own

}  // namespace

size_t BuildStatusPacket(uint8_t type, uint8_t sequence, uint8_t (&out)[kMaxStatusPacket]) {
    size_t n = 0;
    out[n++] = kStart1;
    out[n++] = kStart2;
    out[n++] = type;
    switch (type) {
    case 1:
    case 2: {
        const char* text = type == 1 ? kInfo : kStatusText;
        const size_t length = std::strlen(text);
        out[n++] = static_cast<uint8_t>(length);
        std::memcpy(out + n, text, length);
        n += length;
        break;
    }
    case 5:
        std::memset(out + n, 0, kStatusBlockSize);
        out[n + kSequenceByte] = sequence;
        n += kStatusBlockSize;
        break;
    case 6:
        out[n++] = sequence;
        break;
    default:
        return 0;
    }
    out[n++] = kTrailer;
    return n;
}
