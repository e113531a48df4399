// The saver view base: frame, preview flag, animation ticks, backing context.
#include "platform/clock.h"
#include "platform/geometry.h"
#include "platform/log.h"
#include "platform/context2d.h"
#include "platform/desktop.h"
#include "platform/event.h"
#include "platform/gl.h"
#include "platform/view.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPaintDeviceWindow>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace platform {

namespace {

// The cursor is an application-wide override, pushed once per hiding view.
void pushBlankCursor() {
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
}

void popBlankCursor() {
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance())) QGuiApplication::restoreOverrideCursor();
}

// Seconds on a clock that only goes forward: ticks keep their pace even
// when the platform clock is replaced (tests, off-screen rendering).
double steadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// FNV-1a, for display ids that stay the same from run to run.
unsigned hashName(const QString &name) {
    unsigned h = 2166136261u;
    for (char c : name.toUtf8()) h = (h ^ (unsigned char)c) * 16777619u;
    return h;
}

}  // namespace

ScreenSaverView::ScreenSaverView(Rect frame, bool isPreview) : frame_(frame), isPreview_(isPreview) {
    timer_ = new QTimer;
    timer_->setTimerType(Qt::PreciseTimer);
    timer_->setSingleShot(true);
    QObject::connect(timer_, &QTimer::timeout, [this] { tick(); });
}

ScreenSaverView::~ScreenSaverView() {
    setCursorHiddenUntilMouseMoves(false);
    delete timer_;
}

void ScreenSaverView::startAnimation() {
    animating_ = true;
    notePointerAtStart();
    waitingForFrame_ = false;
    due_ = steadySeconds();
    startTimerFor(interval_);
    due_ += interval_;
}

void ScreenSaverView::stopAnimation() {
    animating_ = false;
    waitingForFrame_ = false;
    timer_->stop();
    setCursorHiddenUntilMouseMoves(false);
}

void ScreenSaverView::setAnimationTimeInterval(double seconds) {
    interval_ = seconds > 0 ? seconds : 1.0 / 30.0;
}

void ScreenSaverView::startTimerFor(double seconds) {
    // Whole milliseconds, rounded up: a tick never comes before its time.
    timer_->start(std::max(0, int(std::ceil(seconds * 1000.0))));
}

// A tick draws, or asks the window for a frame and draws when it comes. A
// tick that comes before the saver's delay has run (the timer rounds) waits
// for it rather than for the next interval.
void ScreenSaverView::tick() {
    if (!animating_ || covered_ || waitingForFrame_) return;
    const double early = timeOfNextFrame() - now();
    if (early > 0) {
        startTimerFor(early);
        return;
    }
    if (requestFrame_) {
        waitingForFrame_ = true;
        requestFrame_();
        return;
    }
    drawTick();
}

void ScreenSaverView::drawTick() {
    runAtFrameBoundary([this] { animateOneFrame(); });
    // The frame may have stopped the view (an error, a key that ends it).
    if (animating_ && !covered_) scheduleNextTick();
}

bool ScreenSaverView::drawRequestedFrame() {
    if (!waitingForFrame_) return false;
    waitingForFrame_ = false;
    if (!animating_) return false;
    drawingRequested_ = true;
    drawTick();
    drawingRequested_ = false;
    return true;
}

void ScreenSaverView::scheduleNextTick() {
    const double t = steadySeconds();
    due_ = std::max({due_ + interval_, t + (timeOfNextFrame() - now()), t});
    startTimerFor(due_ - t);
}

void ScreenSaverView::setCovered(bool covered) {
    if (covered == covered_) return;
    covered_ = covered;
    if (covered) {
        timer_->stop();
    } else if (animating_) {
        // Drawn at once: what the view shows may be old.
        due_ = steadySeconds();
        // NOTE: Qt's Wayland windows drop an update asked for while the
        // compositor sent no frames; the frame drawn now asks anew.
        if (waitingForFrame_)
            drawRequestedFrame();
        else
            startTimerFor(0);
    }
}

void ScreenSaverView::setFrame(Rect frame) {
    frame_ = frame;
    if (context_) context_->resize(std::max(1, int(frame.size.width)), std::max(1, int(frame.size.height)));
}

void ScreenSaverView::setFrameSize(Size size) {
    Rect f = frame_;
    f.size = size;
    ScreenSaverView::setFrame(f);
}

Context2D *ScreenSaverView::graphicsContext() {
    if (!context_)
        context_ = std::make_unique<Context2D>(std::max(1, int(frame_.size.width)),
                                               std::max(1, int(frame_.size.height)));
    return context_.get();
}

// The window's place on screen plus the view's own place inside it: the
// frame's origin is its bottom-left corner, y up from the window's bottom,
// in device pixels; the window maps logical pixels, y down.
Point ScreenSaverView::topLeftOnScreen() const {
    if (!window_) return Point{};
    const double dpr = window_->devicePixelRatio();
    const QPoint p = window_->mapToGlobal(QPoint(0, 0));
    const double top = window_->height() - (frame_.origin.y + frame_.size.height) / dpr;
    return Point{p.x() + frame_.origin.x / dpr, p.y() + top};
}

double ScreenSaverView::screenHeight() const {
    const auto screens = QGuiApplication::screens();
    if (!screens.isEmpty()) return screens.first()->geometry().height();
    if (QGuiApplication::primaryScreen()) return QGuiApplication::primaryScreen()->geometry().height();
    return 0;
}

// The screen showing the view (else the primary one), named by a hash of
// its name so that the id stays the same from run to run.
unsigned ScreenSaverView::displayId() const {
    QScreen *screen = window_ ? window_->screen() : nullptr;
    if (!screen && qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        screen = QGuiApplication::primaryScreen();
    if (!screen) return 1;
    QString key = screen->name();
    if (key.isEmpty()) key = QString::number(QGuiApplication::screens().indexOf(screen));
    key += '/' + screen->serialNumber();
    unsigned id = hashName(key);
    return id ? id : 1;
}

// Called on every tick of a full-screen view; hides once, shows again on the
// next real pointer movement, on stop, or when asked.
void ScreenSaverView::setCursorHiddenUntilMouseMoves(bool hidden) {
    hidden = hidden && !isPreview_;
    if (hidden == cursorHidden_) return;
    cursorHidden_ = hidden;
    if (hidden)
        pushBlankCursor();
    else
        popBlankCursor();
}

bool ScreenSaverView::trackPointer(const Event &e) {
    if (e.type != Event::MouseDown && e.type != Event::MouseUp && e.type != Event::MouseMoved &&
        e.type != Event::MouseDragged && e.type != Event::ScrollWheel)
        return false;
    const Point p{e.locationInWindow.x - frame_.origin.x, e.locationInWindow.y - frame_.origin.y};
    const bool move = e.type == Event::MouseMoved || e.type == Event::MouseDragged;
    if (!pointerKnown_) {
        pointerKnown_ = true;
        pointerReference_ = p;
    } else if (move && cursorHidden_ && (p.x != pointer_.x || p.y != pointer_.y)) {
        setCursorHiddenUntilMouseMoves(false);
    }
    pointer_ = p;
    return move && std::hypot(p.x - pointerReference_.x, p.y - pointerReference_.y) >= kRealMovement;
}

// The first motion event then already counts: a quick flick may reach the
// program as one event. Where the server cannot say (or in a preview) the
// first mouse event sets the reference, as before.
void ScreenSaverView::notePointerAtStart() {
    pointerKnown_ = false;
    if (isPreview_ || !window_ || !qobject_cast<QGuiApplication *>(QCoreApplication::instance())) return;
    Point global;
    if (Desktop::current().pointerPosition(&global) != DesktopAnswer::Done) return;
    const QPointF at = window_->mapFromGlobal(QPointF(global.x, global.y));
    const qreal dpr = window_->devicePixelRatio();
    const double height = std::max(1L, std::lround(window_->height() * dpr));
    pointer_ = pointerReference_ = Point{at.x() * dpr - frame_.origin.x, height - at.y() * dpr - frame_.origin.y};
    pointerKnown_ = true;
}

GLFormat ScreenSaverView::openGLFormat() const { return GLFormat{}; }

void ScreenSaverView::dispatchEvent(const Event &e) {
    trackPointer(e);
    handleEvent(e);
}

void ScreenSaverView::handleEvent(const Event &e) {
    const bool moved = trackPointer(e);
    if (isPreview_) return;
    bool end = false;
    switch (e.type) {
    case Event::KeyDown:
    case Event::MouseDown:
    case Event::ScrollWheel:
        end = true;
        break;
    case Event::FlagsChanged:
        end = e.modifierFlags != 0;  // a modifier went down, not the last one up
        break;
    case Event::MouseMoved:
    case Event::MouseDragged:
        end = moved;
        break;
    case Event::KeyUp:
    case Event::MouseUp:
        break;
    }
    if (end && onExitRequested) onExitRequested();
}

QImage ScreenSaverView::grabFrame() { return graphicsContext()->image().copy(); }

// NOTE: a raster window only repaints a dirty region; requestUpdate alone
// would paint nothing there. A frame drawn for the window's own update is
// painted by the window right after it.
void ScreenSaverView::presentFrame() {
    if (window_ && !wantsOpenGLSurface() && !drawingRequested_) window_->requestUpdate();
}

}  // namespace platform
