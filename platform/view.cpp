// The saver view base: frame, preview flag, animation ticks, backing context.
#include "platform/platform.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cmath>

namespace platform {

ScreenSaverView::ScreenSaverView(Rect frame, bool isPreview) : frame_(frame), isPreview_(isPreview) {
    timer_ = new QTimer;
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_, &QTimer::timeout, [this] {
        if (animating_) runAtFrameBoundary([this] { animateOneFrame(); });
    });
}

ScreenSaverView::~ScreenSaverView() {
    delete timer_;
}

void ScreenSaverView::startAnimation() {
    animating_ = true;
    timer_->start(std::max(1, int(std::lround(interval_ * 1000.0))));
}

void ScreenSaverView::stopAnimation() {
    animating_ = false;
    timer_->stop();
}

void ScreenSaverView::setAnimationTimeInterval(double seconds) {
    interval_ = seconds > 0 ? seconds : 1.0 / 30.0;
    if (timer_->isActive()) timer_->start(std::max(1, int(std::lround(interval_ * 1000.0))));
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

Point ScreenSaverView::topLeftOnScreen() const {
    if (!window_) return Point{};
    QPoint p = window_->mapToGlobal(QPoint(0, 0));
    return Point{double(p.x()), double(p.y())};
}

double ScreenSaverView::screenHeight() const {
    const auto screens = QGuiApplication::screens();
    if (!screens.isEmpty()) return screens.first()->geometry().height();
    if (QGuiApplication::primaryScreen()) return QGuiApplication::primaryScreen()->geometry().height();
    return 0;
}

unsigned ScreenSaverView::displayId() const { return 1; }

void ScreenSaverView::setCursorHiddenUntilMouseMoves(bool hidden) { cursorHidden_ = hidden && !isPreview_; }

void ScreenSaverView::handleEvent(const Event &) {
    if (!isPreview_ && onExitRequested) onExitRequested();
}

QImage ScreenSaverView::grabFrame() { return graphicsContext()->image().copy(); }

void ScreenSaverView::presentFrame() {
    if (window_) window_->requestUpdate();
}

}  // namespace platform
