// The run loop's one-shot timers: what a test leaves scheduled can be
// cleared before the next one.
#include "tests/support/test_support.h"

#include "platform/clock.h"
#include "platform/timer.h"

using platform::RunLoopTimer;

TEST(RunLoopTimer, InvalidateAllLeavesNothingToFire) {
    double now = 100;
    platform::setClockSource([&] { return now; });
    int fired = 0;
    auto a = RunLoopTimer::schedule(101, [&] { ++fired; });
    auto b = RunLoopTimer::schedule(102, [&] { ++fired; });
    b->invalidate();
    auto c = RunLoopTimer::schedule(103, [&] { ++fired; });
    EXPECT_EQ(RunLoopTimer::invalidateAll(), 2);  // b was gone already
    EXPECT_FALSE(a->isValid() || c->isValid());
    now = 200;
    EXPECT_EQ(RunLoopTimer::fireDueTimersForTesting(), 0);
    EXPECT_EQ(fired, 0);
    EXPECT_EQ(RunLoopTimer::invalidateAll(), 0);
    platform::setClockSource({});
}
