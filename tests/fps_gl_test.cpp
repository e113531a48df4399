// The FPS meter of GL mode-table hacks: the callback that adopts the meter
// and builds its texture font, the text drawn in GL with its outline, and a
// whole GL hack run by the GL saver view with "doFPS" on (frames read back).
#include "tests/support/in_program_saver.h"

#include "framework/somnel_gl_view.h"
#include "platform/geometry.h"
#include "platform/clock.h"
#include "platform/value.h"
#include "platform/gl.h"

#include <QImage>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "xshim/xshim_view.h"
#include "somnel/fps_gl.h"
#include "somnel/glxfonts.h"
#include "somnel/modehost.h"
#include "somnel/xshim_glx.h"

// A saver living in this program gives the meter its resources.
namespace {
const char *const meter_defaults[] = {".foreground: white", ".background: black", nullptr};
}  // namespace
SOMNEL_TEST_SAVER(meter, "Meter", meter_defaults)

namespace {

double g_now = 0;
const int W = 240, H = 160;

using testsupport::Box;
using testsupport::find;
bool white(QRgb p) { return qRed(p) > 200 && qGreen(p) > 200 && qBlue(p) > 200; }

// The GL path: a mode record, an off-screen context, pixels read back.
class GLDrawn : public testsupport::InProgramSaver {
protected:
    void SetUp() override {
        ASSERT_TRUE(makeView("Meter", W, H));
        setResource("doFPS", true);
        ASSERT_TRUE(makeGLContext());
        makeDisplay();
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        mi.display = dpy;
        mi.window = XRootWindow(dpy, 0);
        mi.depth = -1.0;
    }
    void TearDown() override {
        if (st) fps_free(st);  // with the GL meter's texture font
        InProgramSaver::TearDown();
    }
    fps_state *st = nullptr;
    ModeRecord mi{};
};

TEST_F(GLDrawn, FirstCallAdoptsTheMeterAndBuildsItsFont) {
    st = fps_init(dpy, mi.window);
    modehost_gl_draw_fps(&mi);  // no meter yet: nothing drawn
    EXPECT_TRUE(find(ctx->readPixels(), white).empty());

    mi.polygon_count = 1234;
    mi.depth = 2.5;
    platform::setClockSource([] { return g_now; });
    g_now = 100.0;
    modehost_gl_compute_fps(dpy, mi.window, st, &mi);
    EXPECT_EQ(st->last_fps, 0.0);
    EXPECT_EQ(mi.fps_meter, st);
    ASSERT_NE(st->texture_font, nullptr);
    TextureFont *tf = st->texture_font;
    g_now = 101.0;
    modehost_gl_compute_fps(dpy, mi.window, st, &mi);
    EXPECT_DOUBLE_EQ(st->last_fps, 2.0);
    platform::setClockSource({});
    EXPECT_EQ(st->texture_font, tf) << "the font is built once";
    EXPECT_STREQ(st->text, "FPS:   2.0 \nLoad:  100.0% \nPolys: 1,234 \nDepth: 2.5");
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// ------------------------------------------------------ a whole GL hack

// A mode-table GL hack: a blue frame with a grey square, its polygon count
// shown by the meter, drawn before the buffers are swapped.
void glmeter_init(ModeRecord *mi) { xshim_init_GL(mi->display, mi->window); }
void glmeter_draw(ModeRecord *mi) {
    const int w = mi->window_attributes.width, h = mi->window_attributes.height;
    glViewport(0, 0, w, h);
    glClearColor(0.1f, 0.2f, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    glColor3f(0.6f, 0.6f, 0.6f);
    glRectf(-0.2f, -0.2f, 0.2f, 0.2f);
    mi->polygon_count = 1234567;
    modehost_gl_draw_fps(mi);
    glXSwapBuffers(mi->display, mi->window);
}
modehost_function_table glmeter_mode = {
    "GLMeter", "*delay: 20000\n", False, ModeColorsRandom, glmeter_init, glmeter_draw,
    nullptr,   nullptr,            nullptr, nullptr,       nullptr};

}  // namespace

extern "C" {
SOMNEL_EXPORT_SYMBOL somnel_function_table glmeter_somnel_function_table = {
    nullptr, nullptr, nullptr, modehost_setup, &glmeter_mode, nullptr, nullptr, nullptr, nullptr, nullptr,
    modehost_gl_compute_fps, nullptr, nullptr};
}

namespace {

class GLHack : public ::testing::Test {
protected:
    void SetUp() override {
        view = SomnelGLView::create(platform::Rect::make(0, 0, W, H), nullptr, false,
                                    testsupport::inProcessBundle(dir, "GLMeter"));
        ASSERT_TRUE(view);
        g_now = 2000.0;
        platform::setClockSource([] { return g_now; });
    }
    void TearDown() override {
        for (const char *key : {"doFPS", "fpsTop"}) view->prefsReader()->userDefaults()->removeObjectForKey(key);
        if (view->isAnimating()) view->stopAnimation();
        view->dealloc();
        platform::setClockSource({});
    }
    // Runs n frames 1/20 s apart and returns the last one.
    QImage run(int n) {
        const double start = g_now;
        view->startAnimation();
        for (int i = 0; i < n; i++) {
            g_now = start + i / 20.0;
            view->animateOneFrame();
        }
        g_now = start + n / 20.0 + 10;
        return view->grabFrame();
    }
    // Saves a frame for a person to look at, when SOMNEL_LOOK_DIR names a folder.
    static void keep(const QImage &img, const char *name) {
        if (const char *d = getenv("SOMNEL_LOOK_DIR")) img.save(QString(d) + "/" + name);
    }

    testsupport::TempDir dir;
    std::unique_ptr<SomnelGLView> view;
};

TEST_F(GLHack, MeterShowsOverTheAnimationInTheChosenCorner) {
    for (bool top : {false, true}) {
        SCOPED_TRACE(top ? "fpsTop" : "bottom");
        view->prefsReader()->userDefaults()->setObject("doFPS", true);
        view->prefsReader()->userDefaults()->setObject("fpsTop", top);
        QImage img = run(50);  // 2.5 s of frames
        fps_state *st = view->fpsState();
        ASSERT_NE(st, nullptr);
        ASSERT_NE(st->texture_font, nullptr);
        // The second measurement: 22 frames in 1.1 s.
        std::string text = st->text;
        EXPECT_EQ(text.rfind("FPS:   20.0 \nLoad:  ", 0), 0u) << text;
        EXPECT_EQ(text.substr(text.size() - 18), "\nPolys: 1,234,567 ") << text;
        keep(img, top ? "fps-top.png" : "fps-bottom.png");

        // The animation shows where the meter is not.
        EXPECT_EQ(img.pixel(W / 2, H / 2), qRgb(153, 153, 153));
        EXPECT_EQ(img.pixel(W - 2, top ? H - 2 : 1), qRgb(26, 51, 128));
        // Three lines of white text with a black outline, 10 pixels in.
        Box ink = find(img, white);
        ASSERT_FALSE(ink.empty());
        XFontStruct *f = st->font;
        const int lh = f->ascent + f->descent;
        const XCharStruct &F = f->per_char['F' - f->min_char_or_byte2];
        // Rows from the top: the first baseline.
        int first = top ? 10 + lh : H - 10 - f->descent - 2 * lh;
        EXPECT_NEAR(ink.x0, 10 + F.lbearing, 1);
        EXPECT_NEAR(ink.y0, first - F.ascent, 1);
        EXPECT_NEAR(ink.x1 + 1, 10 + string_width(f, "Polys: 1,234,567", nullptr), 3);
        EXPECT_LE(ink.y1, first + 2 * lh + f->descent);
        Box outline = find(img, [](QRgb p) { return qRed(p) < 15 && qBlue(p) < 60; });
        ASSERT_FALSE(outline.empty());
        EXPECT_NEAR(outline.x0, ink.x0 - 1, 1);
        EXPECT_NEAR(outline.y0, ink.y0 - 1, 1);
        view->stopAnimation();
    }
}

TEST_F(GLHack, WithoutDoFpsNothingIsDrawnOverTheAnimation) {
    view->prefsReader()->userDefaults()->setObject("doFPS", false);
    QImage img = run(5);
    EXPECT_EQ(view->fpsState(), nullptr);
    EXPECT_TRUE(find(img, white).empty());
}

}  // namespace
