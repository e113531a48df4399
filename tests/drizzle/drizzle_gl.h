// A GL context without the view stack, and read-back helpers, for the
// Drizzle tests.
#pragma once

#include "platform/geometry.h"
#include "platform/view.h"
#include "platform/gl.h"

#include <gtest/gtest.h>

#include "savers/drizzle/drizzle.h"
#include "somnel/yarandom.h"
#include "support/hints.h"

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace drizzletest {

// An off-screen compatibility context of the given size, made current.
class GLFixture : public ::testing::Test {
protected:
    void makeContext(int width, int height) {
        view_ = std::make_unique<platform::ScreenSaverView>(platform::Rect::make(0, 0, width, height), false);
        std::string error;
        ctx_ = platform::GLContext::create(platform::GLFormat{}, view_.get(), &error);
        ASSERT_TRUE(ctx_) << error;
        ASSERT_TRUE(ctx_->makeCurrent());
    }
    void SetUp() override {
        g_nNumDropletsPerSecond = 16;
        g_fGradientTransitionTime = 15.0f;
        g_nSimResolutionEnum = 0;
        g_fRippleHeight = 2.0f;
        ya_rand_get_state(&savedRandom_);
        // The formulas are checked against the exact texture settings,
        // whatever the renderer.
        somnel::support::setExactFiltering(true);
    }
    void TearDown() override {
        somnel::support::setExactFiltering(false);
        ya_rand_set_state(&savedRandom_);
        if (ctx_) platform::GLContext::clearCurrent();
        ctx_.reset();
        view_.reset();
    }

    std::unique_ptr<platform::ScreenSaverView> view_;
    std::unique_ptr<platform::GLContext> ctx_;
    ya_rand_state savedRandom_;
};

// A texture's level 0 as RGBA floats (or bytes scaled to 0..255).
inline std::vector<float> readTextureF(GLuint texture, int *width = nullptr, int *height = nullptr) {
    glBindTexture(GL_TEXTURE_2D, texture);
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    std::vector<float> out(size_t(w) * size_t(h) * 4);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, out.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    if (width) *width = w;
    if (height) *height = h;
    return out;
}
inline std::vector<unsigned char> readTexture8(GLuint texture, int *width = nullptr, int *height = nullptr) {
    glBindTexture(GL_TEXTURE_2D, texture);
    GLint w = 0, h = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
    std::vector<unsigned char> out(size_t(w) * size_t(h) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    if (width) *width = w;
    if (height) *height = h;
    return out;
}
// The window's pixels, bottom row first, RGBA.
inline std::vector<unsigned char> readWindow(int width, int height) {
    std::vector<unsigned char> out(size_t(width) * size_t(height) * 4);
    glBindFramebufferEXT(GL_FRAMEBUFFER_EXT, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    return out;
}

// Makes the shared generator return the given values in 0..1 (each a
// multiple of 2^-31) on its next draws, then zeros.
inline void scriptRandom(const std::vector<double> &values) {
    ya_rand_state st{};
    st.i1 = 0;
    st.i2 = 24;
    for (size_t k = 0; k < values.size() && k < 24; k++)
        st.a[k] = uint32_t(values[k] * 2147483648.0);
    ya_rand_set_state(&st);
}

}  // namespace drizzletest
