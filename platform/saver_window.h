// A window that shows a 2D saver view and feeds it input.
#pragma once

#include "platform/platform.h"

#include <QRasterWindow>

class QKeyEvent;
class QMouseEvent;
class QWheelEvent;

namespace platform {

// Shows the view's backing image, on expose and whenever the view presents
// a frame; follows resizes with setFrameSize; turns Qt's key, mouse and
// wheel events into Events for the view. The view must outlive the window.
class SOMNEL_EXPORT SaverWindow : public QRasterWindow {
public:
    explicit SaverWindow(ScreenSaverView *view, QWindow *parent = nullptr);
    ~SaverWindow() override;

    ScreenSaverView *view() const { return view_; }

    // The Event for a Qt input event, with y growing upwards from the
    // window's bottom edge. False when the event has no counterpart
    // (auto-repeated releases, the Caps Lock release, plain moves that the
    // view does not want).
    bool translateKey(const QKeyEvent *e, Event *out);
    bool translateMouse(const QMouseEvent *e, Event *out) const;
    bool translateWheel(const QWheelEvent *e, Event *out) const;

protected:
    void paintEvent(QPaintEvent *) override;
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
    ScreenSaverView *view_;
    bool needsDraw_ = true;   // an expose or resize asks the view to redraw
    bool capsLock_ = false;   // Caps Lock state, as last seen on a key event
};

}  // namespace platform
