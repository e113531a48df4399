// A window that shows a 2D saver view and feeds it input.
#pragma once

#include "platform/desktop.h"
#include "platform/event.h"
#include "platform/view.h"

#include <QWindow>

class QBackingStore;

class QKeyEvent;
class QMouseEvent;
class QWheelEvent;

namespace platform {

// How a GL view's frames reach its window.
enum class GLFrames {
    // The window is an OpenGL surface that the view's context draws into.
    Direct,
    // The context draws off screen; each frame it presents is read back and
    // painted on a raster window with plain X requests. For a window inside
    // one that another program may destroy at any moment: no GL drawable
    // is then ever bound to a window that can vanish mid-frame.
    Copied,
};

// Shows a saver view: a 2D view's backing image is painted on expose and
// whenever the view presents a frame; a GL view's window is an OpenGL
// surface its context draws into, or (GLFrames::Copied) a raster window its
// frames are copied to. The view's frame is the window's size in
// device pixels. Follows resizes with setFrameSize and
// turns Qt's key, mouse and wheel events into Events for the view. While it
// is hidden or fully obscured its view is covered (draws nothing); on
// Wayland the view draws when the compositor asks for a frame. The view
// must outlive the window.
class SOMNEL_EXPORT SaverWindow : public QWindow {
public:
    // Copied falls back to Direct, with an information line, where GL
    // cannot draw off screen.
    explicit SaverWindow(ScreenSaverView *view, QWindow *parent = nullptr, GLFrames frames = GLFrames::Direct);
    ~SaverWindow() override;

    ScreenSaverView *view() const { return view_; }

    // The Event for a Qt input event, with y growing upwards from the
    // window's bottom edge. False when the event has no counterpart
    // (auto-repeated releases, the Caps Lock release, plain moves that the
    // view does not want).
    bool translateKey(const QKeyEvent *e, Event *out);
    bool translateMouse(const QMouseEvent *e, Event *out) const;
    bool translateWheel(const QWheelEvent *e, Event *out) const;

    // Paints the 2D view's backing image, or the last copied GL frame, now
    // (no-op for a GL view drawing on the window).
    void renderNow();
    // Whether a GL view's frames are copied to this (raster) window.
    bool copiesGLFrames() const { return copiesGL_; }
    // Paints a GL frame read back off screen, top row first, and keeps it
    // for exposures (only for a window that copies GL frames).
    void showGLFrame(QImage frame);

    // The window's size in device pixels: the view's frame size.
    QSize deviceSize() const;

    // What the window asks of the desktop session, and the foreign window
    // it goes inside (null for none). Part of the window's state: applied
    // again whenever the native window is made (a saver asking for another
    // GL format makes it again). Set before the window is first shown.
    void setDesktopRole(const DesktopRole &role, ForeignWindow *inside = nullptr);
    // Shows the window as its role asks: over its whole screen, or as it is.
    void showInRole();
    // Takes keyboard and pointer for the window (its role asks for them):
    // Done once it holds them, until its native window goes.
    DesktopAnswer grabInput();
    bool holdsInput() const { return holdsInput_; }

protected:
    bool event(QEvent *) override;
    void exposeEvent(QExposeEvent *) override;
    void resizeEvent(QResizeEvent *) override;
    void keyPressEvent(QKeyEvent *) override;
    void keyReleaseEvent(QKeyEvent *) override;
    void mousePressEvent(QMouseEvent *) override;
    void mouseReleaseEvent(QMouseEvent *) override;
    void mouseMoveEvent(QMouseEvent *) override;
    void wheelEvent(QWheelEvent *) override;

private:
    void deliver(const Event &e);
    // Applies the parts of the role that need a viewable native window.
    void applyRole();
    void followSize();
    void followVisibility();
    // A window position (logical, y down) in the view's device pixels, y up.
    Point toView(QPointF p) const;
    ScreenSaverView *view_;
    // Paints an image of device pixels, black where it does not reach.
    void paint(const QImage &image);
    QBackingStore *store_ = nullptr;  // raster windows only
    bool copiesGL_ = false;
    QImage glFrame_;  // the last copied GL frame
    bool needsDraw_ = true;   // an expose or resize asks the view to redraw
    bool capsLock_ = false;   // Caps Lock state, as last seen on a key event
    bool obscured_ = false;   // fully covered by other windows (X11)
    DesktopRole role_;
    ForeignWindow *inside_ = nullptr;
    bool roleApplied_ = true;  // false from the native window's making to its first exposure
    bool holdsInput_ = false;
};

}  // namespace platform
