// OpenGL contexts for GL saver views, on screen or off screen.
#pragma once

#include "platform/export.h"

#include <memory>
#include <string>

class QImage;
class QSurfaceFormat;

namespace platform {

class ScreenSaverView;

// What a GL view asks of its context.
struct GLFormat {
    int colorSize = 24;
    int alphaSize = 8;
    int depthSize = 16;
    bool doubleBuffer = true;
    int sampleBuffers = 0;
    int samples = 0;
};

// The window format for a GL format. A GL view's window is given it before
// its native window exists: the X visual is chosen then, once. (Used inside
// the platform library only.)
QSurfaceFormat surfaceFormatFor(const GLFormat &format);

// Whether GL can draw off screen here (Mesa's surfaceless EGL platform).
SOMNEL_EXPORT bool offScreenGLAvailable();

// An OpenGL context (compatibility profile, so legacy GL works) that
// renders into its view's window when the view has one, else off screen
// into a pbuffer of the view's size. A window that copies GL frames
// (GLFrames::Copied) gets an off-screen context whose every flush paints
// the frame on it. Framebuffer 0 is the window's (or the pbuffer's) default
// framebuffer in every case.
class SOMNEL_EXPORT GLContext {
public:
    // Null with a reason when no context with this format can be made.
    // The view must outlive the context (a view owns its context).
    static std::unique_ptr<GLContext> create(const GLFormat &format, ScreenSaverView *view,
                                             std::string *error);
    virtual ~GLContext() = default;

    virtual bool makeCurrent() = 0;
    static void clearCurrent();
    virtual void setSwapInterval(int interval) = 0;
    // Follows the view's current size (and window, once it has one).
    virtual void update(ScreenSaverView *view) = 0;
    // Presents the back buffer.
    virtual void flushBuffer() = 0;
    // The pixels drawn into the back buffer since the last flush (or the
    // front buffer after it), top row first.
    virtual QImage readPixels() = 0;
    // "window: OpenGL 4.5 ... on llvmpipe, depth 24, ..., double-buffered,
    // threaded dispatch requested" for the information log.
    virtual std::string describe() const = 0;
    // Mesa's threaded dispatch, the analog of a multi-threaded engine, is
    // requested for every context (it can only be asked for before
    // creation; whether a driver uses it is the driver's affair, and
    // describe() says what was asked). 0, or the error code of a request
    // that could not be made.
    virtual int threadedDispatchError() const = 0;
    // Whether the context's frames reach a window (false: off screen only).
    virtual bool onScreen() const = 0;
};

}  // namespace platform
