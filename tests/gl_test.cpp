// GL contexts: off screen (EGL pbuffer) and on a window; pixels read back.
#include "tests/support/test_support.h"

#include "platform/geometry.h"
#include "platform/view.h"
#include "platform/gl.h"
#include "platform/saver_window.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <GL/gl.h>

namespace {

void clearTo(float r, float g, float b) {
    glClearColor(r, g, b, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

TEST(GLContext, OffScreenDrawsAndFollowsTheViewSize) {
    platform::ScreenSaverView view(platform::Rect::make(0, 0, 64, 32), false);
    std::string error;
    auto ctx = platform::GLContext::create(platform::GLFormat{}, &view, &error);
    ASSERT_TRUE(ctx) << error;
    EXPECT_FALSE(ctx->onScreen());
    ASSERT_TRUE(ctx->makeCurrent());
    clearTo(1, 0, 0);
    QImage img = ctx->readPixels();
    ASSERT_EQ(img.size(), QSize(64, 32));
    EXPECT_EQ(img.pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(img.pixel(63, 31), 0xFFFF0000u);

    view.setFrameSize(platform::Size{40, 50});
    ctx->update(&view);
    ASSERT_TRUE(ctx->makeCurrent());
    clearTo(0, 0, 1);
    img = ctx->readPixels();
    EXPECT_EQ(img.size(), QSize(40, 50));
    EXPECT_EQ(img.pixel(39, 49), 0xFF0000FFu);
    EXPECT_NE(ctx->describe().find("OpenGL"), std::string::npos);
    platform::GLContext::clearCurrent();
}

TEST(GLContext, OnAWindowFramebufferZeroIsTheWindow) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X display";
    platform::ScreenSaverView view(platform::Rect::make(0, 0, 48, 48), true);
    QWindow window;
    window.setSurfaceType(QSurface::OpenGLSurface);
    window.resize(48, 48);
    window.show();
    view.setWindow(&window);
    std::string error;
    auto ctx = platform::GLContext::create(platform::GLFormat{}, &view, &error);
    ASSERT_TRUE(ctx) << error;
    EXPECT_TRUE(ctx->onScreen());
    ASSERT_TRUE(ctx->makeCurrent());
    GLint fbo = -1;
    glGetIntegerv(0x8CA6 /* GL_DRAW_FRAMEBUFFER_BINDING */, &fbo);
    EXPECT_EQ(fbo, 0);
    glViewport(0, 0, 48, 48);
    clearTo(0, 1, 0);
    QImage img = ctx->readPixels();
    EXPECT_EQ(img.pixel(10, 10), 0xFF00FF00u);
    ctx->flushBuffer();
    platform::GLContext::clearCurrent();
}

// A view that asks for GL, as the framework's GL views do.
class GLView : public platform::ScreenSaverView {
public:
    using ScreenSaverView::ScreenSaverView;
    bool wantsOpenGLSurface() const override { return true; }
};

// A window that copies GL frames is a raster window; each flush reaches it
// whole and the right way up, as the server shows it, and the copy follows
// a resize. The pictures are waited for: the suite shares the server, and
// another test's window may cover this one for a while (the window paints
// its last frame again when it is exposed).
TEST(GLContext, AWindowThatCopiesFramesShowsEachFlushedFrame) {
    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "needs an X display";
    GLView view(platform::Rect::make(0, 0, 48, 40), false);
    platform::SaverWindow window(&view, nullptr, platform::GLFrames::Copied);
    ASSERT_TRUE(window.copiesGLFrames());
    EXPECT_EQ(window.surfaceType(), QSurface::RasterSurface);
    window.show();
    ASSERT_TRUE(testsupport::waitExposed(&window));
    std::string error;
    auto ctx = platform::GLContext::create(platform::GLFormat{}, &view, &error);
    ASSERT_TRUE(ctx) << error;
    EXPECT_TRUE(ctx->onScreen());
    EXPECT_NE(ctx->describe().find("off screen, copied to the window"), std::string::npos) << ctx->describe();
    // Red below, green in the top quarter (GL counts rows from the bottom).
    auto draw = [&](int w, int h) {
        ASSERT_TRUE(ctx->makeCurrent());
        glViewport(0, 0, w, h);
        clearTo(1, 0, 0);
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, h - h / 4, w, h / 4);
        clearTo(0, 1, 0);
        glDisable(GL_SCISSOR_TEST);
        ctx->flushBuffer();
    };
    QImage img;
    auto shows = [&](int w, int h) {
        return testsupport::waitFor([&] {
            img = window.screen()->grabWindow(window.winId()).toImage();
            return img.size() == QSize(w, h) && (img.pixel(3, 3) & 0xFFFFFF) == 0x00FF00u &&
                   (img.pixel(w - 4, h - 4) & 0xFFFFFF) == 0xFF0000u;
        });
    };
    draw(48, 40);
    EXPECT_TRUE(shows(48, 40)) << "green over red, 48x40; shown: " << img.width() << "x" << img.height() << " top 0x"
                               << std::hex << img.pixel(3, 3) << " bottom 0x" << img.pixel(44, 36);

    window.resize(64, 80);
    ASSERT_TRUE(testsupport::waitFor([&] { return view.frame().size.width == 64; }));
    ctx->update(&view);
    draw(64, 80);
    EXPECT_TRUE(shows(64, 80)) << "green over red, 64x80; shown: " << img.width() << "x" << img.height();
    platform::GLContext::clearCurrent();
}

}  // namespace
