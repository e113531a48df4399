// The 2D context: a 32-bit image with y-up coordinates and a graphics state.
#include "platform/geometry.h"
#include "platform/context2d.h"

namespace platform {

Context2D::Context2D(uchar *pixels, int width, int height, int bytesPerLine)
    : image_(pixels, width, height, bytesPerLine, QImage::Format_RGB32) {}

Context2D::Context2D(int width, int height) : image_(width, height, QImage::Format_RGB32) {
    image_.fill(0xFF000000u);
}

void Context2D::resize(int width, int height) {
    if (width == image_.width() && height == image_.height()) return;
    QImage next(width, height, QImage::Format_RGB32);
    next.fill(0xFF000000u);
    // Keep the bottom-left-anchored content, as a y-up surface does.
    QPainter p(&next);
    p.drawImage(QPointF(0, height - image_.height()), image_);
    p.end();
    image_ = std::move(next);
}

void Context2D::restoreState() {
    if (stack_.empty()) return;
    state_ = stack_.back();
    stack_.pop_back();
}

QTransform Context2D::deviceTransform() const {
    return QTransform(1, 0, 0, -1, 0, image_.height());
}

std::unique_ptr<QPainter> Context2D::beginPainter() {
    auto p = std::make_unique<QPainter>(&image_);
    p->setTransform(deviceTransform());
    return p;
}

void Context2D::fillRect(const Rect &r) {
    auto p = beginPainter();
    p->fillRect(QRectF(r.origin.x, r.origin.y, r.size.width, r.size.height), state_.fill);
}

}  // namespace platform
