// The OpenGL saver view and the GLX calls that reach it.
#include "framework/somnel_gl_view.h"

#include "somnel/resources.h"
#include "somnel/xshim_glx.h"
#include "xshim/xshim_private.h"
#include "platform/log.h"
#include "platform/view.h"
#include "platform/gl.h"

#include <GL/gl.h>

#include <cstdio>
#include <vector>

namespace {

// The token init_GL hands out; hacks store it and never look inside.
int blort = -1;

// Pixel-format attribute numbers, so the list reads as the hack's
// resources describe it.
enum {
    kPFADoubleBuffer = 5,
    kPFAColorSize = 8,
    kPFAAlphaSize = 11,
    kPFADepthSize = 12,
    kPFASampleBuffers = 55,
    kPFASamples = 56,
};

// The GL view that shows an emulated window; aborts for any other view.
SomnelGLView *glViewOf(Window window) {
    auto *view = static_cast<platform::ScreenSaverView *>(xshim_window_view(window));
    auto *gl = dynamic_cast<SomnelGLView *>(view);
    if (!gl) {
        auto *sv = dynamic_cast<SomnelView *>(view);
        xshim_abort("wrong view class: %s", sv ? sv->className() : "(not a saver view)");
    }
    return gl;
}

// Turns an attribute list into the format asked of the platform.
platform::GLFormat formatFromAttributes(const std::vector<int> &attrs) {
    platform::GLFormat f;
    f.doubleBuffer = false;
    for (size_t i = 0; i < attrs.size() && attrs[i] != 0; ++i) {
        switch (attrs[i]) {
        case kPFADoubleBuffer: f.doubleBuffer = true; break;
        case kPFAColorSize: f.colorSize = attrs[++i]; break;
        case kPFAAlphaSize: f.alphaSize = attrs[++i]; break;
        case kPFADepthSize: f.depthSize = attrs[++i]; break;
        case kPFASampleBuffers: f.sampleBuffers = attrs[++i]; break;
        case kPFASamples: f.samples = attrs[++i]; break;
        default: break;
        }
    }
    return f;
}

}  // namespace

std::vector<int> SomnelGLView::pixelFormatAttributes(bool withSampleCount) const {
    std::vector<int> attrs = {kPFAColorSize, 24, kPFAAlphaSize, 8, kPFADepthSize, 16};
    if (prefsReader_->getBooleanResource("doubleBuffer")) attrs.push_back(kPFADoubleBuffer);
    if (prefsReader_->getBooleanResource("multiSample")) {
        attrs.insert(attrs.end(), {kPFASampleBuffers, 1});
        if (withSampleCount) attrs.insert(attrs.end(), {kPFASamples, 6});
    }
    attrs.push_back(0);
    return attrs;
}

platform::GLFormat SomnelGLView::openGLFormat() const { return formatFromAttributes(pixelFormatAttributes(true)); }

void SomnelGLView::setOglContext(std::unique_ptr<platform::GLContext> ctx) {
    ogl_ctx = std::move(ctx);
    resizeContext();
}

void SomnelGLView::prepareContext() {
    if (!ogl_ctx) return;
    ogl_ctx->makeCurrent();
    ogl_ctx->update(this);
}

void SomnelGLView::resizeContext() {
    if (ogl_ctx) ogl_ctx->update(this);
}

void SomnelGLView::stopAnimation() {
    SomnelView::stopAnimation();
    // Drain what the run left behind so the next run's first check starts
    // clean, then leave no context current.
    if (ogl_ctx) {
        ogl_ctx->makeCurrent();
        clear_gl_error();
    }
    platform::GLContext::clearCurrent();
}

extern "C" GLXContext *xshim_init_GL(Display *, Window window) {
    SomnelGLView *view = glViewOf(window);
    std::unique_ptr<platform::GLContext> fresh;
    if (!view->oglContext()) {
        std::string error;
        fresh = platform::GLContext::create(formatFromAttributes(view->pixelFormatAttributes(true)), view, &error);
        const std::vector<int> fewer = view->pixelFormatAttributes(false);
        if (!fresh && fewer != view->pixelFormatAttributes(true)) {
            // Retry with the sample buffer but without the sample count.
            platform::log("%s; trying again without the sample count", error.c_str());
            fresh = platform::GLContext::create(formatFromAttributes(fewer), view, &error);
        }
        if (!fresh) {
            platform::log("%s", error.c_str());
            xshim_abort("%s", "unable to create NSOpenGLPixelFormat");
        }
    }
    platform::GLContext *ctx = fresh ? fresh.get() : view->oglContext();
    ctx->setSwapInterval(1);
    ctx->makeCurrent();
    check_gl_error("makeCurrentContext");
    if (fresh) {
        if (platform::logInfoEnabled(platform::LogArea::Gl))
            platform::logInfo(platform::LogArea::Gl, "%s", ctx->describe().c_str());
        view->setOglContext(std::move(fresh));
    } else {
        view->setOglContext(view->releaseOglContext());
    }
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    // The request is made as the context is created (see GLContext); only a
    // request that could not be made is a failure.
    if (int err = ctx->threadedDispatchError()) platform::log("enabling multi-threaded OpenGL failed: %d", err);
    check_gl_error("init_GL");
    return reinterpret_cast<GLXContext *>(&blort);
}

extern "C" void glXSwapBuffers(Display *, Window window) {
    SomnelGLView *view = glViewOf(window);
    if (view->oglContext()) view->oglContext()->flushBuffer();
}

extern "C" Bool glXMakeCurrent(Display *, Window, GLXContext) { return True; }

extern "C" void check_gl_error(const char *step) {
    GLenum e = glGetError();
    if (e == GL_NO_ERROR) return;
    char unknown[100];
    const char *name;
    switch (e) {
    case GL_INVALID_ENUM: name = "invalid enum"; break;
    case GL_INVALID_VALUE: name = "invalid value"; break;
    case GL_INVALID_OPERATION: name = "invalid operation"; break;
    case GL_STACK_OVERFLOW: name = "stack overflow"; break;
    case GL_STACK_UNDERFLOW: name = "stack underflow"; break;
    case GL_OUT_OF_MEMORY: name = "out of memory"; break;
    default:
        snprintf(unknown, sizeof unknown, "unknown GL error %d", int(e));
        name = unknown;
        break;
    }
    xshim_abort("%s GL error: %s", step, name);
}

extern "C" void clear_gl_error(void) {
    // A lost context may keep answering with an error; stop after a bounded
    // number of reads rather than spin.
    for (int i = 0; i < 1000 && glGetError() != GL_NO_ERROR; ++i) {
    }
}
