// A GL hack written to the mode-table interface, run for real: the mode
// layer's record, the GL view's context, frames presented on a window and
// read back, a resize, a second run, and a key in a preview.
#include "tests/support/test_support.h"

#include "framework/somnel_gl_view.h"
#include "platform/saver_window.h"
#include "somnel/xshim_glx.h"
#include "platform/geometry.h"
#include "platform/clock.h"
#include "platform/event.h"
#include "platform/view.h"
#include "platform/gl.h"

#include <QDir>

#include <dlfcn.h>

#include <cstdlib>
#include <unistd.h>

extern "C" {
extern int glmode_inits, glmode_draws, glmode_reshapes, glmode_keys;
extern int glmode_width, glmode_height;
extern GLXContext *glmode_context;
}

namespace {

// One host tick a second after the last, so that every tick draws.
double fakeNow = 2e9;
void tick(platform::ScreenSaverView *view) {
    fakeNow += 1.0;
    view->animateOneFrame();
}

void expectColours(const QImage &img, QRgb left, QRgb right) {
    ASSERT_FALSE(img.isNull());
    const int w = img.width(), h = img.height();
    for (int y : {0, h / 2, h - 1}) {
        EXPECT_EQ(img.pixel(0, y), left) << "y " << y;
        EXPECT_EQ(img.pixel(w / 2 - 1, y), left) << "y " << y;
        EXPECT_EQ(img.pixel(w / 2, y), right) << "y " << y;
        EXPECT_EQ(img.pixel(w - 1, y), right) << "y " << y;
    }
}

TEST(ModeHostGL, RunsThroughTheModeLayerOnAWindow) {
    if (!getenv("DISPLAY")) GTEST_SKIP() << "needs an X display";
    testsupport::TempDir dir;
    auto bundle = testsupport::inProcessBundle(dir, "GLModeTest");
    platform::setClockSource([] { return fakeNow; });
    auto view = SomnelGLView::create(platform::Rect::make(0, 0, 120, 90), nullptr, true, bundle);
    ASSERT_TRUE(view);
    platform::SaverWindow window(view.get());
    window.show();
    ASSERT_TRUE(testsupport::waitExposed(&window));

    view->startAnimation();
    tick(view.get());
    EXPECT_EQ(glmode_inits, 1);
    EXPECT_EQ(glmode_draws, 1);
    EXPECT_TRUE(glmode_context);
    ASSERT_TRUE(view->oglContext());
    EXPECT_TRUE(view->oglContext()->onScreen());
    EXPECT_EQ(glmode_width, 120);
    expectColours(view->grabFrame(), 0xFFFF0000, 0xFF0000FF);

    // A resize reaches the hack's reshape once, with the new size.
    window.resize(150, 70);
    ASSERT_TRUE(testsupport::waitForViewSize(view.get(), 150, 70));
    const int reshapes = glmode_reshapes;
    tick(view.get());
    tick(view.get());
    EXPECT_EQ(glmode_reshapes, reshapes + 1);
    EXPECT_EQ(glmode_width, 150);
    EXPECT_EQ(glmode_height, 70);
    QImage resized = view->grabFrame();
    EXPECT_EQ(resized.size(), QSize(150, 70));
    expectColours(resized, 0xFFFF0000, 0xFF0000FF);

    // A key offered in a preview reaches the hack, which then draws green.
    platform::Event key;
    key.type = platform::Event::KeyDown;
    key.characters = key.charactersIgnoringModifiers = "k";
    view->dispatchEvent(key);
    tick(view.get());
    expectColours(view->grabFrame(), 0xFFFF0000, 0xFF00FF00);

    // Stop, then start: a new init on the same context.
    platform::GLContext *first = view->oglContext();
    view->stopAnimation();
    view->startAnimation();
    tick(view.get());
    EXPECT_EQ(glmode_inits, 2);
    EXPECT_EQ(view->oglContext(), first);
    view->stopAnimation();
    view->dealloc();
    platform::setClockSource({});
}

}  // namespace
