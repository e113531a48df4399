// The saver view's frame loop and lifecycle, driven tick by tick with an
// injected clock over a recording hack that lives in this program.
#include "tests/support/test_support.h"

#include "framework/somnel_view.h"
#include "somnel/somnel_function_table.h"
#include "somnel/fps.h"
#include "somnel/resources.h"
#include "platform/geometry.h"
#include "platform/clock.h"
#include "platform/preferences.h"
#include "platform/bundle.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> calls;
unsigned long drawDelay = 0;
double fakeNow = 1e9;
double drawDuration = 0;  // how far a draw moves the clock
std::vector<double> drawTimes;
Display *initDisplay = nullptr;
Window initWindow = nullptr;

std::string size(unsigned w, unsigned h) { return std::to_string(w) + "x" + std::to_string(h); }

void *rec_init(Display *dpy, Window w, void *) {
    XWindowAttributes a;
    XGetWindowAttributes(dpy, w, &a);
    calls.push_back("init " + size(unsigned(a.width), unsigned(a.height)));
    initDisplay = dpy;
    initWindow = w;
    return new int(0);
}
unsigned long rec_draw(Display *, Window, void *state) {
    calls.push_back("draw");
    ++*static_cast<int *>(state);
    drawTimes.push_back(fakeNow);
    fakeNow += drawDuration;
    return drawDelay;
}
void rec_reshape(Display *, Window, void *, unsigned w, unsigned h) { calls.push_back("reshape " + size(w, h)); }
void rec_free(Display *, Window, void *state) {
    calls.push_back("free");
    delete static_cast<int *>(state);
}

const char *const rec_defaults[] = {"*delay: 10000", "*rimColor: red", nullptr};
const XrmOptionDescRec rec_options[] = {
    {"-delay", ".delay", XrmoptionSepArg, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

extern "C" {
SOMNEL_EXPORT_SYMBOL somnel_function_table recorder_somnel_function_table = {
    "Recorder", rec_defaults, rec_options, nullptr, nullptr, rec_init, rec_draw, rec_reshape,
    nullptr,    rec_free,     nullptr,     nullptr, nullptr};
}

namespace {

// A view whose internals a test may reach.
class ProbeView : public SomnelView {
public:
    static std::unique_ptr<ProbeView> make(std::shared_ptr<platform::Bundle> b) {
        return createView<ProbeView>(platform::Rect::make(0, 0, 640, 480), "Recorder", true, std::move(b));
    }
    void setHackState(void *p) { xdata = p; }
    void setInitialized(bool on) { initted_p = on; }

protected:
    ProbeView(platform::Rect f, bool preview, std::shared_ptr<platform::Bundle> b)
        : SomnelView(f, preview, std::move(b)) {}
    friend class SomnelView;
};

class SomnelViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        drawTimes.clear();
        drawDelay = 0;
        drawDuration = 0;
        fakeNow = 1e9;
        platform::setClockSource([] { return fakeNow; });
        bundle = testsupport::inProcessBundle(dir, "Recorder");
        bundlePath = bundle->bundlePath();
    }
    void TearDown() override { platform::setClockSource({}); }

    std::unique_ptr<SomnelView> makeView(bool preview = true, double w = 640, double h = 480) {
        auto v = SomnelView::create(platform::Rect::make(0, 0, w, h), nullptr, preview, bundle);
        EXPECT_TRUE(v);
        return v;
    }
    // One host tick at the current fake time.
    void tick(SomnelView &v) { v.animateOneFrame(); }
    static int count(const std::string &what) {
        int n = 0;
        for (auto &c : calls) n += c == what;
        return n;
    }

    testsupport::TempDir dir;
    std::string bundlePath;
    std::shared_ptr<platform::Bundle> bundle;
};

TEST_F(SomnelViewTest, CallbackOrderAcrossStartResizeStopAndRestart) {
    auto v = makeView();
    v->startAnimation();
    tick(*v);
    Display *firstDisplay = v->xDisplay();
    Window firstWindow = v->xWindow();
    ASSERT_TRUE(firstDisplay);
    EXPECT_EQ(initDisplay, firstDisplay);
    EXPECT_EQ(initWindow, firstWindow);
    EXPECT_TRUE(v->isInitialized());
    EXPECT_TRUE(v->hackState());

    v->setFrameSize({320.7, 200.2});
    tick(*v);
    v->stopAnimation();
    EXPECT_FALSE(v->isInitialized());
    EXPECT_EQ(v->hackState(), nullptr);

    // The next run starts on its first tick, on the same display and window.
    v->startAnimation();
    tick(*v);
    v->stopAnimation();
    EXPECT_EQ(v->xDisplay(), firstDisplay);
    EXPECT_EQ(v->xWindow(), firstWindow);
    EXPECT_EQ(initDisplay, firstDisplay);

    std::vector<std::string> want = {"init 640x480", "draw", "reshape 320x200", "draw", "free",
                                     "init 320x200", "draw", "free"};
    EXPECT_EQ(calls, want);
    v->dealloc();
}

TEST_F(SomnelViewTest, DrawDelayPacesFramesFromTheEndOfEachDraw) {
    auto v = makeView();
    v->startAnimation();

    // Asking for a second: one frame a second whatever the tick rate.
    drawDelay = 1000000;
    for (int i = 0; i <= 3500; ++i) {
        fakeNow = 1e9 + i * 0.001;
        tick(*v);
    }
    EXPECT_EQ(drawTimes, (std::vector<double>{1e9, 1e9 + 1, 1e9 + 2, 1e9 + 3}));

    // The delay runs from the end of the draw: a draw that takes 0.25 s
    // moves every later frame.
    drawTimes.clear();
    drawDuration = 0.25;
    fakeNow = 1e9 + 4;
    tick(*v);
    fakeNow = 1e9 + 5;
    tick(*v);  // too early: the draw ended at 4.25
    fakeNow = 1e9 + 5.25;
    tick(*v);
    EXPECT_EQ(drawTimes, (std::vector<double>{1e9 + 4, 1e9 + 5.25}));

    // Asking for nothing: every tick draws, even with the clock standing still.
    drawTimes.clear();
    drawDuration = 0;
    drawDelay = 0;
    fakeNow = 1e9 + 10;
    for (int i = 0; i < 100; ++i) tick(*v);
    EXPECT_EQ(drawTimes.size(), 100u);
    v->stopAnimation();
}

TEST_F(SomnelViewTest, ResizeBeforeTheFirstFrameIsNoReshape) {
    auto v = makeView();
    v->setFrameSize({300, 100});
    v->startAnimation();
    tick(*v);
    tick(*v);
    v->stopAnimation();
    EXPECT_EQ(calls, (std::vector<std::string>{"init 300x100", "draw", "draw", "free"}));
}

TEST_F(SomnelViewTest, ResizeReachesTheHackOnceOnTheNextDrawnFrameBeforeDraw) {
    auto v = makeView();
    v->startAnimation();
    drawDelay = 1000000;
    tick(*v);  // frame at 0, next at 1
    calls.clear();

    v->setFrameSize({200, 150});
    v->setFrame(platform::Rect::make(10, 20, 250.9, 120.5));
    fakeNow += 0.5;
    tick(*v);  // skipped: nothing reaches the hack
    EXPECT_TRUE(calls.empty());

    fakeNow += 0.5;
    tick(*v);
    fakeNow += 1;
    tick(*v);
    EXPECT_EQ(calls, (std::vector<std::string>{"reshape 250x120", "draw", "draw"}));
    v->stopAnimation();
}

TEST_F(SomnelViewTest, FrameCounterWrapsEvery151DrawnFrames) {
    auto v = makeView();
    v->startAnimation();
    while (SomnelView::frameCounter() != 150) tick(*v);
    tick(*v);
    EXPECT_EQ(SomnelView::frameCounter(), 0);
    for (int i = 0; i < 150; ++i) {
        tick(*v);
        ASSERT_NE(SomnelView::frameCounter(), 0) << "after " << i + 1 << " frames";
    }
    tick(*v);
    EXPECT_EQ(SomnelView::frameCounter(), 0);

    // Skipped ticks are not frames.
    drawDelay = 1000000;
    tick(*v);
    for (int i = 0; i < 10; ++i) tick(*v);
    EXPECT_EQ(SomnelView::frameCounter(), 1);
    v->stopAnimation();
}

TEST_F(SomnelViewTest, CursorIsHiddenOnEveryTickOutsideAPreview) {
    auto full = makeView(false);
    full->startAnimation();
    tick(*full);
    EXPECT_TRUE(full->cursorHidden());
    EXPECT_TRUE(full->acceptsMouseMovedEvents());
    full->stopAnimation();

    auto preview = makeView(true);
    preview->startAnimation();
    tick(*preview);
    EXPECT_FALSE(preview->cursorHidden());
    preview->stopAnimation();
}

TEST_F(SomnelViewTest, EnvironmentNamesTheResourcesAndTheDomain) {
    std::string saved = getenv("PATH") ? getenv("PATH") : "";
    unsetenv("PATH");
    auto v = makeView();
    EXPECT_EQ(std::string(getenv("PATH")), bundle->resourcePath() + ":/bin");
    // Many views in one process: the folder goes in front once.
    for (int i = 0; i < 3; ++i) makeView();
    EXPECT_EQ(std::string(getenv("PATH")), bundle->resourcePath() + ":/bin");
    // Elsewhere in PATH is not in front: it is put there.
    setenv("PATH", ("/usr/bin:" + bundle->resourcePath()).c_str(), 1);
    makeView();
    EXPECT_EQ(std::string(getenv("PATH")), bundle->resourcePath() + ":/usr/bin:" + bundle->resourcePath());
    // A longer name that merely starts with the folder's is another folder.
    setenv("PATH", (bundle->resourcePath() + "2:/bin").c_str(), 1);
    makeView();
    EXPECT_EQ(std::string(getenv("PATH")), bundle->resourcePath() + ":" + bundle->resourcePath() + "2:/bin");
    setenv("PATH", saved.c_str(), 1);
    EXPECT_EQ(std::string(getenv("SOMNEL_CLASSPATH")), "org.somnel.savers.Recorder");
    EXPECT_STREQ(progclass, "Recorder");
    EXPECT_STREQ(progname, "Recorder");
}

TEST_F(SomnelViewTest, ResourcesComeFromTheViewBehindTheDisplay) {
    auto v = makeView();
    v->startAnimation();
    tick(*v);
    Display *dpy = v->xDisplay();
    EXPECT_EQ(get_prefsReader(dpy), v->prefsReader());
    // Host defaults and the hack's, through the four getters.
    char *mode = get_string_resource(dpy, "textMode", "TextMode");
    EXPECT_STREQ(mode, "date");
    free(mode);
    char *url = get_string_resource(dpy, "textURL", "URL");
    EXPECT_STREQ(url, "https://feeds.example.org/statuses/public_timeline.atom");
    free(url);
    EXPECT_EQ(get_integer_resource(dpy, "relaunchDelay", "Time"), 2);
    EXPECT_EQ(get_integer_resource(dpy, "delay", "Integer"), 10000);
    EXPECT_DOUBLE_EQ(get_float_resource(dpy, "delay", "Float"), 10000.0);
    EXPECT_TRUE(get_boolean_resource(dpy, "doubleBuffer", "Boolean"));
    EXPECT_FALSE(get_boolean_resource(dpy, "doFPS", "Boolean"));
    v->stopAnimation();

    EXPECT_EQ(get_prefsReader(nullptr), nullptr);
    EXPECT_EQ(get_string_resource(nullptr, "textMode", "TextMode"), nullptr);
    EXPECT_EQ(get_integer_resource(nullptr, "delay", "Integer"), 0);
    EXPECT_EQ(get_float_resource(nullptr, "delay", "Float"), 0.0);
    EXPECT_EQ(get_boolean_resource(nullptr, "doubleBuffer", "Boolean"), 0);
}

TEST_F(SomnelViewTest, FpsMeterOnlyWhenAskedFor) {
    auto v = makeView();
    v->startAnimation();
    tick(*v);
    EXPECT_EQ(v->fpsState(), nullptr);
    EXPECT_EQ(recorder_somnel_function_table.fps_cb, nullptr);
    v->stopAnimation();

    auto prefs = platform::ScreenSaverDefaults::defaultsForModuleWithName("org.somnel.savers.Recorder");
    prefs->setObject("doFPS", true);
    v->startAnimation();
    tick(*v);
    EXPECT_NE(v->fpsState(), nullptr);
    EXPECT_EQ(recorder_somnel_function_table.fps_cb, screenhack_do_fps);
    // The host's sleep is reported on every tick, drawn or not.
    drawDelay = 1000000;
    tick(*v);
    unsigned long slept = v->fpsState()->slept_usecs;
    tick(*v);
    long expected = long(v->animationTimeInterval() * 1000000) - 200;
    EXPECT_EQ(v->fpsState()->slept_usecs - slept, (unsigned long)expected);
    v->stopAnimation();

    // Turned off between runs: the next run has no meter.
    prefs->setObject("doFPS", false);
    v->startAnimation();
    tick(*v);
    EXPECT_EQ(v->fpsState(), nullptr);
    v->stopAnimation();
    prefs->removeObjectForKey("doFPS");
    recorder_somnel_function_table.fps_cb = nullptr;
}

TEST_F(SomnelViewTest, ConfigureSheetLooksForTheLowerCaseDescription) {
    auto v = makeView();
    EXPECT_TRUE(v->hasConfigureSheet());
    std::string err = testsupport::captureStderr([&] { EXPECT_EQ(v->configureSheet(), nullptr); });
    EXPECT_NE(err.find("recorder.xml does not exist in the application bundle: " + bundle->resourcePath() + "/"),
              std::string::npos)
        << err;
}

TEST_F(SomnelViewTest, AssertionTexts) {
    using testsupport::abortReason;
    auto v = ProbeView::make(bundle);
    ASSERT_TRUE(v);
    EXPECT_EQ(abortReason([&] { v->stopAnimation(); }), "not animating");
    v->startAnimation();
    EXPECT_EQ(abortReason([&] { v->startAnimation(); }), "already animating");
    EXPECT_EQ(abortReason([&] { v->dealloc(); }), "still animating");

    int bogus = 0;
    v->setHackState(&bogus);
    EXPECT_EQ(abortReason([&] { v->animateOneFrame(); }), "xdata already initialized");
    v->setInitialized(false);
    v->stopAnimation();
    EXPECT_EQ(abortReason([&] { v->startAnimation(); }), "already initialized");
    EXPECT_EQ(abortReason([&] { v->dealloc(); }), "xdata not yet freed");
    v->setHackState(nullptr);
    EXPECT_EQ(abortReason([&] { v->dealloc(); }), "<no exception>");

    EXPECT_EQ(abortReason([&] { SomnelView::create(platform::Rect::make(0, 0, 10, 10), nullptr, false, nullptr); }),
              "no bundle for class SomnelView");
    std::string bare = dir.file("Recorder2.saver");
    mkdir(bare.c_str(), 0755);
    auto noResources = platform::Bundle::forHandle(bare, dlopen(nullptr, RTLD_NOW));
    EXPECT_EQ(abortReason([&] {
                  SomnelView::create(platform::Rect::make(0, 0, 10, 10), "Recorder", false, noResources);
              }),
              "no resourcePath for class SomnelView");
    auto noLibrary = platform::Bundle::forHandle(bundlePath, nullptr);
    EXPECT_EQ(abortReason([&] { SomnelView::create(platform::Rect::make(0, 0, 10, 10), nullptr, false, noLibrary); }),
              "no CFBundle for \"" + bundlePath + "\"");
}

TEST_F(SomnelViewTest, DestroyingARunningViewReportsInsteadOfRaising) {
    auto v = makeView();
    v->startAnimation();
    tick(*v);
    int *state = static_cast<int *>(v->hackState());
    std::string err = testsupport::captureStderr([&] { v.reset(); });
    EXPECT_NE(err.find("SomnelView destroyed: still animating"), std::string::npos) << err;
    EXPECT_EQ(count("free"), 0);
    delete state;  // the hack's state, left alone by design
}

}  // namespace
