// The receive dispatcher against a port queue it cannot see into: one consumer per
// notification, each branch's cap, what is left for the next notification, and the
// notifications that must pass nothing on.
#include "core/receive_dispatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

class FakePath final : public ReceivePath, public LinkHost, public OnlineIndicator {
public:
    std::deque<uint8_t> queue;  // the port's receive queue
    bool read_fails = false;
    bool terminal_showing = false;
    std::vector<int32_t> terminal_counts;
    std::vector<Bytes> sent;
    int online = 0;

    int32_t Read(uint8_t* buffer, int32_t count) override {
        if (read_fails) return -1;
        const auto taken = std::min(static_cast<size_t>(count), queue.size());
        std::copy_n(queue.begin(), taken, buffer);
        queue.erase(queue.begin(), queue.begin() + static_cast<long>(taken));
        return static_cast<int32_t>(taken);
    }
    bool TerminalShowing() const override { return terminal_showing; }
    void TerminalReceive(int32_t count) override { terminal_counts.push_back(count); }
    void SendToDevice(const uint8_t* data, uint16_t count) override { sent.emplace_back(data, data + count); }
    void RunMessageLoopOnce() override {}
    void ShowDeviceOnline() override { ++online; }
};

struct Receiver {
    FakePath path;
    BootLink link{path};
    StatusReceiver status{path};
    uint8_t buffer[kUpdateReadCap + 1] = {};

    void Queue(const Bytes& bytes) { path.queue.insert(path.queue.end(), bytes.begin(), bytes.end()); }
    void Notify(int32_t count) { DispatchReceived(path, count, link, status, buffer); }
};

// Noise, then the greeting, whose carriage return is the byte after the first `before` bytes.
Bytes GreetingAfter(size_t before) {
    Bytes bytes(before - 2, 0);
    bytes.insert(bytes.end(), {'O', 'K', '\r'});
    return bytes;
}

// A status packet whose trailer is the byte after the first `before` bytes.
Bytes StatusPacketAfter(size_t before) {
    Bytes bytes(before - 33 + 1, 0);
    bytes.insert(bytes.end(), {0x02, 0x05, 5});
    bytes.insert(bytes.end(), 29, 0x40);
    bytes.push_back(0xEE);
    return bytes;
}

TEST(ReceiveDispatcher, ReadsAtMostTheBranchCapAndLeavesTheRestForTheNextNotification) {
    {
        Receiver r;
        r.link.UpdateActive = true;
        r.Queue(GreetingAfter(kUpdateReadCap));
        r.Notify(static_cast<int32_t>(r.path.queue.size()));
        EXPECT_EQ(r.path.queue.size(), 1u);
        EXPECT_EQ(r.link.BootState, BootState::SeenOK) << "the carriage return is beyond the cap";
        EXPECT_TRUE(r.path.sent.empty());
        r.Notify(1);
        EXPECT_EQ(r.path.sent.size(), 1u) << "the rest answers the greeting";
    }
    {
        Receiver r;
        r.Queue(StatusPacketAfter(kStatusReadCap));
        r.Notify(static_cast<int32_t>(r.path.queue.size()));
        EXPECT_EQ(r.path.queue.size(), 1u);
        EXPECT_EQ(r.path.online, 0) << "the trailer is beyond the cap";
        r.Notify(1);
        EXPECT_EQ(r.path.online, 1);
    }
}

TEST(ReceiveDispatcher, NotificationsThatPassNothingOn) {
    struct Row {
        const char* name;
        bool update_active;
        int32_t count;
        bool read_fails;
        size_t left;
    };
    const Row rows[] = {
        {"count 0, status branch", false, 0, false, 3},          {"count 0, update branch", true, 0, false, 3},
        {"a read that fails, status branch", false, 3, true, 3}, {"a read that fails, update branch", true, 3, true, 3},
        {"count below what is queued", true, 2, false, 1},
    };
    for (const Row& row : rows) {
        Receiver r;
        r.link.UpdateActive = row.update_active;
        r.path.read_fails = row.read_fails;
        r.Queue({'O', 'K', '\r'});
        r.Notify(row.count);
        EXPECT_EQ(r.path.queue.size(), row.left) << row.name;
        EXPECT_TRUE(r.path.sent.empty()) << row.name;
        EXPECT_EQ(r.link.BootState, row.count == 2 ? BootState::SeenOK : BootState::WaitGreeting) << row.name;
    }
}

TEST(ReceiveDispatcher, TheShowingTerminalTakesTheNotificationEvenDuringAnUpdate) {
    for (bool update_active : {false, true}) {
        Receiver r;
        r.link.UpdateActive = update_active;
        r.path.terminal_showing = true;
        r.Queue({'O', 'K', '\r'});
        r.Notify(12345);
        EXPECT_EQ(r.path.terminal_counts, std::vector<int32_t>{12345}) << update_active;
        EXPECT_EQ(r.path.queue.size(), 3u) << "the terminal reads for itself";
        EXPECT_EQ(r.link.BootState, BootState::WaitGreeting);
    }
}

}  // namespace
