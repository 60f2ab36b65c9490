// Status packets must frame the way the program's receiver expects each type to.
#include "sim/status_packet.h"

#include <gtest/gtest.h>

namespace {

// Body length by the receiver's rules: type 1 a length byte L (0 means 256) and L bytes;
// type 2 a length byte L in 1..36 and L bytes; type 5 29 bytes; type 6 one byte.
size_t BodyLength(const uint8_t* packet) {
    switch (packet[2]) {
    case 1:
        return 1 + (packet[3] == 0 ? 256 : packet[3]);
    case 2:
        return packet[3] >= 1 && packet[3] <= 36 ? 1 + packet[3] : 0;
    case 5:
        return 29;
    case 6:
        return 1;
    default:
        return 0;
    }
}

TEST(StatusPacket, EachTypeFramesAsTheReceiverCountsIt) {
    const struct {
        uint8_t type;
        size_t min_body;
    } rows[] = {{1, 2}, {2, 2}, {5, 29}, {6, 1}};
    for (const auto& row : rows) {
        uint8_t packet[kMaxStatusPacket];
        const size_t n = BuildStatusPacket(row.type, 7, packet);
        ASSERT_GE(n, 4u) << int(row.type);
        EXPECT_EQ(packet[0], 0x02);
        EXPECT_EQ(packet[1], 0x05);
        EXPECT_EQ(packet[2], row.type);
        const size_t body = BodyLength(packet);
        EXPECT_GE(body, row.min_body) << int(row.type);
        // Start bytes, type, body and exactly one trailer.
        EXPECT_EQ(n, 3 + body + 1) << int(row.type);
    }
}

TEST(StatusPacket, InfoFitsTheReceiversStore) {
    uint8_t packet[kMaxStatusPacket];
    BuildStatusPacket(1, 0, packet);
    EXPECT_LE(packet[3], 40) << "the receiver keeps 40 bytes of type 1";
    EXPECT_NE(packet[3], 0) << "0 would mean 256 bytes";
}

TEST(StatusPacket, TypeSixCarriesTheSameByteAsTypeFivesByte26) {
    for (uint8_t sequence : {0, 1, 200}) {
        uint8_t five[kMaxStatusPacket];
        uint8_t six[kMaxStatusPacket];
        BuildStatusPacket(5, sequence, five);
        BuildStatusPacket(6, sequence, six);
        EXPECT_EQ(five[3 + 26], sequence);
        EXPECT_EQ(six[3], sequence);
    }
}

TEST(StatusPacket, OtherTypesAreNotBuilt) {
    for (uint8_t type : {0, 3, 4, 7, 255}) {
        uint8_t packet[kMaxStatusPacket];
        EXPECT_EQ(BuildStatusPacket(type, 0, packet), 0u) << int(type);
    }
}

}  // namespace
