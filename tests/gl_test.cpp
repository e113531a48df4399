// GL contexts: off screen (EGL pbuffer) and on a window; pixels read back.
#include "tests/support/test_support.h"

#include "platform/geometry.h"
#include "platform/view.h"
#include "platform/gl.h"

#include <QGuiApplication>
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

}  // namespace
