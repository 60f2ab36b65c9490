// The one holder of handles and descriptors: whatever happens to it, each value it was given
// is closed exactly once, and never one it gave away.
#include "core/unique_handle.h"

#include <gtest/gtest.h>

#include <map>
#include <utility>

namespace {

std::map<int, int> g_closes;  // value -> times closed

struct CountingTraits {
    using Value = int;
    static int Empty() { return -1; }
    static bool Valid(int value) { return value >= 0; }
    static bool Close(int value) {
        ++g_closes[value];
        return value != 13;  // 13 is a value whose close fails
    }
};
using Held = UniqueHandle<CountingTraits>;

TEST(UniqueHandle, ClosesEachValueOnceWhateverBecomesOfIt) {
    struct Row {
        const char* name;
        void (*use)();
        std::map<int, int> closes;
    };
    const Row rows[] = {
        {"goes out of scope", [] { Held held(1); }, {{1, 1}}},
        {"reset to another",
         [] {
             Held held(1);
             held.Reset(2);
         },
         {{1, 1}, {2, 1}}},
        {"moved into a new holder",
         [] {
             Held a(1);
             Held b(std::move(a));
         },
         {{1, 1}}},
        {"moved over a holder",
         [] {
             Held a(1);
             Held b(2);
             b = std::move(a);
         },
         {{1, 1}, {2, 1}}},
        {"released",
         [] {
             Held held(1);
             (void)held.Release();
         },
         {}},
        {"closed, then out of scope",
         [] {
             Held held(1);
             EXPECT_TRUE(held.Close());
         },
         {{1, 1}}},
        {"a failing close is heard",
         [] {
             Held held(13);
             EXPECT_FALSE(held.Close());
         },
         {{13, 1}}},
        {"empty",
         [] {
             Held held;
             EXPECT_TRUE(held.Close());
         },
         {}},
    };
    for (const Row& r : rows) {
        g_closes.clear();
        r.use();
        EXPECT_EQ(g_closes, r.closes) << r.name;
    }
}

}  // namespace
