// The saver view and the entry point through which a bundle creates its
// principal class.
#pragma once

#include "platform/export.h"
#include "platform/geometry.h"

#include <functional>
#include <memory>

class QImage;
class QTimer;
class QWidget;
class QWindow;

namespace platform {

class Bundle;
class Context2D;
struct Event;
struct GLFormat;

// The saver view: a rectangle on screen that the host starts, ticks and
// stops. Ticks come from a timer at animationTimeInterval() while animating,
// never before timeOfNextFrame(). A 2D view draws into its backing context;
// a GL view owns a GL surface.
class SOMNEL_EXPORT ScreenSaverView {
public:
    ScreenSaverView(Rect frame, bool isPreview);
    virtual ~ScreenSaverView();

    Rect frame() const { return frame_; }
    Rect bounds() const { return Rect{{0, 0}, frame_.size}; }
    bool isPreview() const { return isPreview_; }

    virtual void startAnimation();
    virtual void stopAnimation();
    bool isAnimating() const { return animating_; }
    double animationTimeInterval() const { return interval_; }
    void setAnimationTimeInterval(double seconds);
    virtual void animateOneFrame() {}
    // The earliest time (platform::now() seconds) at which the next tick
    // draws; 0 when any tick draws. Ticks wait for it (the next one comes an
    // interval after the last, or then, whichever is later), as off-screen
    // rendering steps its clock to it.
    virtual double timeOfNextFrame() const { return 0; }
    virtual void drawRect(Rect) {}

    // Where the window system says when it wants a frame (a compositor's
    // frame callbacks), a tick asks through `request` and draws only once
    // the window hands it on through drawRequestedFrame(): a surface the
    // compositor no longer shows gets no frames, so it draws nothing.
    void setFrameRequester(std::function<void()> request) { requestFrame_ = std::move(request); }
    // Draws the tick that waits for the window; false when none waits.
    bool drawRequestedFrame();
    // A covered view (its window hidden or fully obscured) ticks no more
    // until it is uncovered; then it draws at once.
    void setCovered(bool covered);
    bool isCovered() const { return covered_; }

    virtual void setFrame(Rect frame);
    virtual void setFrameSize(Size size);

    // The bundle that holds the view's class (null outside a bundle).
    std::shared_ptr<Bundle> bundle() const { return bundle_; }
    void setBundle(std::shared_ptr<Bundle> b) { bundle_ = std::move(b); }

    // The backing 2D context, sized to bounds (created on first use).
    Context2D *graphicsContext();

    // Where the view sits: its own top-left on screen (y-down desktop
    // coordinates: its window's place plus the view's offset inside the
    // window) and the first screen's height.
    virtual Point topLeftOnScreen() const;
    virtual double screenHeight() const;
    // Pointer position in view coordinates (y-up), from the last input event.
    Point lastPointerLocation() const { return pointer_; }
    // An identifier of the monitor showing the view, never 0.
    virtual unsigned displayId() const;

    void setAcceptsMouseMovedEvents(bool on) { acceptsMouseMoved_ = on; }
    bool acceptsMouseMovedEvents() const { return acceptsMouseMoved_; }
    // Hides the cursor until the mouse moves (no effect in a preview).
    void setCursorHiddenUntilMouseMoves(bool hidden);
    bool cursorHidden() const { return cursorHidden_; }

    // Input: a preview hands events to the subclass; otherwise the default
    // handlers ask the host to end the saver (on a key press, a modifier
    // press, a click, a scroll or a real pointer movement; releases do not
    // count, so letting go of the key that started the saver is harmless).
    virtual void handleEvent(const Event &e);
    // What a window hands each input event to: notes the pointer (and shows
    // a hidden cursor once it really moves), then calls handleEvent.
    void dispatchEvent(const Event &e);
    // How far (in pixels) the pointer must move before it counts as moved.
    static constexpr double kRealMovement = 3.0;
    std::function<void()> onExitRequested;

    // The window that shows this view, when the host made one.
    virtual QWindow *window() const { return window_; }
    void setWindow(QWindow *w) { window_ = w; }
    // Asks the window to show the current frame.
    virtual void presentFrame();
    // A copy of what the view shows now (the backing image for a 2D view,
    // the read-back framebuffer for a GL view).
    virtual QImage grabFrame();

    // A GL view's window must be an OpenGL surface; a 2D view's is raster.
    virtual bool wantsOpenGLSurface() const { return false; }
    // The format a GL view's context will ask for, known before its window
    // is made: the window's visual is chosen once, as its native window is
    // made, and a window made again loses what the session gave it.
    virtual GLFormat openGLFormat() const;

    virtual bool hasConfigureSheet() { return false; }
    virtual QWidget *configureSheet() { return nullptr; }

protected:
    Rect frame_;
    bool isPreview_;
    bool animating_ = false;
    double interval_ = 1.0 / 30.0;
    bool acceptsMouseMoved_ = false;
    bool cursorHidden_ = false;
    Point pointer_;
    // Where the pointer was first seen, to tell real movement from the
    // motion events a window gets when it appears under the pointer.
    bool pointerKnown_ = false;
    Point pointerReference_;
    // Records a mouse event's position; true when it is a real movement.
    bool trackPointer(const Event &e);
    // Takes the pointer's position from the display server as the
    // reference for a real movement, when the view is shown full screen.
    void notePointerAtStart();
    std::shared_ptr<Bundle> bundle_;
    std::unique_ptr<Context2D> context_;
    QTimer *timer_ = nullptr;
    QWindow *window_ = nullptr;

private:
    void tick();
    void drawTick();
    // Starts the timer for the next tick: an interval after the last one
    // was due, and not before timeOfNextFrame().
    void scheduleNextTick();
    void startTimerFor(double seconds);
    double due_ = 0;  // when the last tick was due (steady seconds)
    bool covered_ = false;
    bool waitingForFrame_ = false;  // a tick waits for the window's frame
    bool drawingRequested_ = false;  // within drawRequestedFrame()
    std::function<void()> requestFrame_;
};

// The entry point a bundle exports for its principal class:
//   extern "C" platform::ScreenSaverView *<PrincipalClass>_create(
//       const platform::ViewCreateArgs *);
struct ViewCreateArgs {
    Rect frame;
    bool isPreview = false;
    // A fixed seed for the saver's random numbers, so that a picture can be
    // made again exactly; 0 for an unpredictable one.
    unsigned randomSeed = 0;
    // Exact filtering: the saver keeps the texture settings its picture is
    // defined with even where a renderer makes them slow (somnel render
    // --exact-filtering); read by the saver through somnel_exact_filtering().
    bool exactFiltering = false;
};
using ViewCreateFunction = ScreenSaverView *(*)(const ViewCreateArgs *);

}  // namespace platform
