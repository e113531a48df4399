// OpenGL contexts for GL views: on the view's window through Qt, or off
// screen through an EGL pbuffer on Mesa's surfaceless platform.
#include "platform/view.h"
#include "platform/gl.h"
#include "platform/saver_window.h"

#include <QGuiApplication>
#include <QOpenGLContext>
#include <QSurfaceFormat>
#include <QWindow>

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// Reads w x h pixels of framebuffer 0's given buffer, bottom row first, 4
// bytes each, into `into`; the context's read state is left as it was (a
// saver may have its own framebuffer bound when it swaps).
void readPixelsOfFramebuffer0(int w, int h, GLenum buffer, GLenum format, GLenum type, void *into) {
    GLint prevRead = 0, prevPack = 0, prevFbo = 0;
    glGetIntegerv(GL_READ_BUFFER, &prevRead);
    glGetIntegerv(GL_PACK_ALIGNMENT, &prevPack);
    glGetIntegerv(0x8CAA /* GL_READ_FRAMEBUFFER_BINDING */, &prevFbo);
    glBindFramebuffer(0x8CA8 /* GL_READ_FRAMEBUFFER */, 0);
    glReadBuffer(buffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, w, h, format, type, into);
    glPixelStorei(GL_PACK_ALIGNMENT, prevPack);
    glReadBuffer(GLenum(prevRead));
    glBindFramebuffer(0x8CA8, GLuint(prevFbo));
}

QImage readFramebuffer(int w, int h, GLenum buffer) {
    QImage img(w, h, QImage::Format_RGBA8888);
    readPixelsOfFramebuffer0(w, h, buffer, GL_RGBA, GL_UNSIGNED_BYTE, img.bits());
    return img.mirrored(false, true).convertToFormat(QImage::Format_RGB32);
}

// The frame as a window shows it, read on every frame: straight into the
// window image's pixel layout (0xAARRGGBB words on any byte order) and
// turned the right way up in place, without readFramebuffer's two copies.
// NOTE: the alpha byte is what the saver left there; a 24-bit X visual
// ignores it, and only X11 windows copy GL frames.
QImage readFrameForWindow(int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    readPixelsOfFramebuffer0(w, h, GL_BACK, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, img.bits());
    img.mirror(false, true);
    return img;
}

// NOTE: Mesa reads mesa_glthread when a context is created, so the request
// for threaded dispatch is made before creation, never after. A value the
// environment already holds is the user's choice and stays. 0, or the error
// of a request that could not be made.
int requestThreadedDispatch() { return setenv("mesa_glthread", "true", 0) == 0 ? 0 : errno; }

// What was asked of the current context's driver. Drivers other than Mesa's
// read no such request and decide for themselves.
std::string threadedDispatchOfCurrent() {
    const char *ver = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    if (!ver || !strstr(ver, "Mesa")) return "threaded dispatch requested, the driver decides";
    const char *env = getenv("mesa_glthread");
    if (env && (!strcmp(env, "true") || !strcmp(env, "1"))) return "threaded dispatch requested";
    return std::string("threaded dispatch off (mesa_glthread=") + (env ? env : "") + " in the environment)";
}

std::string describeCurrent(const char *where) {
    GLint depth = 0, samples = 0, stencil = 0;
    glGetIntegerv(GL_DEPTH_BITS, &depth);
    glGetIntegerv(GL_SAMPLES, &samples);
    glGetIntegerv(GL_STENCIL_BITS, &stencil);
    const char *ver = reinterpret_cast<const char *>(glGetString(GL_VERSION));
    const char *ren = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
    GLboolean dbl = GL_FALSE;
    glGetBooleanv(GL_DOUBLEBUFFER, &dbl);
    char buf[768];
    snprintf(buf, sizeof buf, "%s: OpenGL %s on %s, depth %d, stencil %d, samples %d, %s, %s", where,
             ver ? ver : "?", ren ? ren : "?", depth, stencil, samples,
             dbl ? "double-buffered" : "single-buffered", threadedDispatchOfCurrent().c_str());
    return buf;
}

// ------------------------------------------------------------- on screen

class WindowContext : public GLContext {
public:
    bool init(const GLFormat &f, QWindow *window, std::string *error) {
        window_ = window;
        const QSurfaceFormat fmt = surfaceFormatFor(f);
        if (window->surfaceType() != QSurface::OpenGLSurface) {
            *error = "the view's window is not an OpenGL surface";
            return false;
        }
        // NOTE: an X11 window keeps the visual it was created with. A window
        // made with another format than the context's shows nothing of what
        // the context draws (its swaps never reach the screen), so a window
        // whose native side exists with another format is made again. The
        // format asked for is compared: once the native window exists,
        // format() is what the driver gave, which never equals a request.
        if (window->handle() && window->requestedFormat() != fmt) {
            const bool visible = window->isVisible();
            window->destroy();
            window->setFormat(fmt);
            if (visible)
                window->show();
            else
                window->create();
        } else {
            window->setFormat(fmt);
            if (!window->handle()) window->create();
        }
        threadedError_ = requestThreadedDispatch();
        ctx_.setFormat(fmt);
        ctx_.setScreen(window->screen());
        if (!ctx_.create()) {
            *error = "could not create an OpenGL context";
            return false;
        }
        // Multisampling asked but not given counts as a failure, so the
        // caller can retry without the sample count.
        if (f.sampleBuffers && f.samples > 1 && ctx_.format().samples() < f.samples) {
            *error = "no multisampled format";
            return false;
        }
        doubleBuffer_ = f.doubleBuffer;
        return true;
    }
    bool makeCurrent() override { return ctx_.makeCurrent(window_); }
    void setSwapInterval(int) override {}  // set on the format before creation
    void update(ScreenSaverView *view) override {
        if (view->window() && view->window() != window_) window_ = view->window();
    }
    void flushBuffer() override {
        if (ctx_.format().swapBehavior() == QSurfaceFormat::SingleBuffer || !doubleBuffer_)
            glFlush();
        ctx_.swapBuffers(window_);
    }
    QImage readPixels() override {
        makeCurrent();
        qreal dpr = window_->devicePixelRatio();
        return readFramebuffer(int(window_->width() * dpr), int(window_->height() * dpr), GL_BACK);
    }
    std::string describe() const override {
        auto *self = const_cast<WindowContext *>(this);
        self->makeCurrent();
        return describeCurrent("window");
    }
    int threadedDispatchError() const override { return threadedError_; }
    bool onScreen() const override { return true; }

private:
    QOpenGLContext ctx_;
    QWindow *window_ = nullptr;
    bool doubleBuffer_ = true;
    int threadedError_ = 0;
};

// ------------------------------------------------------------ off screen

// The process's one connection to the surfaceless EGL platform, opened by
// the first off-screen context and kept for the process: it is a display
// connection, not state a test could reset (terminating it would take every
// context made on it along).
EGLDisplay eglDisplay() {
    static EGLDisplay dpy = EGL_NO_DISPLAY;
    static bool tried = false;
    if (tried) return dpy;
    tried = true;
    auto getPlatformDisplay =
        reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay)
        dpy = getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (dpy == EGL_NO_DISPLAY) return dpy;
    if (!eglInitialize(dpy, nullptr, nullptr)) dpy = EGL_NO_DISPLAY;
    return dpy;
}

class PbufferContext : public GLContext {
public:
    bool init(const GLFormat &f, ScreenSaverView *view, std::string *error) {
        dpy_ = eglDisplay();
        if (dpy_ == EGL_NO_DISPLAY) {
            *error = "no off-screen OpenGL (EGL surfaceless platform unavailable)";
            return false;
        }
        if (!eglBindAPI(EGL_OPENGL_API)) {
            *error = "EGL offers no desktop OpenGL";
            return false;
        }
        EGLint attrs[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT,
                          EGL_RED_SIZE, f.colorSize / 3, EGL_GREEN_SIZE, f.colorSize / 3,
                          EGL_BLUE_SIZE, f.colorSize / 3, EGL_ALPHA_SIZE, f.alphaSize,
                          EGL_DEPTH_SIZE, f.depthSize, EGL_SAMPLE_BUFFERS, f.sampleBuffers,
                          EGL_SAMPLES, f.sampleBuffers ? f.samples : 0, EGL_NONE};
        EGLint n = 0;
        if (!eglChooseConfig(dpy_, attrs, &config_, 1, &n) || n < 1) {
            *error = "no EGL configuration matches";
            return false;
        }
        threadedError_ = requestThreadedDispatch();
        EGLint ctxAttrs[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK, EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT,
                             EGL_NONE};
        ctx_ = eglCreateContext(dpy_, config_, EGL_NO_CONTEXT, ctxAttrs);
        if (ctx_ == EGL_NO_CONTEXT) {
            *error = "could not create an off-screen OpenGL context";
            return false;
        }
        if (!resize(int(view->bounds().size.width), int(view->bounds().size.height))) {
            *error = "could not create an off-screen surface";
            return false;
        }
        return true;
    }
    ~PbufferContext() override {
        if (eglGetCurrentContext() == ctx_) eglMakeCurrent(dpy_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        if (surface_ != EGL_NO_SURFACE) eglDestroySurface(dpy_, surface_);
        if (ctx_ != EGL_NO_CONTEXT) eglDestroyContext(dpy_, ctx_);
    }
    bool resize(int w, int h) {
        w = w > 0 ? w : 1;
        h = h > 0 ? h : 1;
        if (surface_ != EGL_NO_SURFACE && w == w_ && h == h_) return true;
        EGLint sattrs[] = {EGL_WIDTH, w, EGL_HEIGHT, h, EGL_NONE};
        EGLSurface s = eglCreatePbufferSurface(dpy_, config_, sattrs);
        if (s == EGL_NO_SURFACE) return false;
        bool wasCurrent = eglGetCurrentContext() == ctx_;
        if (surface_ != EGL_NO_SURFACE) {
            if (wasCurrent) eglMakeCurrent(dpy_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
            eglDestroySurface(dpy_, surface_);
        }
        surface_ = s;
        w_ = w;
        h_ = h;
        if (wasCurrent) makeCurrent();
        return true;
    }
    bool makeCurrent() override { return eglMakeCurrent(dpy_, surface_, surface_, ctx_); }
    void setSwapInterval(int) override {}  // a pbuffer has no retrace to wait for
    void update(ScreenSaverView *view) override {
        resize(int(view->bounds().size.width), int(view->bounds().size.height));
    }
    void flushBuffer() override { glFlush(); }
    QImage readPixels() override {
        makeCurrent();
        return readFramebuffer(w_, h_, GL_BACK);
    }
    std::string describe() const override {
        const_cast<PbufferContext *>(this)->makeCurrent();
        return describeCurrent("off screen");
    }
    int threadedDispatchError() const override { return threadedError_; }
    bool onScreen() const override { return false; }

protected:
    int width() const { return w_; }
    int height() const { return h_; }
    void swap() { eglSwapBuffers(dpy_, surface_); }

private:
    EGLDisplay dpy_ = EGL_NO_DISPLAY;
    EGLConfig config_ = nullptr;
    EGLContext ctx_ = EGL_NO_CONTEXT;
    EGLSurface surface_ = EGL_NO_SURFACE;
    int w_ = 0, h_ = 0;
    int threadedError_ = 0;
};

// Draws off screen and copies each presented frame to the view's window
// (see GLFrames::Copied), asked for at each flush: the window may be
// dropped before the view, and its context with it. The pbuffer follows
// the view's size.
class CopyingContext : public PbufferContext {
public:
    bool init(const GLFormat &f, ScreenSaverView *view, std::string *error) {
        view_ = view;
        return PbufferContext::init(f, view, error);
    }
    // The swap: the frame drawn reaches the window whole, as a swap shows
    // it. The pbuffer's own swap does nothing but lets a tool that counts
    // swaps from outside count these frames too.
    void flushBuffer() override {
        if (auto *w = dynamic_cast<SaverWindow *>(view_->window()); w && w->copiesGLFrames())
            w->showGLFrame(readFrameForWindow(width(), height()));
        swap();
    }
    std::string describe() const override {
        const_cast<CopyingContext *>(this)->makeCurrent();
        return describeCurrent("off screen, copied to the window");
    }
    bool onScreen() const override { return true; }

private:
    ScreenSaverView *view_ = nullptr;  // owns the context
};

}  // namespace

bool offScreenGLAvailable() { return eglDisplay() != EGL_NO_DISPLAY; }

QSurfaceFormat surfaceFormatFor(const GLFormat &f) {
    QSurfaceFormat fmt;
    fmt.setRenderableType(QSurfaceFormat::OpenGL);
    fmt.setProfile(QSurfaceFormat::CompatibilityProfile);
    fmt.setRedBufferSize(f.colorSize / 3);
    fmt.setGreenBufferSize(f.colorSize / 3);
    fmt.setBlueBufferSize(f.colorSize / 3);
    // NOTE: a window with an alpha channel is translucent to a compositor,
    // and on X11 it gets a 32-bit visual, which the server redirects
    // off screen: it then reports the window never obscured. A saver's
    // window is opaque: its visual has no alpha (the drawing keeps one
    // where the driver gives it).
    fmt.setAlphaBufferSize(0);
    fmt.setDepthBufferSize(f.depthSize);
    fmt.setSwapBehavior(f.doubleBuffer ? QSurfaceFormat::DoubleBuffer : QSurfaceFormat::SingleBuffer);
    fmt.setSamples(f.sampleBuffers ? (f.samples ? f.samples : 1) : -1);
    fmt.setSwapInterval(1);
    return fmt;
}

std::unique_ptr<GLContext> GLContext::create(const GLFormat &format, ScreenSaverView *view,
                                             std::string *error) {
    std::string why;
    auto *copying = dynamic_cast<SaverWindow *>(view->window());
    if (copying && copying->copiesGLFrames()) {
        auto c = std::make_unique<CopyingContext>();
        if (c->init(format, view, &why)) return c;
    } else if (view->window()) {
        auto c = std::make_unique<WindowContext>();
        if (c->init(format, view->window(), &why)) return c;
    } else {
        auto c = std::make_unique<PbufferContext>();
        if (c->init(format, view, &why)) return c;
    }
    if (error) *error = why;
    return nullptr;
}

void GLContext::clearCurrent() {
    if (QOpenGLContext *c = QOpenGLContext::currentContext()) c->doneCurrent();
    if (eglGetCurrentContext() != EGL_NO_CONTEXT)
        eglMakeCurrent(eglGetCurrentDisplay(), EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

}  // namespace platform
