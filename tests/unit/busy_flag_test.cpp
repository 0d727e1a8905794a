// The busy flag: one test-and-set, and the protocol around it under threads.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "rules/busy_flag.h"

namespace torvane {
namespace {

TEST(BusyFlagTest, OneHolderAtATime) {
    BusyFlag flag;
    EXPECT_TRUE(flag.tryTake());
    EXPECT_FALSE(flag.tryTake());
    EXPECT_FALSE(flag.tryTakeWithRetests(101));
    flag.release();
    EXPECT_TRUE(flag.tryTakeWithRetests(0));
    flag.release();
}

TEST(BusyFlagTest, GuardReleasesOnlyWhatItTook) {
    BusyFlag flag;
    {
        BusyGuard g = BusyGuard::tryTake(flag);
        EXPECT_TRUE(g.owns());
        BusyGuard second = BusyGuard::tryTake(flag);
        EXPECT_FALSE(second.owns());
    }
    EXPECT_FALSE(flag.isHeld());
    ASSERT_TRUE(flag.tryTake());
    { BusyGuard adopted(flag); }
    EXPECT_FALSE(flag.isHeld());
}

// Five threads take and release the flag around a plain counter. Under the
// thread sanitizer any gap in the protocol shows as a race, and in any build
// a lost update shows in the count.
TEST(BusyFlagTest, StressFiveThreadsKeepAPlainCounterExact) {
    BusyFlag flag;
    long counter = 0;  // deliberately not atomic
    constexpr int kThreads = 5;
    constexpr int kIncrements = 20000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            int done = 0;
            while (done < kIncrements) {
                // Alternate the two ways of taking it: one attempt, and retests.
                bool took = (t % 2 == 0) ? flag.tryTake() : flag.tryTakeWithRetests(101);
                if (!took) {
                    std::this_thread::yield();
                    continue;
                }
                BusyGuard guard(flag);
                long seen = counter;
                counter = seen + 1;
                ++done;
            }
        });
    }
    for (std::thread& th : threads) th.join();
    EXPECT_EQ(counter, static_cast<long>(kThreads) * kIncrements);
    EXPECT_FALSE(flag.isHeld());
}

}  // namespace
}  // namespace torvane
