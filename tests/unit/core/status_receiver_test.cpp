// Framing of the radio's status packets: whole and split packets, malformed input, the
// payload stores and the one-time online indication.
#include "core/status_receiver.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

struct CountingIndicator : OnlineIndicator {
    int shown = 0;
    void ShowDeviceOnline() override { ++shown; }
};

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes Ascending(size_t count, uint8_t first) {
    Bytes run(count);
    for (size_t i = 0; i < count; ++i) run[i] = static_cast<uint8_t>(first + i);
    return run;
}

Bytes Packet(uint8_t type, const Bytes& body, uint8_t trailer = 0xEE) {
    return Bytes{0x02, 0x05, type} + body + Bytes{trailer};
}

void Feed(StatusReceiver& receiver, const Bytes& bytes) {
    for (uint8_t b : bytes) receiver.HandleStatusByte(b);
}

const Bytes kStatusBody = Ascending(29, 0x40);
const Bytes kStatus = Packet(5, kStatusBody);

TEST(StatusReceiver, OnlyTheFirstStatusPacketShowsOnline) {
    CountingIndicator indicator;
    StatusReceiver receiver(indicator);
    Feed(receiver, kStatus);
    EXPECT_EQ(indicator.shown, 1);
    EXPECT_EQ(receiver.OnlineHold, 5);
    Feed(receiver, Packet(5, Ascending(29, 0x80)));
    EXPECT_EQ(indicator.shown, 1);
    EXPECT_EQ(Bytes(receiver.StatusBlock, receiver.StatusBlock + 29), Ascending(29, 0x80));
}

TEST(StatusReceiver, PacketSplitAtAnyPointIsFramed) {
    const Bytes stream = Packet(2, {3, 'a', 'b', 'c'}) + kStatus;
    for (size_t split = 0; split < stream.size(); ++split) {
        CountingIndicator indicator;
        StatusReceiver receiver(indicator);
        Feed(receiver, Bytes(stream.begin(), stream.begin() + static_cast<long>(split)));
        EXPECT_EQ(indicator.shown, 0) << "split " << split;
        Feed(receiver, Bytes(stream.begin() + static_cast<long>(split), stream.end()));
        EXPECT_EQ(indicator.shown, 1) << "split " << split;
    }
}

TEST(StatusReceiver, RecognisesOnlyWellFramedStatusPackets) {
    const struct {
        const char* name;
        Bytes input;
        int shown;
    } cases[] = {
        {"second start must follow the first", Bytes{0x02} + kStatus, 0},
        {"unknown types are skipped", Bytes{0x02, 0x05, 0x03, 0x00, 0x05} + kStatusBody + Bytes{1}, 1},
        {"trailer 0x02 starts nothing", Packet(6, {0x11}, 0x02) + Bytes(kStatus.begin() + 1, kStatus.end()), 0},
        {"text length 0 drops the packet", Bytes{0x02, 0x05, 0x02, 0} + kStatus, 1},
        {"text length 37 drops the packet", Bytes{0x02, 0x05, 0x02, 37} + kStatus, 1},
        {"text of 36 hides a status", Packet(2, Bytes{36} + Ascending(3, 0x10) + kStatus), 0},
        {"info length 0 is 256 bytes", Packet(1, Bytes{0} + Bytes(256, 0x02)) + kStatus, 1},
        {"info of 256 hides a status", Packet(1, Bytes{0} + Bytes(223, 0) + kStatus), 0},
        {"info of 256 then trailer 0x02",
         Packet(1, Bytes{0} + Bytes(256, 0), 0x02) + Bytes(kStatus.begin() + 1, kStatus.end()), 0},
        {"other types never show online", Packet(1, {5, 1, 2, 3, 4, 5}) + Packet(2, {2, 'o', 'k'}) + Packet(6, {0x33}),
         0},
        {"no trailer yet", Bytes(kStatus.begin(), kStatus.end() - 1), 0},
    };
    for (const auto& c : cases) {
        CountingIndicator indicator;
        StatusReceiver receiver(indicator);
        Feed(receiver, c.input);
        EXPECT_EQ(indicator.shown, c.shown) << c.name;
    }
}

TEST(StatusReceiver, StoresEachPayloadInItsPlaceAndNoFurther) {
    CountingIndicator indicator;
    StatusReceiver receiver(indicator);
    Feed(receiver, kStatus + Packet(2, {5, 'H', 'e', 'l', 'l', 'o'}) + Packet(2, {2, 'O', 'K'}));
    const Bytes text{2, 'O', 'K', 'l', 'l', 'o'};
    EXPECT_EQ(Bytes(receiver.StatusText, receiver.StatusText + 6), text);

    // The longest info payload: InfoBlock keeps its first 40 bytes, the stores after it
    // stay as they were.
    Feed(receiver, Packet(1, Bytes{0} + Ascending(256, 0)) + Packet(6, {0xA5}));
    EXPECT_EQ(Bytes(receiver.InfoBlock, receiver.InfoBlock + 40), Ascending(40, 0));
    EXPECT_EQ(Bytes(receiver.StatusText, receiver.StatusText + 6), text);
    Bytes block = kStatusBody;
    block[26] = 0xA5;
    EXPECT_EQ(Bytes(receiver.StatusBlock, receiver.StatusBlock + 29), block);
}

}  // namespace
