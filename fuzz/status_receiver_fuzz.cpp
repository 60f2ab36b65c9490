// The status receiver over any byte stream: the state stays in range, each byte lands in one
// of the three stores or nowhere, the text's length byte stays within 36, and the window is
// told "online" at most once, exactly when the first whole type-5 packet ends.
#include <cstddef>
#include <cstring>
#include <memory>

#include "core/status_receiver.h"
#include "fuzz/fuzz_input.h"

namespace {

struct CountingIndicator : OnlineIndicator {
    int shown = 0;
    void ShowDeviceOnline() override { ++shown; }
};

struct Stores {
    uint8_t info[sizeof StatusReceiver::InfoBlock];
    uint8_t text[sizeof StatusReceiver::StatusText];
    uint8_t block[sizeof StatusReceiver::StatusBlock];
};

Stores Snapshot(const StatusReceiver& r) {
    Stores s;
    std::memcpy(s.info, r.InfoBlock, sizeof s.info);
    std::memcpy(s.text, r.StatusText, sizeof s.text);
    std::memcpy(s.block, r.StatusBlock, sizeof s.block);
    return s;
}

// Whether [target, end) lies within one of the three stores, target at most end.
bool WithinOneStore(const StatusReceiver& r, const uint8_t* target, const uint8_t* end) {
    const uint8_t* starts[] = {r.InfoBlock, r.StatusText, r.StatusBlock};
    const size_t sizes[] = {sizeof r.InfoBlock, sizeof r.StatusText, sizeof r.StatusBlock};
    for (int i = 0; i < 3; ++i) {
        if (target >= starts[i] && target <= end && end <= starts[i] + sizes[i]) return true;
    }
    return false;
}

// Offset of the one byte in which two snapshots differ, -1 for none, -2 for more than one.
long OnlyDifference(const Stores& a, const Stores& b) {
    if (std::memcmp(&a, &b, sizeof(Stores)) == 0) return -1;
    const auto* pa = reinterpret_cast<const uint8_t*>(&a);
    const auto* pb = reinterpret_cast<const uint8_t*>(&b);
    long at = -1;
    for (size_t i = 0; i < sizeof(Stores); ++i) {
        if (pa[i] == pb[i]) continue;
        if (at != -1) return -2;
        at = static_cast<long>(i);
    }
    return at;
}

// Offset in a snapshot of a place in the receiver's stores.
long SnapshotOffset(const StatusReceiver& r, const uint8_t* p) {
    if (p >= r.InfoBlock && p < r.InfoBlock + sizeof r.InfoBlock) return p - r.InfoBlock;
    if (p >= r.StatusText && p < r.StatusText + sizeof r.StatusText) {
        return static_cast<long>(offsetof(Stores, text)) + (p - r.StatusText);
    }
    if (p >= r.StatusBlock && p < r.StatusBlock + sizeof r.StatusBlock) {
        return static_cast<long>(offsetof(Stores, block)) + (p - r.StatusBlock);
    }
    return -3;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CountingIndicator indicator;
    // On the heap, so that AddressSanitizer sees a write past the last store.
    auto receiver = std::make_unique<StatusReceiver>(indicator);
    StatusReceiver& r = *receiver;

    for (size_t i = 0; i < size; ++i) {
        const uint8_t b = data[i];
        const Stores before = Snapshot(r);
        const uint8_t state = r.PacketState;
        uint8_t* const target = r.PacketTarget;
        const bool keeps = target != r.PacketTargetEnd;
        const int shown = indicator.shown;

        r.HandleStatusByte(b);

        FUZZ_CHECK(r.PacketState <= 6);
        FUZZ_CHECK(r.StatusText[0] <= 36);
        FUZZ_CHECK(r.OnlineHold == 0 || r.OnlineHold == 5);
        FUZZ_CHECK(indicator.shown <= 1);
        FUZZ_CHECK(indicator.shown == (r.OnlineHold == 5 ? 1 : 0));
        const bool online_now = indicator.shown != shown;
        FUZZ_CHECK(!online_now || (state == 6 && r.PacketAction == StatusReceiver::Action::OnlineIndication));
        FUZZ_CHECK(r.PacketTarget == nullptr || WithinOneStore(r, r.PacketTarget, r.PacketTargetEnd));

        // Each byte changes at most one store byte: the payload place it was stored at, or
        // the text's length byte.
        const long changed = OnlyDifference(before, Snapshot(r));
        FUZZ_CHECK(changed != -2);
        if (changed >= 0) {
            if (state == 3) {
                FUZZ_CHECK(keeps && changed == SnapshotOffset(r, target));
            } else {
                FUZZ_CHECK(state == 4 && changed == static_cast<long>(offsetof(Stores, text)));
            }
        }
    }
    return 0;
}
