// Xt-style timeouts on the event loop and input sources polled once a frame.
#include "tests/support/test_support.h"

#include <QCoreApplication>

#include "xshim/xshim_private.h"
#include "xshim/xshim_timers_private.h"
#include "platform/geometry.h"
#include "platform/clock.h"
#include "platform/timer.h"
#include "platform/view.h"
#include "state/framework_state.h"

#include <fcntl.h>
#include <unistd.h>

using testsupport::abortReason;

namespace {

class XshimTimers : public ::testing::Test {
protected:
    void SetUp() override {
        view = std::make_unique<platform::ScreenSaverView>(platform::Rect::make(0, 0, 8, 8), true);
        dpy = xshim_make_display(view.get(), nullptr);
        app = XtDisplayToApplicationContext(dpy);
    }
    void TearDown() override {
        // No timeout a case leaves behind fires in the next one.
        somnel::FrameworkState::reset();
        xshim_free_display(dpy);
        platform::setClockSource({});
        for (int fd : fds) close(fd);
    }
    // A pipe; returns its read end (the write end goes in w).
    int makePipe(int *w) {
        int p[2];
        EXPECT_EQ(pipe(p), 0);
        fds.push_back(p[0]);
        fds.push_back(p[1]);
        *w = p[1];
        return p[0];
    }

    std::unique_ptr<platform::ScreenSaverView> view;
    Display *dpy = nullptr;
    XtAppContext app = nullptr;
    std::vector<int> fds;
};

// What a callback saw.
struct Calls {
    int count = 0;
    int fd = -1;
    XtInputId input = nullptr;
    XtIntervalId timer = nullptr;
    std::function<void()> also;
};

void input_cb(XtPointer closure, int *fd, XtInputId *id) {
    auto *c = static_cast<Calls *>(closure);
    c->count++;
    c->fd = *fd;
    c->input = *id;
    if (c->also) c->also();
}

void timer_cb(XtPointer closure, XtIntervalId *id) {
    auto *c = static_cast<Calls *>(closure);
    c->count++;
    c->timer = *id;
    if (c->also) c->also();
}

}  // namespace

TEST_F(XshimTimers, DescriptorRange) {
    Calls c;
    EXPECT_EQ(abortReason([&] { XtAppAddInput(app, 0, nullptr, input_cb, &c); }),
              "xshim-timers: fd out of range");
    EXPECT_EQ(abortReason([&] { XtAppAddInput(app, 1024, nullptr, input_cb, &c); }),
              "xshim-timers: fd out of range");
    EXPECT_EQ(abortReason([&] { XtAppAddInput(app, -3, nullptr, input_cb, &c); }),
              "xshim-timers: fd out of range");
    EXPECT_EQ(display_sources_data(dpy)->count, 0);

    XtInputId lo = XtAppAddInput(app, 1, nullptr, input_cb, &c);
    XtInputId hi = XtAppAddInput(app, 1023, nullptr, input_cb, &c);
    xshim_sources *t = display_sources_data(dpy);
    EXPECT_EQ(t->count, 2);
    EXPECT_EQ(t->inputs[1], lo);
    EXPECT_EQ(t->inputs[1023], hi);
    EXPECT_EQ(lo->refcount, 1);
    EXPECT_EQ(abortReason([&] { XtAppAddInput(app, 1023, nullptr, input_cb, &c); }),
              "xshim-timers: sources corrupted");
    EXPECT_EQ(t->count, 2);
    XtRemoveInput(hi);
    EXPECT_EQ(t->count, 1);
    EXPECT_EQ(t->inputs[1023], nullptr);
    // The slot is free again.
    hi = XtAppAddInput(app, 1023, nullptr, input_cb, &c);
    EXPECT_EQ(t->count, 2);
    // xshim_free_display (TearDown) removes what is left.
}

TEST_F(XshimTimers, RemoveInputChecks) {
    Calls c;
    xshim_sources *t = display_sources_data(dpy);
    xshim_input fake{app, 1, input_cb, &c, 5};
    // Nothing registered at all.
    EXPECT_EQ(abortReason([&] { XtRemoveInput(&fake); }), "xshim-timers: sources corrupted");
    int w;
    int r = makePipe(&w);
    XtInputId real = XtAppAddInput(app, r, nullptr, input_cb, &c);
    fake.fd = 2000;
    EXPECT_EQ(abortReason([&] { XtRemoveInput(&fake); }), "xshim-timers: fd out of range");
    fake.fd = r;  // another record holds the slot
    EXPECT_EQ(abortReason([&] { XtRemoveInput(&fake); }), "xshim-timers: sources corrupted");
    fake.refcount = 0;
    EXPECT_EQ(abortReason([&] { XtRemoveInput(&fake); }), "xshim-timers: sources corrupted");
    EXPECT_EQ(t->count, 1);
    EXPECT_EQ(t->inputs[r], real);
}

TEST_F(XshimTimers, SourcesRunPollsOnlyRegisteredDescriptors) {
    Calls c;
    xshim_sources *t = display_sources_data(dpy);
    int w;
    int r = makePipe(&w);
    ASSERT_EQ(write(w, "x", 1), 1);

    // With a count of 0 the table is not polled at all, even though the slot
    // holds a readable descriptor's record.
    xshim_input loose{app, 1, input_cb, &c, r};
    t->inputs[r] = &loose;
    xshim_sources_run(t);
    EXPECT_EQ(c.count, 0);
    t->inputs[r] = nullptr;
    // A count without records is corruption.
    t->count = 2;
    EXPECT_EQ(abortReason([&] { xshim_sources_run(t); }), "xshim-timers: no fds");
    t->count = 0;
}

TEST_F(XshimTimers, ReadablePipeRunsItsCallbackOncePerPass) {
    Calls c, quiet;
    int w, w2;
    int r = makePipe(&w);
    int r2 = makePipe(&w2);
    XtInputId id = XtAppAddInput(app, r, (XtPointer)XtInputReadMask, input_cb, &c);
    XtAppAddInput(app, r2, nullptr, input_cb, &quiet);
    xshim_sources *t = display_sources_data(dpy);

    xshim_sources_run(t);
    EXPECT_EQ(c.count, 0);  // nothing written yet
    ASSERT_EQ(write(w, "x", 1), 1);
    xshim_sources_run(t);
    EXPECT_EQ(c.count, 1);
    EXPECT_EQ(c.fd, r);
    EXPECT_EQ(c.input, id);
    // Still unread: each pass serves it once more.
    xshim_sources_run(t);
    XtAppProcessEvent(app, XtIMAll);
    EXPECT_EQ(c.count, 3);
    EXPECT_EQ(quiet.count, 0);

    char b;
    ASSERT_EQ(read(r, &b, 1), 1);
    xshim_sources_run(t);
    EXPECT_EQ(c.count, 3);
    EXPECT_EQ(XtAppPending(app), (XtInputMask)XtIMAlternateInput);
    ASSERT_EQ(write(w, "x", 1), 1);
    EXPECT_EQ(XtAppPending(app), (XtInputMask)4);

    // After removal the descriptor is no longer served.
    XtRemoveInput(id);
    xshim_sources_run(t);
    EXPECT_EQ(c.count, 3);
}

TEST_F(XshimTimers, CallbacksMayRemoveInputsDuringAPass) {
    Calls first, second;
    int w1, w2;
    int r1 = makePipe(&w1);
    int r2 = makePipe(&w2);
    ASSERT_LT(r1, r2);
    XtInputId id1 = XtAppAddInput(app, r1, nullptr, input_cb, &first);
    XtInputId id2 = XtAppAddInput(app, r2, nullptr, input_cb, &second);
    ASSERT_EQ(write(w1, "x", 1), 1);
    ASSERT_EQ(write(w2, "x", 1), 1);
    // The first callback removes both its own input and the other ready one:
    // the other is skipped, not reported as corruption.
    first.also = [&] {
        XtRemoveInput(id2);
        XtRemoveInput(id1);
    };
    xshim_sources *t = display_sources_data(dpy);
    EXPECT_EQ(abortReason([&] { xshim_sources_run(t); }), "<no exception>");
    EXPECT_EQ(first.count, 1);
    EXPECT_EQ(second.count, 0);
    EXPECT_EQ(t->count, 0);
}

TEST_F(XshimTimers, ZeroTimeoutFiresOnTheNextLoopPass) {
    Calls c;
    XtIntervalId id = XtAppAddTimeOut(app, 0, timer_cb, &c);
    EXPECT_EQ(c.count, 0);  // not inside XtAppAddTimeOut
    EXPECT_EQ(id->refcount, 1);
    testsupport::waitFor([&] { return c.count > 0; });
    EXPECT_EQ(c.count, 1);
    EXPECT_EQ(c.timer, id);
    testsupport::letEventsRun(30);
    EXPECT_EQ(c.count, 1);  // one shot
    // Its record is gone: removing it now is reported.
    EXPECT_EQ(abortReason([&] { XtRemoveTimeOut(id); }), "xshim-timers: already freed");
}

TEST_F(XshimTimers, RemovedTimeoutNeverFires) {
    double clock = 1000;
    platform::setClockSource([&] { return clock; });
    Calls c, other;
    XtIntervalId id = XtAppAddTimeOut(app, 0, timer_cb, &c);
    XtAppAddTimeOut(app, 1500, timer_cb, &other);
    XtRemoveTimeOut(id);
    EXPECT_EQ(abortReason([&] { XtRemoveTimeOut(id); }), "xshim-timers: already freed");
    clock += 1;
    EXPECT_EQ(platform::RunLoopTimer::fireDueTimersForTesting(), 0);
    testsupport::letEventsRun(30);
    EXPECT_EQ(c.count, 0);
    EXPECT_EQ(other.count, 0);
    clock += 1;  // 2 s after scheduling: the 1.5 s timeout is due
    EXPECT_EQ(platform::RunLoopTimer::fireDueTimersForTesting(), 1);
    EXPECT_EQ(other.count, 1);
}

TEST_F(XshimTimers, CallbackMayRemoveItsOwnTimeoutOrAddAnother) {
    double clock = 50;
    platform::setClockSource([&] { return clock; });
    Calls c, next;
    c.also = [&] {
        XtRemoveTimeOut(c.timer);  // already firing: harmless, frees nothing twice
        XtAppAddTimeOut(app, 10, timer_cb, &next);
    };
    XtAppAddTimeOut(app, 10, timer_cb, &c);
    clock += 0.011;
    EXPECT_EQ(platform::RunLoopTimer::fireDueTimersForTesting(), 1);
    EXPECT_EQ(c.count, 1);
    EXPECT_EQ(next.count, 0);  // its own time has not come in this pass
    EXPECT_EQ(abortReason([&] { XtRemoveTimeOut(c.timer); }), "xshim-timers: already freed");
    clock += 0.011;
    EXPECT_EQ(platform::RunLoopTimer::fireDueTimersForTesting(), 1);
    EXPECT_EQ(next.count, 1);

    // A count given back twice is caught.
    xshim_timer rec{};
    EXPECT_EQ(abortReason([&] { somnel::xshim::xshim_timer_release(&rec); }), "xshim-timers: double free");
}
