#include "common/helper_threads.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

// Threads start only within the room made for them, every one started runs its work once
// joined, and the room stays for more after a join.
TEST(HelperThreads, start_within_their_room_and_run_before_the_join_returns) {
    struct Case {
        int room;
        int wanted;
        int started;
    };
    const Case cases[] = {{0, 1, 0}, {2, 3, 2}, {3, 3, 3}, {-1, 2, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.room);
        std::atomic<int> runs{0};
        HelperThreads threads;
        threads.make_room(c.room);
        for (int round = 0; round < 2; ++round) {
            int started = 0;
            for (int t = 0; t < c.wanted; ++t)
                started += threads.start([&runs] { ++runs; }) ? 1 : 0;
            EXPECT_EQ(started, c.started);
            EXPECT_EQ(threads.count(), c.started);
            threads.join();
            EXPECT_EQ(threads.count(), 0);
            EXPECT_EQ(runs.load(), c.started * (round + 1));
        }
    }
}

}  // namespace
