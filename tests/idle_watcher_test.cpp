// The idle watcher's decisions, on a clock the test moves.
#include "tests/support/test_support.h"

#include "host/idle_watcher.h"

#include <string>
#include <vector>

using somnel::host::IdleWatcher;

namespace {

// The watcher with what it asks for noted down: starts, the time it wants
// to be called back at (negative: none), and its lines.
struct Watched {
    explicit Watched(double idleSeconds)
        : watcher({[this] { starts++; },
                   [this](double s) { callAt = s < 0 ? -1 : now + s; },
                   [this](const std::string &l) { lines.push_back(l); }},
                  idleSeconds) {}
    // Moves the clock to the time asked for and makes the call.
    void callBack() {
        ASSERT_GE(callAt, now);
        now = callAt;
        callAt = -1;
        watcher.due(now);
    }
    double now = 0, callAt = -1;
    int starts = 0;
    std::vector<std::string> lines;
    IdleWatcher watcher;
};

TEST(IdleWatcher, StartsAtEachIdleAfterTheUserCameBack) {
    Watched w(600);
    w.watcher.active(10);
    EXPECT_EQ(w.starts, 0);
    w.watcher.idle(w.now = 610);
    EXPECT_EQ(w.starts, 1);
    EXPECT_TRUE(w.watcher.showing());
    w.watcher.idle(700);  // no second saver over the first
    EXPECT_EQ(w.starts, 1);
    // A key ended it: nothing until the source reports idle again.
    w.watcher.saverEnded(800, false, "");
    EXPECT_FALSE(w.watcher.showing());
    EXPECT_LT(w.callAt, 0);
    w.watcher.idle(1400);
    EXPECT_EQ(w.starts, 2);
    EXPECT_TRUE(w.lines.empty());
}

TEST(IdleWatcher, AFailingSaverWaitsTwiceAsLongEachTimeUpToFiveMinutes) {
    Watched w(60);
    w.watcher.idle(w.now = 60);
    for (double expected : {2, 4, 8, 16, 32, 64, 128, 256, 300, 300}) {
        ASSERT_EQ(w.starts, 1) << "one start per wait";
        w.starts = 0;
        w.watcher.saverEnded(w.now += 0.5, true, "\"Broken\" ended with status 70");
        EXPECT_DOUBLE_EQ(w.callAt - w.now, expected);
        w.callBack();
    }
    EXPECT_EQ(w.lines.front(), "\"Broken\" ended with status 70 0.5 s after it started; "
                               "not starting it again for 2.0 s");
    EXPECT_EQ(w.lines.back().substr(w.lines.back().rfind("for")), "for 5 min");
    // A run that lasted starts the count again.
    w.watcher.saverEnded(w.now += IdleWatcher::kHealthyRunSeconds, true, "crashed");
    EXPECT_DOUBLE_EQ(w.callAt - w.now, 2);
    // The user back cancels the retry; the next idle still waits out the
    // rest of it.
    w.watcher.active(w.now += 1);
    EXPECT_LT(w.callAt, 0);
    w.watcher.idle(w.now += 0.5);
    EXPECT_DOUBLE_EQ(w.callAt - w.now, 0.5);
    w.starts = 0;
    w.callBack();
    EXPECT_EQ(w.starts, 1);
}

TEST(IdleWatcher, AnInhibitHoldsTheSaverAndItsReleaseCountsTheIdleTimeAgain) {
    Watched w(120);
    w.watcher.setInhibited(true, 0);
    w.watcher.idle(w.now = 120);
    EXPECT_EQ(w.starts, 0);
    EXPECT_LT(w.callAt, 0);
    w.watcher.setInhibited(false, w.now = 500);
    EXPECT_DOUBLE_EQ(w.callAt, 620);
    // Input meanwhile: the source reports the next idle.
    w.watcher.active(600);
    EXPECT_LT(w.callAt, 0);
    w.watcher.idle(w.now = 720);
    EXPECT_EQ(w.starts, 1);
    // An inhibit taken while it shows leaves it; a new idle time makes
    // the user active until the source says otherwise.
    w.watcher.setInhibited(true, 730);
    EXPECT_TRUE(w.watcher.showing());
    w.watcher.saverEnded(740, false, "");
    w.watcher.setInhibited(false, 750);
    w.watcher.setIdleSeconds(300);
    EXPECT_LT(w.callAt, 0);
    EXPECT_EQ(w.starts, 1);
}

}  // namespace
