// The colour-map makers: ramps and their mirror, paths and their segments,
// the allocation fall-backs (made to fail through the test hook), the
// shortfall report and the random maps' use of the generator.
#include "tests/support/test_support.h"
#include "xshim/xshim_private.h"

#include "somnel/colors.h"
#include "somnel/hsv.h"
#include "somnel/somnel_function_table.h"
#include "somnel/yarandom.h"
#include "platform/geometry.h"
#include "platform/view.h"

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

using testsupport::abortReason;
using testsupport::captureStderr;

const char *progname = "colors_test";

namespace {

struct HookCall {
    colors_test_op op;
    int count, index;
};

std::vector<HookCall> g_calls;
std::function<colors_test_verdict(colors_test_op, int, int)> g_verdict;

colors_test_verdict recordingHook(colors_test_op op, int count, int index) {
    g_calls.push_back({op, count, index});
    return g_verdict ? g_verdict(op, count, index) : COLORS_HOOK_PASS;
}

// The generator's state when the test began: fromSnapshot runs fn from it,
// so that two runs can be compared draw for draw.
ya_rand_state g_snapshot;
std::vector<uint32_t> fromSnapshot(const std::function<std::vector<uint32_t>()> &fn) {
    ya_rand_set_state(&g_snapshot);
    return fn();
}

std::vector<uint32_t> flatten(const std::vector<XColor> &c, int n) {
    std::vector<uint32_t> out;
    for (int i = 0; i < n; i++) {
        out.push_back(c[i].red);
        out.push_back(c[i].green);
        out.push_back(c[i].blue);
        out.push_back(c[i].flags);
        out.push_back(uint32_t(c[i].pixel));
    }
    return out;
}

XColor hsvColor(int h, double s, double v) {
    XColor c{};
    hsv_to_rgb(h, s, v, &c.red, &c.green, &c.blue);
    c.flags = 7;
    return c;
}

::testing::AssertionResult sameRgb(const XColor &a, const XColor &b) {
    if (a.red == b.red && a.green == b.green && a.blue == b.blue) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.red << "," << a.green << "," << a.blue << ") vs ("
                                         << b.red << "," << b.green << "," << b.blue << ")";
}
#define EXPECT_SAME_RGB(a, b) EXPECT_TRUE(sameRgb((a), (b)))

class Colors : public ::testing::Test {
protected:
    void SetUp() override {
        g_calls.clear();
        g_verdict = nullptr;
        colors_test_hook = recordingHook;
        ya_rand_get_state(&g_snapshot);
    }
    void TearDown() override {
        colors_test_hook = nullptr;
        g_verdict = nullptr;
        if (dpy_) xshim_free_display(dpy_);
    }
    // A display over a plain view, for the calls that look at the screen.
    Display *display() {
        if (!dpy_) {
            view_ = std::make_unique<platform::ScreenSaverView>(platform::Rect::make(0, 0, 32, 32), true);
            dpy_ = xshim_make_display(view_.get(), nullptr);
        }
        return dpy_;
    }

    std::unique_ptr<platform::ScreenSaverView> view_;
    Display *dpy_ = nullptr;

    // Counts of the read-only requests that began an attempt (entry 0).
    std::vector<int> attempts() const {
        std::vector<int> out;
        for (const HookCall &c : g_calls)
            if (c.op == COLORS_OP_ALLOC_COLOR && c.index == 0) out.push_back(c.count);
        return out;
    }
    std::vector<int> cellRequests() const {
        std::vector<int> out;
        for (const HookCall &c : g_calls)
            if (c.op == COLORS_OP_ALLOC_CELLS) out.push_back(c.count);
        return out;
    }
};

}  // namespace

// ------------------------------------------------------------------ ramps

TEST_F(Colors, OpenRampStopsShortOfItsEnd) {
    std::vector<XColor> c(6);
    int n = 6;
    make_color_ramp(nullptr, 0, 0, 1.0, 1.0, 360, 0.4, 0.4, c.data(), &n, False, False, False);
    EXPECT_EQ(n, 6);
    for (int i = 0; i < 6; i++) {
        SCOPED_TRACE(i);
        XColor want = hsvColor(60 * i, 1.0 - 0.1 * i, 1.0 - 0.1 * i);
        EXPECT_SAME_RGB(c[i], want);
        EXPECT_EQ(c[i].flags, 7);
        EXPECT_EQ(c[i].pixel, 0u);  // not allocated
    }
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(Colors, ClosedRampMirrorsItsFirstHalf) {
    std::vector<XColor> c(9);
    int n = 9;
    make_color_ramp(nullptr, 0, 0, 1, 1, 200, 1, 1, c.data(), &n, True, False, False);
    EXPECT_EQ(n, 9);
    for (int i = 0; i < 5; i++) EXPECT_SAME_RGB(c[i], hsvColor(40 * i, 1, 1)) << i;
    for (int i = 5; i < 9; i++) EXPECT_SAME_RGB(c[i], c[9 - i]) << i;

    // an even count: 6 computed, then entries 4 ... 1
    std::vector<XColor> d(10);
    n = 10;
    make_color_ramp(nullptr, 0, 0, 1, 1, 300, 1, 1, d.data(), &n, True, False, False);
    for (int i = 0; i < 6; i++) EXPECT_SAME_RGB(d[i], hsvColor(50 * i, 1, 1)) << i;
    for (int i = 6; i < 10; i++) EXPECT_SAME_RGB(d[i], d[10 - i]) << i;
}

TEST_F(Colors, EmptyRampWritesNothing) {
    XColor guard[2];
    memset(guard, 0xAB, sizeof guard);
    for (int count : {0, -3}) {
        int n = count;
        make_color_ramp(nullptr, 0, 0, 1, 1, 100, 1, 1, guard, &n, True, True, False);
        EXPECT_EQ(n, count);
    }
    EXPECT_EQ(guard[0].red, 0xABAB);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(Colors, AllocatedRampGetsPixelsOfItsColours) {
    std::vector<XColor> c(12);
    int n = 12;
    std::string err = captureStderr(
        [&] { make_color_ramp(nullptr, 0, 10, 0.5, 0.9, 250, 1, 0.3, c.data(), &n, False, True, False); });
    EXPECT_EQ(err, "");
    ASSERT_EQ(n, 12);
    for (int i = 0; i < 12; i++) {
        unsigned long want = 0xFF000000ul | (c[i].red >> 8) << 16 | (c[i].green >> 8) << 8 | (c[i].blue >> 8);
        EXPECT_EQ(c[i].pixel, want) << i;
    }
    EXPECT_EQ(attempts(), std::vector<int>{12});
}

TEST_F(Colors, FailingRampStepsItsCountDownToNothing) {
    g_verdict = [](colors_test_op, int, int) { return COLORS_HOOK_FAIL; };
    std::vector<XColor> c(200);
    int n = 200;
    std::string err = captureStderr(
        [&] { make_color_ramp(nullptr, 0, 0, 1, 1, 359, 1, 1, c.data(), &n, False, True, False); });
    const std::vector<int> want = {200, 180, 160, 150, 140, 130, 120, 110, 100, 95, 90, 85, 80, 75,
                                   72,  69,  66,  63,  60,  57,  54,  51,  48,  45, 42, 39, 36, 33,
                                   30,  27,  24,  22,  20,  18,  16,  14,  12,  10, 9,  8,  7,  6,
                                   5,   4,   3,   2};
    EXPECT_EQ(attempts(), want);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(err, std::string(progname) + ": wanted 200 colors; got 0.\n");
}

TEST_F(Colors, RampSettlesOnTheFirstCountThatFits) {
    // a failure part-way through an attempt also counts
    g_verdict = [](colors_test_op, int count, int index) {
        return count > 100 && index == 37 ? COLORS_HOOK_FAIL : COLORS_HOOK_PASS;
    };
    std::vector<XColor> c(200);
    int n = 200;
    std::string err = captureStderr(
        [&] { make_color_ramp(nullptr, 0, 0, 1, 1, 359, 1, 1, c.data(), &n, True, True, False); });
    EXPECT_EQ(n, 100);
    EXPECT_EQ(attempts(), (std::vector<int>{200, 180, 160, 150, 140, 130, 120, 110, 100}));
    EXPECT_EQ(err, std::string(progname) + ": wanted 200 colors; got 100.\n");
    // the closed ramp was recomputed for 100: 51 up, then back down
    EXPECT_SAME_RGB(c[99], c[1]);
    EXPECT_SAME_RGB(c[50], hsvColor(int(359.0 / 51 * 50), 1, 1));
    EXPECT_NE(c[99].pixel, 0u);
}

TEST_F(Colors, WritableRampWithoutCellsGetsNoneAndSaysNothing) {
    std::vector<XColor> c(40);
    int n = 40;
    std::string err = captureStderr(
        [&] { make_color_ramp(display(), 0, 0, 1, 1, 359, 1, 1, c.data(), &n, False, True, True); });
    EXPECT_EQ(n, 0);
    EXPECT_EQ(err, "");
    EXPECT_EQ(cellRequests(), (std::vector<int>{40, 37, 34, 31, 28, 25, 23, 21, 19, 17, 15, 13, 11, 9, 8, 7,
                                                6, 5, 4, 3, 2}));
}

TEST_F(Colors, WritableRampStoresItsColoursInTheCellsGot) {
    std::vector<HookCall> stores;
    g_verdict = [&](colors_test_op op, int count, int index) {
        if (op == COLORS_OP_STORE) stores.push_back({op, count, index});
        return COLORS_HOOK_SUCCEED;
    };
    std::vector<XColor> c(8);
    int n = 8;
    make_color_ramp(nullptr, 0, 0, 1, 1, 359, 1, 1, c.data(), &n, False, True, True);
    EXPECT_EQ(n, 8);
    for (int i = 0; i < 8; i++) EXPECT_EQ(c[i].pixel, unsigned(i + 1));
    ASSERT_EQ(stores.size(), 1u);
    EXPECT_EQ(stores[0].count, 8);

    // the emulation's cells cannot be stored into
    g_verdict = [](colors_test_op op, int, int) {
        return op == COLORS_OP_STORE ? COLORS_HOOK_PASS : COLORS_HOOK_SUCCEED;
    };
    n = 8;
    EXPECT_EQ(abortReason([&] {
                  make_color_ramp(display(), 0, 0, 1, 1, 359, 1, 1, c.data(), &n, False, True, True);
              }),
              "XStoreColors called");
}

// ------------------------------------------------------------------ paths

TEST_F(Colors, PathSharesColoursOutByLength) {
    const int h[3] = {0, 120, 240};
    const double s[3] = {1, 1, 1}, v[3] = {1, 1, 1};
    std::vector<XColor> c(30);
    int n = 30;
    make_color_path(nullptr, 0, 3, h, s, v, c.data(), &n, False, False);
    EXPECT_EQ(n, 30);
    for (int i = 0; i < 30; i++) EXPECT_SAME_RGB(c[i], hsvColor(12 * i, 1, 1)) << i;

    // unequal segments: 0 -> 60 -> 180 -> back, lengths 1 : 2 : 3
    const int h2[3] = {0, 60, 180};
    n = 30;
    make_color_path(nullptr, 0, 3, h2, s, v, c.data(), &n, False, False);
    EXPECT_EQ(n, 30);
    EXPECT_SAME_RGB(c[4], hsvColor(48, 1, 1));    // segment 0: 5 colours, 12 degrees apart
    EXPECT_SAME_RGB(c[5], hsvColor(60, 1, 1));    // segment 1 starts at its point
    EXPECT_SAME_RGB(c[15], hsvColor(180, 1, 1));  // segment 2: 15 colours,
    EXPECT_SAME_RGB(c[29], hsvColor(12, 1, 1));   // half a turn taken downwards
}

TEST_F(Colors, PathTakesTheShorterWayRound) {
    const double s[3] = {1, 1, 1}, v[3] = {1, 1, 1};
    std::vector<XColor> c(360);
    // truncated sums of steps may land a degree short
    auto hueNear = [&](int i, int h) {
        for (int d : {0, -1, 1})
            if (sameRgb(c[i], hsvColor((h + d + 360) % 360, 1, 1))) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "entry " << i << " is not near hue " << h;
    };
    // 350 -> 10 crosses 0 upwards: 20 colours a degree apart
    const int up[3] = {350, 10, 180};
    int n = 360;
    make_color_path(nullptr, 0, 3, up, s, v, c.data(), &n, False, False);
    ASSERT_EQ(n, 360);
    for (int i : {0, 5, 9, 10, 15, 19, 20}) EXPECT_TRUE(hueNear(i, (350 + i) % 360));
    // 10 -> 350 goes down through 0 and on from 359
    const int down[3] = {10, 350, 180};
    n = 360;
    make_color_path(nullptr, 0, 3, down, s, v, c.data(), &n, False, False);
    ASSERT_EQ(n, 360);
    for (int i : {0, 5, 10, 11, 15, 19, 20}) EXPECT_TRUE(hueNear(i, (370 - i) % 360));
    // and 350 -> 180 carries on downwards
    EXPECT_TRUE(hueNear(30, 340));
}

TEST_F(Colors, PathOfOnePlaceHasNoColours) {
    const int h[4] = {200, 200, 200, 200};
    const double s[4] = {0.5, 0.5, 0.5, 0.5}, v[4] = {0.7, 0.7, 0.7, 0.7};
    std::vector<XColor> c(64);
    for (Bool alloc : {False, True}) {
        int n = 64;
        make_color_path(nullptr, 0, 4, h, s, v, c.data(), &n, alloc, False);
        EXPECT_EQ(n, 0);
    }
    EXPECT_TRUE(attempts().empty());
    int n = 5;
    make_color_path(nullptr, 0, 0, h, s, v, c.data(), &n, True, False);
    EXPECT_EQ(n, 0);
}

TEST_F(Colors, TwoPointPathIsAClosedRamp) {
    const int h[2] = {30, 270};
    const double s[2] = {0.2, 0.9}, v[2] = {1.0, 0.5};
    std::vector<XColor> a(17), b(17);
    int na = 17, nb = 17;
    make_color_path(nullptr, 0, 2, h, s, v, a.data(), &na, False, False);
    make_color_ramp(nullptr, 0, 30, 0.2, 1.0, 270, 0.9, 0.5, b.data(), &nb, True, False, False);
    EXPECT_EQ(na, nb);
    for (int i = 0; i < 17; i++) EXPECT_SAME_RGB(a[i], b[i]) << i;
}

TEST_F(Colors, LoopIsAPathThroughItsThreePoints) {
    const int h[3] = {15, 140, 275};
    const double s[3] = {0.3, 0.8, 1.0}, v[3] = {0.9, 0.4, 0.7};
    std::vector<XColor> a(50), b(50);
    int na = 50, nb = 50;
    make_color_path(nullptr, 0, 3, h, s, v, a.data(), &na, False, False);
    make_color_loop(nullptr, 0, 15, 0.3, 0.9, 140, 0.8, 0.4, 275, 1.0, 0.7, b.data(), &nb, False, False);
    ASSERT_EQ(na, nb);
    EXPECT_GT(na, 45);
    for (int i = 0; i < na; i++) EXPECT_SAME_RGB(a[i], b[i]) << i;
}

TEST_F(Colors, PathUsesAtMost49Points) {
    std::vector<int> h(60);
    std::vector<double> s(60), v(60);
    for (int i = 0; i < 60; i++) {
        h[i] = i < 49 ? (i * 7) % 360 : 180;
        s[i] = i < 49 ? 0.5 + 0.01 * i : 0.0;
        v[i] = i < 49 ? 1.0 - 0.01 * i : 0.0;
    }
    std::vector<XColor> a(300), b(300);
    int na = 300, nb = 300;
    make_color_path(nullptr, 0, 60, h.data(), s.data(), v.data(), a.data(), &na, False, False);
    make_color_path(nullptr, 0, 49, h.data(), s.data(), v.data(), b.data(), &nb, False, False);
    ASSERT_EQ(na, nb);
    for (int i = 0; i < na; i++) EXPECT_SAME_RGB(a[i], b[i]) << i;
}

TEST_F(Colors, PathTruncationShrinksTheCountAndRetriesOnFailure) {
    // three equal segments of 10 colours share 32 into 10 + 10 + 10
    const int h[3] = {0, 120, 240};
    const double s[3] = {1, 1, 1}, v[3] = {1, 1, 1};
    std::vector<XColor> c(32);
    int n = 32;
    make_color_path(nullptr, 0, 3, h, s, v, c.data(), &n, False, False);
    EXPECT_EQ(n, 30);

    g_verdict = [](colors_test_op, int count, int) {
        return count > 25 ? COLORS_HOOK_FAIL : COLORS_HOOK_PASS;
    };
    n = 32;
    std::string err = captureStderr([&] { make_color_path(nullptr, 0, 3, h, s, v, c.data(), &n, True, False); });
    // 32 fills 30; 30 fails -> 27 fills 27; fails -> 24 fills 24 and fits
    EXPECT_EQ(attempts(), (std::vector<int>{30, 27, 24}));
    EXPECT_EQ(n, 24);
    EXPECT_EQ(err, "");  // the path itself reports nothing
    EXPECT_SAME_RGB(c[8], hsvColor(120, 1, 1));
}

TEST_F(Colors, PathWithANaNPointIsFatal) {
    const int h[3] = {0, 120, 240};
    const double s[3] = {1, NAN, 1}, v[3] = {1, 1, 1};
    std::vector<XColor> c(10);
    int n = 10;
    EXPECT_EQ(abortReason([&] { make_color_path(nullptr, 0, 3, h, s, v, c.data(), &n, False, False); }),
              "abort in make_color_path:304");
}

// --------------------------------------------------------- writable cells

TEST_F(Colors, WritableCellRequestsHalveUntilTheyFit) {
    g_verdict = [](colors_test_op, int count, int) {
        return count <= 30 ? COLORS_HOOK_SUCCEED : COLORS_HOOK_FAIL;
    };
    std::vector<unsigned long> px(100);
    int n = 100;
    allocate_writable_colors(nullptr, 0, px.data(), &n);
    EXPECT_EQ(n, 100);
    EXPECT_EQ(cellRequests(), (std::vector<int>{100, 50, 25, 25, 25, 25}));
    for (int i = 0; i < 100; i++) EXPECT_EQ(px[i], unsigned(i + 1));

    // the last request is capped by what is missing
    g_calls.clear();
    g_verdict = [](colors_test_op, int count, int) {
        return count <= 16 ? COLORS_HOOK_SUCCEED : COLORS_HOOK_FAIL;
    };
    n = 45;
    allocate_writable_colors(nullptr, 0, px.data(), &n);
    EXPECT_EQ(cellRequests(), (std::vector<int>{45, 22, 11, 11, 11, 11, 1}));
    EXPECT_EQ(n, 45);

    // a failure after successes halves again, down to nothing
    g_calls.clear();
    g_verdict = [](colors_test_op, int count, int index) {
        return count <= 16 && index < 30 ? COLORS_HOOK_SUCCEED : COLORS_HOOK_FAIL;
    };
    n = 45;
    allocate_writable_colors(nullptr, 0, px.data(), &n);
    EXPECT_EQ(cellRequests(), (std::vector<int>{45, 22, 11, 11, 11, 11, 5, 2, 1}));
    EXPECT_EQ(n, 33);

    g_verdict = nullptr;
    n = 64;
    allocate_writable_colors(display(), 0, px.data(), &n);  // real cells: never any
    EXPECT_EQ(n, 0);
}

// ------------------------------------------------------------- random maps

TEST_F(Colors, RandomMapDrawsRedGreenBlueInOrder) {
    const int N = 3000;
    auto mine = fromSnapshot([&] {
        std::vector<XColor> c(N);
        int n = N;
        Bool w = False;
        make_random_colormap(nullptr, nullptr, 0, c.data(), &n, False, False, &w, False);
        return flatten(c, n);
    });
    auto expected = fromSnapshot([&] {
        std::vector<uint32_t> out;
        for (int i = 0; i < N; i++) {
            uint32_t r = ya_random() % 65535, g = ya_random() % 65535, b = ya_random() % 65535;
            out.insert(out.end(), {r, g, b, 7u, 0u});
        }
        return out;
    });
    ASSERT_EQ(mine.size(), size_t(N * 5));
    EXPECT_EQ(mine, expected);
    for (int i = 0; i < N * 5; i += 5)
        for (int k = 0; k < 3; k++) ASSERT_NE(mine[i + k], 65535u);
}

TEST_F(Colors, BrightRandomMapKeepsToItsRanges) {
    const int N = 2000;
    auto mine = fromSnapshot([&] {
        std::vector<XColor> c(N);
        int n = N;
        Bool w = False;
        make_random_colormap(nullptr, nullptr, 0, c.data(), &n, True, False, &w, False);
        return flatten(c, n);
    });
    auto expected = fromSnapshot([&] {
        std::vector<uint32_t> out;
        for (int i = 0; i < N; i++) {
            int h = ya_random() % 360;
            double s = (ya_random() % 70 + 30) / 100.0;
            double v = (ya_random() % 34 + 66) / 100.0;
            XColor c = hsvColor(h, s, v);
            out.insert(out.end(), {c.red, c.green, c.blue, 7u, 0u});
        }
        return out;
    });
    EXPECT_EQ(mine, expected);
}

TEST_F(Colors, RandomMapKeepsWhatItGotAndReportsLargeShortfalls) {
    for (int failAt : {55, 54}) {
        g_verdict = [failAt](colors_test_op, int, int index) {
            return index == failAt ? COLORS_HOOK_FAIL : COLORS_HOOK_PASS;
        };
        std::vector<XColor> c(64);
        int n = 64;
        Bool w = False;
        std::string err = captureStderr(
            [&] { make_random_colormap(nullptr, nullptr, 0, c.data(), &n, True, True, &w, True); });
        EXPECT_EQ(n, failAt);
        EXPECT_NE(c[failAt - 1].pixel, 0u);
        EXPECT_EQ(c[failAt].pixel, 0u);
        if (failAt == 55)
            EXPECT_EQ(err, "");
        else
            EXPECT_EQ(err, std::string(progname) + ": wanted 64 colors; got 54.\n");
    }
    // not verbose: silent
    g_verdict = [](colors_test_op, int, int) { return COLORS_HOOK_FAIL; };
    std::vector<XColor> c(64);
    int n = 64;
    Bool w = False;
    EXPECT_EQ(captureStderr([&] { make_random_colormap(nullptr, nullptr, 0, c.data(), &n, False, True, &w, False); }),
              "");
    EXPECT_EQ(n, 0);
}

TEST_F(Colors, WritableWishesFallBackToReadOnlyColours) {
    Display *dpy = display();
    Visual *vis = XDefaultVisualOfScreen(XDefaultScreenOfDisplay(dpy));
    using Maker = std::function<void(XColor *, int *, Bool *)>;
    const Maker makers[] = {
        [&](XColor *c, int *n, Bool *w) { make_random_colormap(dpy, vis, 0, c, n, False, True, w, True); },
        [&](XColor *c, int *n, Bool *w) { make_uniform_colormap(dpy, vis, 0, c, n, True, w, True); },
        [&](XColor *c, int *n, Bool *w) { make_smooth_colormap(dpy, vis, 0, c, n, True, w, True); },
    };
    for (const Maker &make : makers) {
        g_calls.clear();
        std::vector<XColor> c(64);
        int n = 64;
        Bool w = True;
        std::string err = captureStderr([&] { make(c.data(), &n, &w); });
        EXPECT_EQ(w, False);
        EXPECT_EQ(n, 64);
        EXPECT_EQ(err, "");
        EXPECT_TRUE(cellRequests().empty());
        for (int i = 0; i < 64; i++) EXPECT_EQ(c[i].pixel >> 24, 0xFFu) << i;
    }
    // a shortfall of read-only colours when writable ones were wanted
    g_verdict = [](colors_test_op, int, int index) { return index >= 20 ? COLORS_HOOK_FAIL : COLORS_HOOK_PASS; };
    std::vector<XColor> c(64);
    int n = 64;
    Bool w = True;
    std::string err = captureStderr([&] { make_random_colormap(dpy, vis, 0, c.data(), &n, False, True, &w, True); });
    EXPECT_EQ(n, 20);
    EXPECT_EQ(err, std::string(progname) + ": wanted 64 writable colors; got 20 read-only colors.\n");
}

TEST_F(Colors, UniformMapIsARingAtOneRandomStrength) {
    const int N = 90;
    auto mine = fromSnapshot([&] {
        std::vector<XColor> c(N);
        int n = N;
        Bool w = False;
        make_uniform_colormap(nullptr, nullptr, 0, c.data(), &n, False, &w, False);
        auto out = flatten(c, n);
        out.push_back(ya_random());
        return out;
    });
    auto expected = fromSnapshot([&] {
        double s = (ya_random() % 34 + 66) / 100.0;
        double v = (ya_random() % 34 + 66) / 100.0;
        std::vector<uint32_t> out;
        for (int i = 0; i < N; i++) {
            XColor c = hsvColor(int(359.0 / N * i), s, v);
            out.insert(out.end(), {c.red, c.green, c.blue, 7u, 0u});
        }
        out.push_back(ya_random());
        return out;
    });
    EXPECT_EQ(mine, expected);

    // with nothing wanted it still takes its two draws
    auto empty = fromSnapshot([] {
        int n = 0;
        Bool w = False;
        make_uniform_colormap(nullptr, nullptr, 0, nullptr, &n, True, &w, False);
        return std::vector<uint32_t>{uint32_t(n), ya_random()};
    });
    auto skipped = fromSnapshot([] {
        ya_random();
        ya_random();
        return std::vector<uint32_t>{0u, ya_random()};
    });
    EXPECT_EQ(empty, skipped);
}

TEST_F(Colors, SmoothMapIsReproducibleAndChangesGradually) {
    const int N = 1000;
    auto run = [&] {
        return fromSnapshot([&] {
            std::vector<XColor> c(N);
            int n = N;
            Bool w = False;
            make_smooth_colormap(nullptr, nullptr, 0, c.data(), &n, False, &w, False);
            return flatten(c, n);
        });
    };
    auto a = run(), b = run();
    EXPECT_EQ(a, b);
    ASSERT_GT(a.size(), size_t(N * 5 * 9 / 10));  // truncation loses a few at most
    size_t n = a.size() / 5;
    for (size_t i = 1; i < n; i++)
        for (int k = 0; k < 3; k++)
            EXPECT_LT(std::abs(int(a[i * 5 + k]) - int(a[(i - 1) * 5 + k])), 4000) << i;

    // nothing wanted: no draws at all
    auto empty = fromSnapshot([] {
        int n = 0;
        Bool w = False;
        make_smooth_colormap(nullptr, nullptr, 0, nullptr, &n, True, &w, False);
        make_random_colormap(nullptr, nullptr, 0, nullptr, &n, True, True, &w, False);
        return std::vector<uint32_t>{uint32_t(n), ya_random()};
    });
    auto untouched = fromSnapshot([] { return std::vector<uint32_t>{0u, ya_random()}; });
    EXPECT_EQ(empty, untouched);
}

TEST_F(Colors, SmoothMapGivesUpOnAGeneratorStuckAtZero) {
    // Every draw 0: the two points always coincide and are drawn again.
    ya_rand_state zero{};
    ya_rand_set_state(&zero);
    std::vector<XColor> c(16);
    int n = 16;
    Bool w = False;
    EXPECT_EQ(abortReason([&] { make_smooth_colormap(nullptr, nullptr, 0, c.data(), &n, False, &w, False); }),
              "abort in make_smooth_colormap:494");
    ya_rand_set_state(&g_snapshot);
}

// ------------------------------------------------------- rotation and free

TEST_F(Colors, RotationMovesColoursAndKeepsPixels) {
    std::vector<HookCall> stores;
    g_verdict = [&](colors_test_op op, int count, int index) {
        if (op == COLORS_OP_STORE) stores.push_back({op, count, index});
        return COLORS_HOOK_SUCCEED;
    };
    auto make = [] {
        std::vector<XColor> c(5);
        for (int i = 0; i < 5; i++) {
            c[i].pixel = 100 + i;
            c[i].red = c[i].green = c[i].blue = uint16_t(1000 * i);
            c[i].flags = 7;
        }
        return c;
    };
    for (int distance : {2, -1, 7, -13, 5}) {
        std::vector<XColor> c = make();
        rotate_colors(display(), 0, c.data(), 5, distance);
        for (int i = 0; i < 5; i++) {
            int from = ((i - distance) % 5 + 5) % 5;
            EXPECT_EQ(c[i].pixel, unsigned(100 + i));
            EXPECT_EQ(c[i].red, 1000 * from) << "distance " << distance << " entry " << i;
            EXPECT_EQ(c[i].blue, 1000 * from);
        }
    }
    EXPECT_EQ(stores.size(), 5u);

    // fewer than two: nothing, not even a store
    stores.clear();
    std::vector<XColor> one = make();
    rotate_colors(display(), 0, one.data(), 1, 3);
    EXPECT_TRUE(stores.empty());
    EXPECT_EQ(one[0].red, 0);

    // the emulation has no cells to store into; the caller's array stays
    g_verdict = nullptr;
    std::vector<XColor> c = make();
    EXPECT_EQ(abortReason([&] { rotate_colors(display(), 0, c.data(), 5, 1); }), "XStoreColors called");
    EXPECT_EQ(c[1].red, 1000);
}
