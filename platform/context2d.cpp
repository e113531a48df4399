// The 2D contexts and painters over QImage and QPainter.
#include "platform/context2d.h"
#include "platform/font.h"
#include "platform/geometry.h"

#include <QColor>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>
#include <QVarLengthArray>

#include <cstring>
#include <vector>

namespace platform {

namespace {

// The toolkit's colour for a word, through its floating-point components
// as the emulation has always made them.
QColor toQColor(Color c) {
    const uint32_t p = c.argb;
    return QColor::fromRgbF(float(((p >> 16) & 0xFF) / 255.0), float(((p >> 8) & 0xFF) / 255.0),
                            float((p & 0xFF) / 255.0), float(((p >> 24) & 0xFF) / 255.0));
}

QRectF toQRectF(const Rect &r) { return QRectF(r.origin.x, r.origin.y, r.size.width, r.size.height); }
QRectF toQRectF(const DeviceRect &r) { return QRectF(r.x, r.y, r.width, r.height); }

QPainter::CompositionMode compositionMode(BlendMode mode) {
    switch (mode) {
    case BlendMode::Darken: return QPainter::CompositionMode_Darken;
    case BlendMode::Difference: return QPainter::CompositionMode_Difference;
    case BlendMode::Lighten: return QPainter::CompositionMode_Lighten;
    case BlendMode::Normal: break;
    }
    return QPainter::CompositionMode_SourceOver;
}

// Copies n 32-bit pixels with their alpha forced opaque, eight at a time
// over 64-bit words: the compiler's default optimisation leaves a plain
// per-pixel loop unvectorised, and that loop was most of XPutImage's time.
void copyOpaque(uchar *to, const uchar *from, int n) {
    constexpr uint64_t kOpaque2 = 0xFF000000FF000000ull;
    int c = 0;
    for (; c + 8 <= n; c += 8) {
        uint64_t v[4];
        memcpy(v, from + size_t(c) * 4, sizeof v);
        for (uint64_t &x : v) x |= kOpaque2;
        memcpy(to + size_t(c) * 4, v, sizeof v);
    }
    for (; c < n; ++c) {
        uint32_t x;
        memcpy(&x, from + size_t(c) * 4, 4);
        x |= 0xFF000000u;
        memcpy(to + size_t(c) * 4, &x, 4);
    }
}

// The light pixels of img inside src (device pixels), moved so that src's
// top-left corner lands on `at`.
QRegion lightRegion(const QImage &img, const QRect &src, QPoint at) {
    QRect r = src & img.rect();
    std::vector<QRect> rects;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        int x = r.left();
        while (x <= r.right()) {
            if (qGray(line[x]) < 128) {
                ++x;
                continue;
            }
            int start = x;
            while (x <= r.right() && qGray(line[x]) >= 128) ++x;
            rects.emplace_back(at.x() + start - src.x(), at.y() + y - src.y(), x - start, 1);
        }
    }
    QRegion region;
    if (!rects.empty()) region.setRects(rects.data(), int(rects.size()));
    return region;
}

}  // namespace

PixelRect toPixelRect(const DeviceRect &r) {
    const QRect q = toQRectF(r).toRect();
    return PixelRect{q.x(), q.y(), q.width(), q.height()};
}

int roundToInt(double v) { return qRound(v); }

Size pictureSize(const void *picture) {
    const auto *img = static_cast<const QImage *>(picture);
    return Size{double(img->width()), double(img->height())};
}

// ------------------------------------------------------------- contexts

struct Context2D::Impl {
    QImage image;
    QImage snapshot;
    std::vector<std::pair<Color, Color>> stack;  // fill, stroke
    // One painter kept open on the image between primitives: opening a
    // painter costs more than filling a small polygon, and the emulation
    // paints each primitive with a painter of its own. Each Painter2D
    // borrows it between a save and a restore, so it starts from the
    // state a new painter has. Ended before the image is handed out,
    // written behind its back or replaced. Declared after the image, so
    // that it ends first.
    std::unique_ptr<QPainter> painter;
    bool lent = false;

    void endPainter() {
        if (!painter) return;
        painter->end();
        painter.reset();
    }
};

Context2D::Context2D(unsigned char *pixels, int width, int height, int bytesPerLine)
    : d_(std::make_unique<Impl>()) {
    d_->image = QImage(pixels, width, height, bytesPerLine, QImage::Format_RGB32);
    width_ = d_->image.width();
    height_ = d_->image.height();
}

Context2D::Context2D(int width, int height) : d_(std::make_unique<Impl>()) {
    d_->image = QImage(width, height, QImage::Format_RGB32);
    d_->image.fill(0xFF000000u);
    width_ = d_->image.width();
    height_ = d_->image.height();
}

Context2D::~Context2D() = default;

bool Context2D::isNull() const { return d_->image.isNull(); }
// NOTE: writing through bits() detaches an image that a copy handed out
// shares, which would leave an open painter drawing into the copy.
unsigned char *Context2D::bits() {
    d_->endPainter();
    return d_->image.isNull() ? nullptr : d_->image.bits();
}
const uint32_t *Context2D::constScanLine(int y) const {
    return reinterpret_cast<const uint32_t *>(d_->image.constScanLine(y));
}
std::size_t Context2D::bytesPerLine() const { return std::size_t(d_->image.bytesPerLine()); }
QImage &Context2D::image() {
    d_->endPainter();
    return d_->image;
}
const QImage &Context2D::image() const {
    d_->endPainter();
    return d_->image;
}

void Context2D::resize(int width, int height) {
    d_->endPainter();
    QImage &image = d_->image;
    if (width == image.width() && height == image.height()) return;
    QImage next(width, height, QImage::Format_RGB32);
    next.fill(0xFF000000u);
    // Keep the bottom-left-anchored content, as a y-up surface does.
    QPainter p(&next);
    p.drawImage(QPointF(0, height - image.height()), image);
    p.end();
    image = std::move(next);
    width_ = image.width();
    height_ = image.height();
}

void Context2D::setFillColor(const QColor &c) { fill_ = Color{c.rgba()}; }
void Context2D::setStrokeColor(const QColor &c) { stroke_ = Color{c.rgba()}; }

void Context2D::saveState() { d_->stack.emplace_back(fill_, stroke_); }

void Context2D::restoreState() {
    if (d_->stack.empty()) return;
    fill_ = d_->stack.back().first;
    stroke_ = d_->stack.back().second;
    d_->stack.pop_back();
}

void Context2D::fillRect(const Rect &r) {
    Painter2D p(*this);
    p.fillRect(r, fill_);
}

void Context2D::drawOpaqueRows(const DeviceRect &target, const unsigned char *rows, std::size_t bpl, int w, int h) {
    d_->endPainter();
    QImage &canvas = d_->image;
    const QRectF dev = toQRectF(target);
    const QRect whole = dev.toRect();
    if (QRectF(whole) == dev && canvas.depth() == 32 && canvas.rect().contains(whole)) {
        // Whole pixels inside the picture (the usual case): the rows go
        // straight in, in one pass instead of a copy to a scratch image and
        // a painter drawing it (the same pixels: the painter draws an
        // opaque image over them unclipped).
        dropSnapshot();  // nothing else may share the pixels while they change
        uchar *base = canvas.bits();
        const size_t stride = size_t(canvas.bytesPerLine());
        for (int r = 0; r < h; ++r)
            copyOpaque(base + size_t(whole.y() + r) * stride + size_t(whole.x()) * 4, rows + size_t(r) * bpl, w);
        return;
    }
    QImage tmp(w, h, QImage::Format_RGB32);
    for (int r = 0; r < h; ++r) copyOpaque(tmp.scanLine(r), rows + size_t(r) * bpl, w);  // alpha is not drawn
    QPainter p(&canvas);
    p.drawImage(dev, tmp);
}

void Context2D::takeSnapshot() {
    if (d_->snapshot.isNull()) d_->snapshot = d_->image.copy();
}

void Context2D::takeSnapshot(const DeviceRect &area) { d_->snapshot = d_->image.copy(toQRectF(area).toRect()); }

bool Context2D::hasSnapshot() const { return !d_->snapshot.isNull(); }

void Context2D::dropSnapshot() {
    if (!d_->snapshot.isNull()) d_->snapshot = QImage();
}

// --------------------------------------------------------------- regions

struct PixelRegion::Impl {
    QRegion region;
};

PixelRegion::PixelRegion() = default;
PixelRegion::~PixelRegion() = default;
PixelRegion::PixelRegion(PixelRegion &&) noexcept = default;
PixelRegion &PixelRegion::operator=(PixelRegion &&) noexcept = default;

PixelRegion PixelRegion::lightPixels(const Context2D &c, const PixelRect &area) {
    PixelRegion r;
    r.d_ = std::make_unique<Impl>();
    r.d_->region = lightRegion(c.d_->image, QRect(area.x, area.y, area.width, area.height), QPoint(0, 0));
    return r;
}

// -------------------------------------------------------------- painters

// The context's kept painter, borrowed for one primitive; a second
// painter on a context whose painter is out gets one of its own, as it
// always did.
struct Painter2D::Impl {
    explicit Impl(Context2D::Impl &c) : context(&c) {
        if (c.lent) {
            own = std::make_unique<QPainter>(&c.image);
            painter = own.get();
            return;
        }
        if (!c.painter) c.painter = std::make_unique<QPainter>(&c.image);
        c.lent = true;
        painter = c.painter.get();
        painter->save();
    }
    ~Impl() {
        if (own) return;
        painter->restore();
        context->lent = false;
    }
    Impl(const Impl &) = delete;
    Impl &operator=(const Impl &) = delete;

    Context2D::Impl *context;
    std::unique_ptr<QPainter> own;
    QPainter *painter = nullptr;
    QPainterPath path;
    QTransform device;
};

Painter2D::Painter2D(Context2D &c) : d_(std::make_unique<Impl>(*c.d_)) {
    d_->device = QTransform(1, 0, 0, -1, 0, c.height_);
    d_->painter->setTransform(d_->device);
}

Painter2D::~Painter2D() = default;
Painter2D::Painter2D(Painter2D &&) noexcept = default;
Painter2D &Painter2D::operator=(Painter2D &&) noexcept = default;
void Painter2D::end() { d_.reset(); }

void Painter2D::setBlendMode(BlendMode mode) { d_->painter->setCompositionMode(compositionMode(mode)); }

void Painter2D::setAntialiasing(bool on) { d_->painter->setRenderHint(QPainter::Antialiasing, on); }

void Painter2D::setFill(Color c) {
    const QColor q = toQColor(c);
    d_->painter->setBrush(q);
    d_->painter->setPen(q);
    fill_ = c;
}

void Painter2D::setStroke(Color c, double width, LineCap cap, LineJoin join) {
    QPen pen(toQColor(c));
    pen.setWidthF(width);
    switch (join) {
    case LineJoin::Miter: pen.setJoinStyle(Qt::MiterJoin); break;
    case LineJoin::Round: pen.setJoinStyle(Qt::RoundJoin); break;
    case LineJoin::Bevel: pen.setJoinStyle(Qt::BevelJoin); break;
    }
    switch (cap) {
    case LineCap::Flat: pen.setCapStyle(Qt::FlatCap); break;
    case LineCap::Round: pen.setCapStyle(Qt::RoundCap); break;
    case LineCap::Square: pen.setCapStyle(Qt::SquareCap); break;
    }
    pen.setMiterLimit(10);
    d_->painter->setBrush(Qt::NoBrush);
    d_->painter->setPen(pen);
}

void Painter2D::setPlainStroke(Color c) { d_->painter->setPen(QPen(toQColor(c))); }

void Painter2D::save() { d_->painter->save(); }
void Painter2D::restore() { d_->painter->restore(); }

namespace {
// Narrows p's clip to region r, given in device pixels (image rows from the top).
void clipFurther(QPainter &p, const QRegion &r) {
    QTransform t = p.transform();
    p.resetTransform();
    if (p.hasClipping())
        p.setClipRegion(r, Qt::IntersectClip);
    else
        p.setClipRegion(r);
    p.setTransform(t);
}
}  // namespace

void Painter2D::clipTo(const PixelRegion &r, int dx, int dy) {
    clipFurther(*d_->painter, r.d_ ? r.d_->region.translated(dx, dy) : QRegion());
}

void Painter2D::clipToLightPixels(const Context2D &src, const DeviceRect &area, int atX, int atY) {
    clipFurther(*d_->painter, lightRegion(src.d_->snapshot, toQRectF(area).toRect(), QPoint(atX, atY)));
}

void Painter2D::clipToMask(const unsigned char *bits, std::size_t bpl, int srcX, int srcY, int w, int h, int atX,
                           int atY, bool set) {
    // Row spans of the pixels whose bit is as asked.
    auto take = [&](int c, int r) {
        const int x = srcX + c;
        return (((bits[size_t(srcY + r) * bpl + size_t(x >> 3)] >> (x & 7)) & 1) != 0) == set;
    };
    std::vector<QRect> rects;
    for (int y = 0; y < h; ++y) {
        int x = 0;
        while (x < w) {
            if (!take(x, y)) {
                ++x;
                continue;
            }
            int start = x;
            while (x < w && take(x, y)) ++x;
            rects.emplace_back(atX + start, atY + y, x - start, 1);
        }
    }
    QRegion region;
    if (!rects.empty()) region.setRects(rects.data(), int(rects.size()));
    clipFurther(*d_->painter, region);
}

void Painter2D::fillRect(const Rect &r, Color c) { d_->painter->fillRect(toQRectF(r), toQColor(c)); }

void Painter2D::fillRect(const Rect &r) { d_->painter->fillRect(toQRectF(r), d_->painter->brush()); }

void Painter2D::moveTo(double x, double y) { d_->path.moveTo(x, y); }
void Painter2D::lineTo(double x, double y) { d_->path.lineTo(x, y); }
void Painter2D::addRect(const Rect &r) { d_->path.addRect(toQRectF(r)); }
void Painter2D::arcMoveTo(const Rect &box, double angle) { d_->path.arcMoveTo(toQRectF(box), angle); }
void Painter2D::arcTo(const Rect &box, double start, double sweep) { d_->path.arcTo(toQRectF(box), start, sweep); }
void Painter2D::closeSubpath() { d_->path.closeSubpath(); }

void Painter2D::fillPath(FillRule rule) {
    d_->path.setFillRule(rule == FillRule::Winding ? Qt::WindingFill : Qt::OddEvenFill);
    d_->painter->fillPath(d_->path, d_->painter->brush());
    d_->path.clear();
}

void Painter2D::fillPolygon(const Point *points, int n, FillRule rule) {
    QVarLengthArray<QPointF, 32> q(n);
    for (int i = 0; i < n; ++i) q[i] = QPointF(points[i].x, points[i].y);
    QPainter &p = *d_->painter;
    const QPen pen = p.pen();
    p.setPen(Qt::NoPen);
    p.drawPolygon(q.data(), n, rule == FillRule::Winding ? Qt::WindingFill : Qt::OddEvenFill);
    p.setPen(pen);
}

void Painter2D::strokePath() {
    d_->painter->strokePath(d_->path, d_->painter->pen());
    d_->path.clear();
}

void Painter2D::drawSnapshot(const Context2D &src, const DeviceRect &target) {
    d_->painter->resetTransform();
    d_->painter->drawImage(toQRectF(target), src.d_->snapshot);
}

void Painter2D::drawSnapshot(const Context2D &src, const DeviceRect &target, const DeviceRect &source) {
    d_->painter->resetTransform();
    d_->painter->drawImage(toQRectF(target), src.d_->snapshot, toQRectF(source));
}

void Painter2D::drawPicture(const void *image, bool anyFormat, double m, double o, int orientation, double x,
                            double y) {
    QImage picture = *static_cast<const QImage *>(image);
    if (anyFormat && picture.format() != QImage::Format_RGB32 &&
        picture.format() != QImage::Format_ARGB32_Premultiplied)
        picture = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const double w = picture.width(), h = picture.height();
    // Picture pixels (rows from the top) to the picture's y-up box, then
    // the orientation, then the offsets, then the device.
    const QTransform upright(m / w, 0, 0, -o / h, 0, o);
    QTransform orient;
    switch (orientation) {
    case 2: orient = QTransform(-1, 0, 0, 1, m, 0); break;
    case 3: orient = QTransform(-1, 0, 0, -1, m, o); break;
    case 4: orient = QTransform(1, 0, 0, -1, 0, o); break;
    case 5: orient = QTransform(0, -1, -1, 0, o, m); break;
    case 6: orient = QTransform(0, -1, 1, 0, 0, m); break;
    case 7: orient = QTransform(0, 1, 1, 0, 0, 0); break;
    case 8: orient = QTransform(0, 1, -1, 0, o, 0); break;
    default: break;
    }
    QPainter &p = *d_->painter;
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.setTransform(upright * orient * QTransform::fromTranslate(x, y) * d_->device);
    p.drawImage(QPointF(0, 0), picture);
}

// Upright, unscaled, solid, antialiased text blended over the picture, the
// common case, is drawn from the toolkit's cache of rendered glyphs; other
// text (a rotated or scaled context, a pattern, a blend mode, aliased
// edges) is filled from the glyphs' outlines. Tracing and filling
// outlines cost some fifteen times the cache for short strings.
void Painter2D::fillText(Font &f, const char *latin1, int length, double x, double y) {
    QPainter &p = *d_->painter;
    const QBrush brush = p.brush();
    // The context is y-up; glyphs are y-down: flip about the baseline so
    // the text comes out upright.
    p.translate(x, y);
    p.scale(1, -1);
    if (p.transform().type() <= QTransform::TxTranslate && brush.style() == Qt::SolidPattern &&
        p.compositionMode() == QPainter::CompositionMode_SourceOver && p.testRenderHint(QPainter::Antialiasing)) {
        p.setPen(brush.color());
        p.drawGlyphRun(QPointF(0, 0), f.stringGlyphs(latin1, length));
        return;
    }
    p.fillPath(f.stringPath(latin1, length), brush);
}

}  // namespace platform
