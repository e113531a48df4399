// The GL saver view: its context made from the hack's resources, current
// around every callback, reused across runs, and the frames it presents.
#include "tests/support/test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include "framework/somnel_gl_view.h"
#include "somnel/somnel_function_table.h"
#include "platform/saver_window.h"
#include "somnel/resources.h"
#include "somnel/xshim_glx.h"
#include "platform/geometry.h"
#include "platform/bundle.h"
#include "platform/event.h"
#include "platform/gl.h"

#include <GL/gl.h>
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> calls;
GLXContext *token = nullptr;
bool currentInDraw = false;

void *gl_init(Display *dpy, Window w, void *) {
    token = xshim_init_GL(dpy, w);
    calls.push_back("init");
    return new int(0);
}

// Left half red, right half blue, with scissored clears, then present.
unsigned long gl_draw(Display *dpy, Window w, void *) {
    currentInDraw = glGetString(GL_VERSION) != nullptr;
    XWindowAttributes a;
    XGetWindowAttributes(dpy, w, &a);
    glViewport(0, 0, a.width, a.height);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, a.width / 2, a.height);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(a.width / 2, 0, a.width - a.width / 2, a.height);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    calls.push_back("draw");
    glXSwapBuffers(dpy, w);
    return 0;
}

void gl_reshape(Display *, Window, void *, unsigned w, unsigned h) {
    calls.push_back("reshape " + std::to_string(w) + "x" + std::to_string(h));
}

Bool gl_event(Display *, Window, void *, XEvent *e) {
    calls.push_back("event " + std::to_string(e->type));
    return True;
}

void gl_free(Display *, Window, void *state) {
    calls.push_back(std::string("free ") + (glGetString(GL_VERSION) ? "current" : "no context"));
    delete static_cast<int *>(state);
}

const char *const gl_defaults[] = {"*delay: 0", nullptr};
const XrmOptionDescRec gl_options[] = {{nullptr, nullptr, 0, nullptr}};

}  // namespace

extern "C" {
SOMNEL_EXPORT_SYMBOL somnel_function_table glrec_somnel_function_table = {
    "GLRec", gl_defaults, gl_options, nullptr, nullptr, gl_init, gl_draw, gl_reshape,
    gl_event, gl_free,    nullptr,    nullptr, nullptr};
}

namespace {

class GLViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        token = nullptr;
        bundle = testsupport::inProcessBundle(dir, "GLRec");
    }
    std::unique_ptr<SomnelGLView> make(int w, int h, bool preview) {
        auto v = SomnelGLView::create(platform::Rect::make(0, 0, w, h), "GLRec", preview, bundle);
        return v;
    }
    static void stopAndFree(SomnelGLView *v) {
        if (v->isAnimating()) v->stopAnimation();
        v->dealloc();
    }
    testsupport::TempDir dir;
    std::shared_ptr<platform::Bundle> bundle;
};

void expectHalves(const QImage &img) {
    ASSERT_FALSE(img.isNull());
    int w = img.width(), h = img.height();
    EXPECT_EQ(img.pixel(1, 1), 0xFFFF0000u);
    EXPECT_EQ(img.pixel(w / 2 - 1, h - 2), 0xFFFF0000u);
    EXPECT_EQ(img.pixel(w / 2, 1), 0xFF0000FFu);
    EXPECT_EQ(img.pixel(w - 1, h - 1), 0xFF0000FFu);
}

TEST_F(GLViewTest, OffScreenTheReadBackIsExactlyWhatTheHackDrew) {
    auto view = make(64, 40, false);
    ASSERT_TRUE(view);
    view->startAnimation();
    view->animateOneFrame();
    ASSERT_TRUE(view->oglContext());
    EXPECT_FALSE(view->oglContext()->onScreen());
    EXPECT_TRUE(currentInDraw);
    EXPECT_TRUE(token);
    QImage img = view->grabFrame();
    EXPECT_EQ(img.size(), QSize(64, 40));
    expectHalves(img);
    stopAndFree(view.get());
    EXPECT_EQ(calls.back(), "free current");
}

TEST_F(GLViewTest, OnAWindowFramesPresentResizeReshapesOnceAndRunsShareTheContext) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "needs an X display";
    auto view = make(80, 60, true);
    ASSERT_TRUE(view);
    platform::SaverWindow window(view.get());
    window.show();
    view->startAnimation();
    view->animateOneFrame();
    platform::GLContext *first = view->oglContext();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->onScreen());
    expectHalves(view->grabFrame());

    window.resize(100, 50);
    ASSERT_TRUE(testsupport::waitForViewSize(view.get(), 100, 50));
    calls.clear();
    view->animateOneFrame();
    view->animateOneFrame();
    EXPECT_EQ(calls, (std::vector<std::string>{"reshape 100x50", "draw", "draw"}));
    QImage img = view->grabFrame();
    EXPECT_EQ(img.size(), QSize(100, 50));
    expectHalves(img);

    // A key offered in a preview reaches the hack with the context current.
    platform::Event key;
    key.type = platform::Event::KeyDown;
    key.characters = key.charactersIgnoringModifiers = "x";
    view->dispatchEvent(key);

    view->stopAnimation();
    view->startAnimation();
    view->animateOneFrame();
    EXPECT_EQ(view->oglContext(), first) << "a second run reuses the view's context";
    stopAndFree(view.get());
}

TEST_F(GLViewTest, GLErrorsAreNamedAndSwapNeedsAGLView) {
    auto view = make(16, 16, false);
    ASSERT_TRUE(view);
    view->startAnimation();
    view->animateOneFrame();
    using testsupport::abortReason;
    EXPECT_EQ(abortReason([] { check_gl_error("nothing"); }), "<no exception>");
    glEnable(0xFFFF);
    EXPECT_EQ(abortReason([] { check_gl_error("enable"); }), "enable GL error: invalid enum");
    // An incomplete framebuffer makes glClear fail with error 0x506.
    GLuint fbo = 0;
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(abortReason([] { check_gl_error("clear"); }), "clear GL error: unknown GL error 1286");
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &fbo);
    glEnable(0xFFFF);
    glEnable(0xFFFE);
    clear_gl_error();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    stopAndFree(view.get());

    // A plain 2D view's window is not a GL view's.
    auto plain = SomnelView::create(platform::Rect::make(0, 0, 8, 8), "GLRec", false, bundle);
    ASSERT_TRUE(plain);
    plain->startAnimation();
    EXPECT_EQ(abortReason([&] { plain->animateOneFrame(); }), "wrong view class: SomnelView");
    plain->stopAnimation();
    plain->dealloc();
}

TEST_F(GLViewTest, SingleBufferedAndMultisampledRequestsStillGiveAContext) {
    testsupport::TempDir config;
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    auto view = make(32, 32, false);
    ASSERT_TRUE(view);
    auto controller = view->userDefaultsController();
    controller->setValue("doubleBuffer", false);
    controller->setValue("multiSample", true);
    ASSERT_TRUE(controller->save());
    std::string log = testsupport::captureStderr([&] {
        view->startAnimation();
        view->animateOneFrame();
    });
    ASSERT_TRUE(view->oglContext()) << log;
    expectHalves(view->grabFrame());
    stopAndFree(view.get());
    controller->setValue("doubleBuffer", true);
    controller->setValue("multiSample", false);
    controller->save();
}

}  // namespace
