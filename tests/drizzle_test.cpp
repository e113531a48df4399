// Drizzle through its hack callbacks: keys through the event callback, and
// the whole lifecycle (set-up, init, draw, reshape, release) driven by the
// mode layer from a GL saver view.
#include "tests/drizzle/drizzle_gl.h"

#include "framework/somnel_gl_view.h"
#include "framework/somnel_subclass.h"
#include "tests/support/test_support.h"

#include "somnel/modehost.h"
#include "somnel/yarandom.h"
#include "platform/geometry.h"
#include "platform/clock.h"
#include "platform/bundle.h"
#include "platform/gl.h"
#include "platform/view.h"

#include <QImage>

#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cmath>
#include <cstring>
#include <iterator>
#include <vector>

extern "C" {
extern somnel_function_table drizzle_somnel_function_table;
extern modehost_function_table drizzle_modehost_function_table;
void init_drizzle(ModeRecord *mi);
void draw_drizzle(ModeRecord *mi);
void reshape_drizzle(ModeRecord *mi, int width, int height);
void release_drizzle(ModeRecord *mi);
Bool drizzle_handle_event(ModeRecord *mi, XEvent *event);
}

SOMNEL_SUBCLASS(DrizzleTestView, SomnelGLView);

namespace {

using drizzletest::GLFixture;
using drizzletest::readTextureF;

XEvent key(unsigned int sym, int type = KeyPress) {
    XEvent e;
    std::memset(&e, 0, sizeof e);
    e.xkey.type = type;
    e.xkey.keycode = sym;
    return e;
}

float maxFromRest(const std::vector<float> &t) {
    float m = 0;
    for (size_t i = 0; i < t.size(); i += 4)
        for (int c = 0; c < 3; c++) m = std::max(m, std::fabs(t[i + c] - 0.5f));
    return m;
}

// Keys through the event callback on a state set up by hand in a context
// of its own (screen 0 of a one-entry array).
class DrizzleKeys : public GLFixture {
protected:
    void SetUp() override {
        GLFixture::SetUp();
        g_nNumDropletsPerSecond = 0;
        makeContext(64, 48);
        ASSERT_EQ(g_pDrizzleState, nullptr);
        g_pDrizzleState = static_cast<DrizzleState *>(calloc(1, sizeof(DrizzleState)));
        g_nDrizzleStateCount = 1;
        s_ = &g_pDrizzleState[0];
        drizzle_setup_state(s_, 64, 48);
        RippleDisplay(s_);
        std::memset(&mi_, 0, sizeof mi_);
        mi_.screen_count = 1;
    }
    void TearDown() override {
        release_drizzle(&mi_);
        GLFixture::TearDown();
    }
    bool press(unsigned int sym) {
        XEvent e = key(sym);
        return drizzle_handle_event(&mi_, &e);
    }
    void frame() {
        drizzle_advance_time(s_);
        RippleDisplay(s_);
    }
    ModeRecord mi_;
    DrizzleState *s_ = nullptr;
};

TEST_F(DrizzleKeys, DebugViewCyclesForwardAndStopsBackward) {
    int seen[7];
    for (int i = 0; i < 6; i++) {
        EXPECT_TRUE(press('t'));
        frame();
        seen[i] = s_->nDebugView;
    }
    EXPECT_EQ(seen[0], 0);
    EXPECT_EQ(seen[4], 4);
    EXPECT_EQ(seen[5], -1);  // six presses from none: none again
    EXPECT_TRUE(press('T'));
    frame();
    EXPECT_EQ(s_->nDebugView, -1);  // back from none stays none
    EXPECT_TRUE(press('t'));
    EXPECT_TRUE(press('t'));
    EXPECT_TRUE(press('T'));
    frame();
    EXPECT_EQ(s_->nDebugView, 0);
}

TEST_F(DrizzleKeys, CaseSelectsPauseButNotColoursOrReset) {
    EXPECT_TRUE(press('P'));
    EXPECT_EQ(s_->bBackgroundPaused, 1);
    EXPECT_EQ(s_->bRainPaused, 0);
    EXPECT_TRUE(press('p'));
    EXPECT_EQ(s_->bRainPaused, 1);
    EXPECT_EQ(s_->bBackgroundPaused, 1);
    EXPECT_TRUE(press('P'));
    EXPECT_EQ(s_->bBackgroundPaused, 0);
    for (unsigned int k : {'g', 'G'}) {
        s_->bNewColors = 0;
        EXPECT_TRUE(press(k));
        EXPECT_EQ(s_->bNewColors, 1);
    }
    for (unsigned int k : {'r', 'R'}) {
        s_->bResetPending = 0;
        EXPECT_TRUE(press(k));
        EXPECT_EQ(s_->bResetPending, 1);
    }
}

TEST_F(DrizzleKeys, OtherKeysAndEventsAreNotTaken) {
    EXPECT_FALSE(press('x'));
    EXPECT_FALSE(press(' '));
    // A function key whose low byte is 'g' (Menu) is not 'g'.
    s_->bNewColors = 0;
    EXPECT_FALSE(press(0xff67));
    EXPECT_EQ(s_->bNewColors, 0);
    XEvent release = key('g', KeyRelease);
    EXPECT_FALSE(drizzle_handle_event(&mi_, &release));
    XEvent click;
    std::memset(&click, 0, sizeof click);
    click.type = ButtonPress;
    EXPECT_FALSE(drizzle_handle_event(&mi_, &click));
    EXPECT_EQ(s_->bNewColors, 0);
    // A screen without an entry takes nothing.
    mi_.screen_number = 3;
    EXPECT_FALSE(press('g'));
    mi_.screen_number = 0;
}

TEST_F(DrizzleKeys, PausingFreezesWaterAndDroplets) {
    s_->aDroplets[3] = Droplet{0.25f, -0.5f, 0.1f};
    frame();
    frame();
    std::vector<float> before = readTextureF(s_->uSimTex[0]);
    ASSERT_GT(maxFromRest(before), 0.01f);
    float age = s_->aDroplets[3].fAge;
    EXPECT_TRUE(press('p'));
    for (int i = 0; i < 5; i++) frame();
    EXPECT_EQ(s_->aDroplets[3].fAge, age);
    EXPECT_EQ(readTextureF(s_->uSimTex[0]), before);
    // A reset while paused still clears the water and frees every slot.
    EXPECT_TRUE(press('r'));
    frame();
    EXPECT_EQ(s_->bResetPending, 0);
    EXPECT_EQ(maxFromRest(readTextureF(s_->uSimTex[0])), 0.0f);
    EXPECT_EQ(maxFromRest(readTextureF(s_->uSimTex[1])), 0.0f);
    for (const Droplet &d : s_->aDroplets) ASSERT_GE(d.fAge, 0.5f);
    // Unpaused, the water moves again (a droplet placed by hand).
    EXPECT_TRUE(press('p'));
    s_->aDroplets[0] = Droplet{0.0f, 0.0f, 0.0f};
    frame();
    EXPECT_GT(maxFromRest(readTextureF(s_->uSimTex[0])), 0.01f);
}

// ------------------------------------------------ through the mode layer

double fakeNow = 1e9;

// The hack run whole by a GL saver view over this program's function
// table, tick by tick with an injected clock (a second a tick, so every
// tick draws).
class DrizzleLifecycle : public ::testing::Test {
protected:
    void SetUp() override {
        platform::setClockSource([] { return fakeNow; });
        bundle_ = testsupport::inProcessBundle(dir_, "Drizzle");
        view_ = DrizzleTestView::create(platform::Rect::make(0, 0, 96, 64), nullptr, true, bundle_);
        ASSERT_TRUE(view_);
    }
    void TearDown() override {
        if (view_) {
            if (view_->isAnimating()) view_->stopAnimation();
            if (g_pDrizzleState && view_->oglContext()) {
                view_->oglContext()->makeCurrent();
                ModeRecord none;
                std::memset(&none, 0, sizeof none);
                release_drizzle(&none);
                platform::GLContext::clearCurrent();
            }
            view_->dealloc();
        }
        platform::setClockSource({});
    }
    void tick() {
        fakeNow += 1.0;
        view_->animateOneFrame();
    }
    ModeRecord *record() const { return static_cast<ModeRecord *>(view_->hackState()); }
    DrizzleState *entry() const {
        ModeRecord *mi = record();
        return mi && g_pDrizzleState ? &g_pDrizzleState[mi->screen_number] : nullptr;
    }

    testsupport::TempDir dir_;
    std::shared_ptr<platform::Bundle> bundle_;
    std::unique_ptr<DrizzleTestView> view_;
};

TEST_F(DrizzleLifecycle, RunsWholeThroughTheModeLayer) {
    view_->startAnimation();
    tick();
    ModeRecord *mi = record();
    ASSERT_TRUE(mi);
    ASSERT_TRUE(g_pDrizzleState);
    EXPECT_GE(g_nDrizzleStateCount, mi->screen_count);
    DrizzleState *s = entry();
    ASSERT_TRUE(s->pContext);
    // The options came through the mode layer's variable table.
    EXPECT_EQ(g_nNumDropletsPerSecond, 16);
    EXPECT_EQ(g_fGradientTransitionTime, 15.0f);
    EXPECT_EQ(g_fRippleHeight, 2.0f);
    EXPECT_EQ(s->nSimSize, 512);
    EXPECT_EQ(s->nBackgroundHeight, 64);

    // Simulated time advances by exactly 1/30 s a drawn frame.
    for (int i = 0; i < 5; i++) {
        float before = s->fGradientTime;
        tick();
        EXPECT_EQ(s->fGradientTime, before + DRIZZLE_FRAME_TIME);
        EXPECT_EQ(s->fTimeStep, DRIZZLE_FRAME_TIME);
    }
    // Some seconds of rain: droplets fell and the picture is the water.
    // The generator starts from a fixed state (the view seeds it from the
    // clock and the process id), and every droplet that falls is counted as
    // it lands: slots are reused, so the slots touched only tell how many
    // droplets were alive at once, about 16/s x 0.4 s.
    ya_rand_state fixed;
    for (int i = 0; i < 55; i++) fixed.a[i] = 0x9E3779B9u * uint32_t(i + 1) | 1u;
    fixed.i1 = 0;
    fixed.i2 = 24;
    ya_rand_set_state(&fixed);
    int fallen = 0;
    for (int i = 0; i < 45; i++) {
        std::vector<Droplet> before(std::begin(s->aDroplets), std::end(s->aDroplets));
        tick();
        for (size_t k = 0; k < before.size(); k++) {
            const Droplet &d = s->aDroplets[k];
            fallen += d.fX != before[k].fX || d.fY != before[k].fY || d.fAge < before[k].fAge;
        }
    }
    // 16 a second for 1.5 s: a Poisson mean of 24.
    EXPECT_GE(fallen, 12);
    EXPECT_LE(fallen, 40);
    QImage img = view_->grabFrame();
    ASSERT_EQ(img.size(), QSize(96, 64));
    EXPECT_NE(img.pixel(48, 2), 0xFF000000u);
    EXPECT_NE(img.pixel(48, 60), 0xFF000000u);

    // A key through the function table's event callback.
    XEvent p = key('p');
    somnel_function_table *ft = view_->functionTable();
    EXPECT_TRUE(ft->event_cb(view_->xDisplay(), view_->xWindow(), mi, &p));
    EXPECT_EQ(s->bRainPaused, 1);

    // A resize reaches reshape: viewport and aspect follow, the gradient
    // texture keeps its size.
    view_->setFrameSize({120, 80});
    tick();
    EXPECT_EQ(s->nWidth, 120);
    EXPECT_EQ(s->nHeight, 80);
    GLint vp[4];
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(vp[2], 120);
    EXPECT_EQ(vp[3], 80);
    float f = 1.0f / std::tan(float(M_PI) / 8);
    EXPECT_NEAR(s->mMVP[0], f / 1.5f, 1e-4);
    EXPECT_EQ(s->nBackgroundHeight, 64);
}

TEST_F(DrizzleLifecycle, SetUpGivesTheSwitchesAndDefaultsOfTheModeTable) {
    somnel_function_table *ft = view_->functionTable();
    ASSERT_TRUE(ft);
    EXPECT_STREQ(ft->progclass, "Drizzle");
    // The host's own rows come first; the hack's follow.
    std::vector<std::string> rows;
    for (const XrmOptionDescRec *o = ft->options; o->option; o++)
        if (!rows.empty() || std::string(o->option) == "-dps")
            rows.push_back(std::string(o->option) + " " + o->specifier);
    std::vector<std::string> want = {"-dps .dps", "-colortime .colortime", "-simres .simres",
                                     "-ripheight .ripheight", "-count .count", "-delay .delay",
                                     "-wireframe .wireframe", "-no-wireframe .wireframe"};
    EXPECT_EQ(rows, want);
    std::string lines;
    for (const char *const *d = ft->defaults; *d; d++) lines += std::string(*d) + "|";
    for (const char *line : {"*dps: 16|", "*colortime: 15|", "*simres: 1|", "*ripheight: 2|"})
        EXPECT_NE(lines.find(line), std::string::npos) << line << " in " << lines;
    EXPECT_NE(lines.find("*delay:\t10000|"), std::string::npos) << lines;
}

TEST_F(DrizzleLifecycle, ARestartStartsTheScreenAfresh) {
    view_->startAnimation();
    for (int i = 0; i < 20; i++) tick();
    view_->stopAnimation();
    view_->setFrameSize({80, 40});
    view_->startAnimation();
    tick();
    DrizzleState *s = entry();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->nBackgroundHeight, 40);
    EXPECT_LE(s->fGradientTime, DRIZZLE_FRAME_TIME);
    EXPECT_EQ(s->nDebugView, -1);
    // Its textures are live and the picture is the water again.
    EXPECT_TRUE(glIsTexture(s->uSimTex[0]));
    EXPECT_TRUE(glIsTexture(s->uBackgroundTex));
    QImage img = view_->grabFrame();
    ASSERT_EQ(img.size(), QSize(80, 40));
    EXPECT_NE(img.pixel(40, 20), 0xFF000000u);
}

TEST_F(DrizzleLifecycle, ReleaseThenInitBuildsAFreshArray) {
    view_->startAnimation();
    tick();
    tick();
    ASSERT_TRUE(entry());
    view_->stopAnimation();
    ASSERT_TRUE(g_pDrizzleState);  // the mode layer does not release

    view_->oglContext()->makeCurrent();
    ModeRecord *mi = record() ? record() : nullptr;
    ModeRecord none;
    std::memset(&none, 0, sizeof none);
    release_drizzle(mi ? mi : &none);
    EXPECT_EQ(g_pDrizzleState, nullptr);
    EXPECT_EQ(g_nDrizzleStateCount, 0);
    release_drizzle(&none);  // with no array: nothing
    platform::GLContext::clearCurrent();

    view_->startAnimation();
    tick();
    ASSERT_TRUE(g_pDrizzleState);
    DrizzleState *s = entry();
    ASSERT_TRUE(s);
    EXPECT_TRUE(s->pContext);
    for (int i = 0; i < g_nDrizzleStateCount; i++)
        if (&g_pDrizzleState[i] != s) {
            EXPECT_EQ(g_pDrizzleState[i].pContext, nullptr) << i;
        }
    // The new run draws: its water starts at rest and rain falls again.
    for (int i = 0; i < 30; i++) tick();
    EXPECT_GT(maxFromRest(readTextureF(s->uSimTex[0])), 0.0f);
}

TEST_F(DrizzleLifecycle, AScreenBeyondTheArrayGrowsItKeepingTheOthers) {
    view_->startAnimation();
    tick();
    ModeRecord *mi = record();
    ASSERT_TRUE(mi);
    DrizzleState *first = entry();
    GLuint firstSim = first->uSimTex[0];
    int firstNumber = mi->screen_number;
    int count = g_nDrizzleStateCount;

    // Callbacks for a screen without an entry do nothing and take nothing.
    ModeRecord far = *mi;
    far.screen_number = count + 5;
    XEvent g = key('g');
    EXPECT_FALSE(drizzle_handle_event(&far, &g));
    draw_drizzle(&far);
    reshape_drizzle(&far, 10, 10);
    EXPECT_EQ(g_nDrizzleStateCount, count);

    // Its init grows the array, keeping the existing entries.
    init_drizzle(&far);
    ASSERT_EQ(g_nDrizzleStateCount, count + 6);
    DrizzleState *kept = &g_pDrizzleState[firstNumber];
    EXPECT_TRUE(kept->pContext);
    EXPECT_EQ(kept->uSimTex[0], firstSim);
    EXPECT_TRUE(g_pDrizzleState[far.screen_number].pContext);
    EXPECT_EQ(g_pDrizzleState[count].pContext, nullptr);
    EXPECT_EQ(g_pDrizzleState[far.screen_number].nSimSize, 512);
}

// ------------------------------------------------ the bundle, as users run it

// This program holds its own copy of Drizzle's principal class, entry point
// exported. The built bundle, loaded beside it, must still find itself (and
// so its function table and resources), not this program.
TEST(DrizzleBundle, TheBuiltBundleFindsItselfBesideACopyOfItsClass) {
    const char *dir = getenv("SOMNEL_SAVER_DIR");
    ASSERT_TRUE(dir);
    std::string error;
    auto bundle = platform::Bundle::open(std::string(dir) + "/Drizzle.saver", &error);
    ASSERT_TRUE(bundle) << error;
    auto create = reinterpret_cast<platform::ViewCreateFunction>(bundle->dataPointerForName("SomnelDrizzleView_create"));
    ASSERT_TRUE(create);
    ASSERT_NE(reinterpret_cast<void *>(create), dlsym(RTLD_DEFAULT, "SomnelDrizzleView_create"));
    platform::ViewCreateArgs args;
    args.frame = platform::Rect::make(0, 0, 64, 48);
    platform::ScreenSaverView *view = nullptr;
    EXPECT_EQ(testsupport::abortReason([&] { view = create(&args); }), "<no exception>");
    ASSERT_TRUE(view);
    ASSERT_TRUE(view->bundle());
    EXPECT_EQ(view->bundle()->bundlePath(), bundle->bundlePath());
    delete view;
}

TEST(DrizzleBundle, SomnelRendersItsWaterOffScreen) {
    testsupport::TempDir tmp;
    std::string out = tmp.file("drizzle.png");
    std::string cmd = "'" + testsupport::somnelProgram() + "' render Drizzle --frames 45 --size 160x90 --out '" +
                      out + "' 2>'" + tmp.file("err") + "'";
    int rc = system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(rc));
    ASSERT_EQ(WEXITSTATUS(rc), 0);
    QImage img(QString::fromStdString(out));
    ASSERT_EQ(img.size(), QSize(160, 90));
    // The water plane fills the view (no black left over), and the gradient
    // runs from top to bottom: the picture is not one colour.
    int black = 0;
    int minRed = 255, maxRed = 0, minBlue = 255, maxBlue = 0;
    for (int y = 0; y < 90; y++)
        for (int x = 0; x < 160; x++) {
            QRgb p = img.pixel(x, y);
            black += (p & 0xFFFFFF) == 0;
            minRed = std::min(minRed, qRed(p));
            maxRed = std::max(maxRed, qRed(p));
            minBlue = std::min(minBlue, qBlue(p));
            maxBlue = std::max(maxBlue, qBlue(p));
        }
    EXPECT_EQ(black, 0);
    EXPECT_GT(std::max(maxRed - minRed, maxBlue - minBlue), 4);
}

}  // namespace
