// The frame-rate meter: measurement against an injected clock, the exact
// texts, and where the text lands on a 2D window (pixels read back).
#include "tests/support/in_program_saver.h"

#include "framework/somnel_view.h"
#include "somnel/somnel_function_table.h"
#include "platform/geometry.h"
#include "platform/clock.h"
#include "platform/value.h"

#include <QImage>

#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "platform/context2d.h"
#include "xshim/xshim_view.h"
#include "somnel/fps.h"
#include "somnel/glxfonts.h"

using testsupport::captureStderr;

// A saver living in this program gives the meter its resources; a test
// stores other values over its defaults.
namespace {
const char *const meter_defaults[] = {".foreground: white", ".background: red", nullptr};
}  // namespace
SOMNEL_TEST_SAVER(meter, "Meter", meter_defaults)

namespace {

// The clock the meter reads, and how often it was read.
double g_now = 0;
int g_reads = 0;

class Clocked : public ::testing::Test {
protected:
    void SetUp() override {
        g_now = 1000.25;
        g_reads = 0;
        platform::setClockSource([] {
            g_reads++;
            return g_now;
        });
        strcpy(st.text, "FPS: ... ");
    }
    void TearDown() override { platform::setClockSource({}); }

    // A meter whose last measurement was at `at`, frames counted since.
    void measuredAt(double at, int frames, unsigned long slept = 0) {
        st.prev_frame_end.tv_sec = time_t(at);
        st.prev_frame_end.tv_usec = suseconds_t((at - double(time_t(at))) * 1e6 + 0.5);
        st.frame_count = frames;
        st.slept_usecs = slept;
    }
    std::string text() const { return st.text; }

    fps_state st{};
};

TEST_F(Clocked, TheFirstReadingOnlyStartsTheClock) {
    EXPECT_EQ(fps_compute(&st, 0, -1), 0.0);
    EXPECT_EQ(text(), "FPS: ... ");
    EXPECT_EQ(g_reads, 1);
    EXPECT_EQ(st.prev_frame_end.tv_sec, 1000);
    EXPECT_EQ(st.prev_frame_end.tv_usec, 250000);
    // Until the clock's seconds change, nothing is measured.
    g_now = 1000.9;
    EXPECT_EQ(fps_compute(&st, 0, -1), 0.0);
    EXPECT_EQ(text(), "FPS: ... ");
    // Three frames in the 1.0 s from the first reading.
    g_now = 1001.25;
    EXPECT_DOUBLE_EQ(fps_compute(&st, 0, -1), 3.0);
    EXPECT_EQ(text(), "FPS:  3.0 \nLoad: 100.0% ");
    EXPECT_EQ(st.last_whole_fps, 3);
    EXPECT_EQ(st.frame_count, 0);
    EXPECT_EQ(fps_compute(nullptr, 0, -1), 0.0);
}

TEST_F(Clocked, TheClockIsReadOncePerLastWholeRateFrames) {
    measuredAt(998.0, 59);
    g_now = 1000.0;
    EXPECT_DOUBLE_EQ(fps_compute(&st, 0, -1), 30.0);  // 60 frames in 2 s
    ASSERT_EQ(st.last_whole_fps, 30);
    int reads = g_reads;
    g_now = 1001.0;
    for (int i = 0; i < 30; i++) EXPECT_DOUBLE_EQ(fps_compute(&st, 0, -1), 30.0) << i;
    EXPECT_EQ(g_reads, reads) << "no reading for the 30 frames after a measurement";
    g_now = 1001.5;  // the 31st frame reads the clock: 31 frames in 1.5 s
    EXPECT_NEAR(fps_compute(&st, 0, -1), 31 / 1.5, 1e-9);
    EXPECT_EQ(g_reads, reads + 1);
    EXPECT_EQ(st.last_whole_fps, 20);
}

TEST_F(Clocked, RateLoadPolygonsAndDepthTexts) {
    struct Case {
        unsigned long polys;
        double depth;
        const char *text;
    } cases[] = {
        {0, -1, "FPS:  30.0 \nLoad: 50.0% "},
        {999, -1, "FPS:   30.0 \nLoad:  50.0% \nPolys: 999 "},
        {1000, -1, "FPS:   30.0 \nLoad:  50.0% \nPolys: 1,000 "},
        {1234567, -1, "FPS:   30.0 \nLoad:  50.0% \nPolys: 1,234,567 "},
        {1000000, -1, "FPS:   30.0 \nLoad:  50.0% \nPolys: 1,000,000 "},
        {0, 3, "FPS:  30.0 \nLoad: 50.0% \nDepth: 3"},
        {0, 2.5, "FPS:  30.0 \nLoad: 50.0% \nDepth: 2.5"},
        {0, 0, "FPS:  30.0 \nLoad: 50.0% \nDepth: 0"},
        {0, 9.96, "FPS:  30.0 \nLoad: 50.0% \nDepth: 10"},
        {12, 2.5, "FPS:   30.0 \nLoad:  50.0% \nPolys: 12 \nDepth: 2.5"},
    };
    for (const Case &c : cases) {
        measuredAt(998.0, 59, 1000000);  // 60 frames in 2 s, asleep for half
        g_now = 1000.0;
        fps_compute(&st, c.polys, c.depth);
        EXPECT_EQ(text(), c.text);
        EXPECT_EQ(st.slept_usecs, 0u);
    }
}

TEST_F(Clocked, OversleepingShowsNoNegativeLoad) {
    measuredAt(999.0, 9, 5000000);
    g_now = 1000.0;
    fps_compute(&st, 0, -1);
    EXPECT_EQ(text(), "FPS:  10.0 \nLoad: 0.0% ");
    fps_slept(&st, 100);
    fps_slept(&st, 250);
    EXPECT_EQ(st.slept_usecs, 350u);
    fps_slept(nullptr, 5);
}

// ---------------------------------------------------------------- drawing

const int W = 240, H = 160;

using testsupport::Box;
using testsupport::find;
bool white(QRgb p) { return qRed(p) > 128 && qGreen(p) > 128 && qBlue(p) > 128; }

class Drawn : public testsupport::InProgramSaver {
protected:
    void SetUp() override {
        ASSERT_TRUE(makeView("Meter", W, H));
        setResource("doFPS", true);
    }
    void TearDown() override {
        if (st) fps_free(st);
        InProgramSaver::TearDown();
    }
    const XCharStruct &metrics(unsigned char c) {
        return st->font->per_char[c - st->font->min_char_or_byte2];
    }

    fps_state *st = nullptr;
};

TEST_F(Drawn, InitReadsItsResources) {
    makeDisplay();
    setResource("doFPS", false);
    EXPECT_EQ(fps_init(dpy, XRootWindow(dpy, 0)), nullptr);
    setResource("doFPS", true);
    st = fps_init(dpy, XRootWindow(dpy, 0));
    ASSERT_NE(st, nullptr);
    EXPECT_EQ(st->x, 10);
    EXPECT_EQ(st->y, 10);
    EXPECT_STREQ(st->text, "FPS: ... ");
    EXPECT_FALSE(st->solid_background);
    ASSERT_NE(st->font, nullptr);
    EXPECT_NE(st->text_gc, nullptr);
    EXPECT_NE(st->background_gc, nullptr);
    EXPECT_EQ(st->texture_font, nullptr);
    fps_free(st);

    setResource("fpsTop", true);
    setResource("fpsSolid", true);
    setResource("fpsFont", std::string("NoSuchFont 18"));  // falls back to "fixed"
    st = fps_init(dpy, XRootWindow(dpy, 0));
    ASSERT_NE(st->font, nullptr);
    EXPECT_EQ(st->y, -10 - st->font->descent);
    EXPECT_TRUE(st->solid_background);
}

TEST_F(Drawn, TwoDTextSitsTenPixelsFromTheBottomOrTheTop) {
    makeDisplay();
    for (bool top : {false, true}) {
        SCOPED_TRACE(top ? "fpsTop" : "bottom");
        setResource("fpsTop", top);
        if (st) fps_free(st);
        st = fps_init(dpy, XRootWindow(dpy, 0));
        XClearWindow(dpy, XRootWindow(dpy, 0));
        strcpy(st->text, "My\nMy");
        fps_draw(st);
        Box b = find(view->graphicsContext()->image(), white);
        ASSERT_FALSE(b.empty());
        const int lh = st->font->ascent + st->font->descent;
        const XCharStruct &M = metrics('M'), &y = metrics('y');
        // First and last baselines (rows from the top).
        int first = top ? 10 + st->font->ascent : H - 10 - st->font->descent - lh;
        int last = first + lh;
        EXPECT_NEAR(b.x0, 10 + M.lbearing, 1);
        EXPECT_NEAR(b.y0, first - M.ascent, 1);
        EXPECT_NEAR(b.y1 + 1, last + y.descent, 1);
        if (top) EXPECT_GE(b.y0, 10) << "the first line is whole, below the margin";
        else EXPECT_LE(b.y1, H - 10) << "the last line's descent ends above the margin";
    }
}

TEST_F(Drawn, SolidBackgroundBoxAroundTheText) {
    setResource("fpsSolid", true);
    makeDisplay();
    st = fps_init(dpy, XRootWindow(dpy, 0));
    XClearWindow(dpy, XRootWindow(dpy, 0));
    strcpy(st->text, "MMM\nM");
    fps_draw(st);
    Box red = find(view->graphicsContext()->image(), [](QRgb p) { return qRed(p) > 200 && qGreen(p) < 60; });
    ASSERT_FALSE(red.empty());
    const int d = st->font->descent, lh = st->font->ascent + d;
    const int first = H - 10 - d - lh;
    EXPECT_EQ(red.x0, 10 - d);
    EXPECT_EQ(red.x1 + 1, 10 - d + string_width(st->font, "MMM", nullptr) + 2 * d);
    EXPECT_EQ(red.y0, first - lh);
    EXPECT_EQ(red.y1 + 1, first - lh + 2 * lh + 2 * d);
}

TEST_F(Drawn, DefaultCallbackMeasuresThenDraws) {
    makeDisplay();
    st = fps_init(dpy, XRootWindow(dpy, 0));
    platform::setClockSource([] { return 500.5; });
    screenhack_do_fps(dpy, XRootWindow(dpy, 0), st, nullptr);
    platform::setClockSource({});
    EXPECT_EQ(st->frame_count, 1);
    EXPECT_FALSE(find(view->graphicsContext()->image(), white).empty()) << "FPS: ... is shown";
}

}  // namespace
