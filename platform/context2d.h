// The 2D drawing context of a saver view and of the emulation's pixmaps.
#pragma once

#include "platform/export.h"
#include "platform/geometry.h"

#include <QColor>
#include <QImage>
#include <QPainter>

#include <memory>
#include <vector>

namespace platform {

// A raster context over a 32-bit image (QImage::Format_RGB32 words,
// 0xAARRGGBB) with y-up coordinates: the context point (x, y) is image pixel
// (x, height - y). Holds fill and stroke colours and a save/restore stack,
// as the emulation expects of a graphics port.
class SOMNEL_EXPORT Context2D {
public:
    // Over memory owned elsewhere (a pixmap's pixels): width*height words.
    Context2D(uchar *pixels, int width, int height, int bytesPerLine);
    // Owning its own image.
    Context2D(int width, int height);

    QImage &image() { return image_; }
    const QImage &image() const { return image_; }
    int width() const { return image_.width(); }
    int height() const { return image_.height(); }
    // Reallocates an owned image (contents kept where they overlap, rest black).
    void resize(int width, int height);

    QColor fillColor() const { return state_.fill; }
    QColor strokeColor() const { return state_.stroke; }
    void setFillColor(const QColor &c) { state_.fill = c; }
    void setStrokeColor(const QColor &c) { state_.stroke = c; }
    void saveState() { stack_.push_back(state_); }
    void restoreState();

    // y-up -> image pixel coordinates.
    QTransform deviceTransform() const;
    // A painter on the image, already transformed to y-up coordinates.
    // One painter at a time; end it before touching image() directly.
    std::unique_ptr<QPainter> beginPainter();

    // Rectangles filled with the fill colour, in context coordinates.
    void fillRect(const Rect &r);

private:
    struct State {
        QColor fill = Qt::black;
        QColor stroke = Qt::black;
    };
    QImage image_;
    State state_;
    std::vector<State> stack_;
};

}  // namespace platform
