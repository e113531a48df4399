// The 2D drawing of a saver view and of the emulation's pixmaps: raster
// contexts over 32-bit images with y-up coordinates, painters that draw one
// primitive each (blend mode, clip, colour, line, paths, images, text), and
// clip regions. Qt-free: the toolkit stays in context2d.cpp, so the
// emulation draws through here without meeting Qt's headers.
#pragma once

#include "platform/export.h"
#include "platform/geometry.h"

#include <cstddef>
#include <cstdint>
#include <memory>

class QColor;
class QImage;

namespace platform {

class Font;

// A colour as one 0xAARRGGBB word, as the emulation's pixel values are.
struct Color {
    uint32_t argb = 0xFF000000u;
};

// How a painter's source meets the pixels under it.
enum class BlendMode { Normal, Darken, Difference, Lighten };
enum class LineCap { Flat, Square, Round };
enum class LineJoin { Miter, Bevel, Round };
enum class FillRule { EvenOdd, Winding };

// A rectangle in device pixels: x to the right, y down from the image's top
// row (the y-up context coordinates turned over).
struct DeviceRect {
    double x = 0, y = 0, width = 0, height = 0;
};
// Whole device pixels, as the toolkit rounds a DeviceRect to them.
struct PixelRect {
    int x = 0, y = 0, width = 0, height = 0;
};
SOMNEL_EXPORT PixelRect toPixelRect(const DeviceRect &r);
// v rounded to the nearest integer as the toolkit rounds coordinates.
SOMNEL_EXPORT int roundToInt(double v);

// A raster context over a 32-bit image (0xAARRGGBB words, alpha kept at
// 0xFF) with y-up coordinates: the context point (x, y) is image pixel
// (x, height - y). Holds fill and stroke colours and a save/restore stack,
// as the emulation expects of a graphics port, and one snapshot of its
// pixels that area copies read while nothing draws into it.
class SOMNEL_EXPORT Context2D {
public:
    // Over memory owned elsewhere (a pixmap's pixels): width*height words.
    Context2D(unsigned char *pixels, int width, int height, int bytesPerLine);
    // Owning its own image, opaque black.
    Context2D(int width, int height);
    ~Context2D();
    Context2D(const Context2D &) = delete;
    Context2D &operator=(const Context2D &) = delete;

    // False when the image could not be had (no memory).
    bool isNull() const;
    int width() const { return width_; }
    int height() const { return height_; }
    // The pixel words, rows from the top. Writing needs no painter open.
    unsigned char *bits();
    const uint32_t *constScanLine(int y) const;
    std::size_t bytesPerLine() const;
    // Reallocates an owned image (contents kept where they overlap, anchored
    // bottom-left as a y-up surface keeps them; the rest black).
    void resize(int width, int height);

    Color fillColor() const { return fill_; }
    Color strokeColor() const { return stroke_; }
    void setFillColor(Color c) { fill_ = c; }
    void setStrokeColor(Color c) { stroke_ = c; }
    // For callers holding the toolkit's colours (host and platform code).
    void setFillColor(const QColor &c);
    void setStrokeColor(const QColor &c);
    void saveState();
    void restoreState();

    // Fills r (context coordinates) with the fill colour.
    void fillRect(const Rect &r);
    // Draws h rows of w 32-bit pixels into the device rectangle `target`,
    // alpha forced opaque, unblended and unclipped; rows start at `rows`,
    // bytesPerLine apart. Drops the snapshot.
    void drawOpaqueRows(const DeviceRect &target, const unsigned char *rows, std::size_t bytesPerLine, int w,
                        int h);

    // The snapshot: a copy of all the pixels (kept until dropped: one copy
    // serves every area copy until the context is drawn into), or of one
    // area (replacing any snapshot).
    void takeSnapshot();
    void takeSnapshot(const DeviceRect &area);
    bool hasSnapshot() const;
    void dropSnapshot();

    // The image itself, for Qt-facing code (the window that shows a view,
    // frame grabs, tests).
    QImage &image();
    const QImage &image() const;

private:
    friend class Painter2D;
    friend class PixelRegion;
    struct Impl;
    std::unique_ptr<Impl> d_;
    int width_ = 0, height_ = 0;
    Color fill_, stroke_;
};

// A set of device pixels, for clipping.
class SOMNEL_EXPORT PixelRegion {
public:
    PixelRegion();
    ~PixelRegion();
    PixelRegion(PixelRegion &&) noexcept;
    PixelRegion &operator=(PixelRegion &&) noexcept;
    // The light pixels (grey level at least half) of the context's image
    // inside `area`, with area's top-left corner at the origin.
    static PixelRegion lightPixels(const Context2D &c, const PixelRect &area);
    // True once made (a default one holds nothing, not even an empty set).
    explicit operator bool() const { return d_ != nullptr; }

private:
    friend class Painter2D;
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// A painter on a context for one primitive, transformed to its y-up
// coordinates, in the state a new painter has. One painter at a time per
// context; end it (or let it go) before touching the context's pixels
// directly. (The context keeps the toolkit's painter open between
// primitives, and ends it when its pixels or image are asked for.) Paths are built with
// moveTo ... closeSubpath and used up by fillPath or strokePath.
class SOMNEL_EXPORT Painter2D {
public:
    explicit Painter2D(Context2D &c);
    ~Painter2D();
    Painter2D(Painter2D &&) noexcept;
    Painter2D &operator=(Painter2D &&) noexcept;
    void end();

    void setBlendMode(BlendMode mode);
    void setAntialiasing(bool on);
    // Fill: brush and pen of colour c (text is painted with the pen).
    void setFill(Color c);
    // The colour the last setFill gave.
    Color fill() const { return fill_; }
    // Stroke: no brush, a pen of colour c (miter limit 10).
    void setStroke(Color c, double width, LineCap cap, LineJoin join);
    // Stroke with the toolkit's plain pen: one pixel, square caps, bevel joins.
    void setPlainStroke(Color c);
    void save();
    void restore();

    // Narrow the clip (device pixels) to r moved by (dx, dy); to the light
    // pixels of src's snapshot inside `area`, with area's corner moved to
    // (atX, atY); or to the pixels of a 1-bit mask (bit x & 7 of byte x >> 3,
    // from the least significant, rows bytesPerLine apart) that are set
    // (`set`) or clear, for w x h bits from (srcX, srcY), put at (atX, atY).
    void clipTo(const PixelRegion &r, int dx, int dy);
    void clipToLightPixels(const Context2D &src, const DeviceRect &area, int atX, int atY);
    void clipToMask(const unsigned char *bits, std::size_t bytesPerLine, int srcX, int srcY, int w, int h, int atX,
                    int atY, bool set);

    // Rectangles in context coordinates: filled with c, or with the fill.
    void fillRect(const Rect &r, Color c);
    void fillRect(const Rect &r);

    void moveTo(double x, double y);
    void lineTo(double x, double y);
    void addRect(const Rect &r);
    // Arcs on the ellipse in box; angles in degrees, counter-clockwise in
    // the path's own y-down sense.
    void arcMoveTo(const Rect &box, double angle);
    void arcTo(const Rect &box, double start, double sweep);
    void closeSubpath();
    // Uses up the path: filled with the fill, or stroked with the stroke.
    void fillPath(FillRule rule = FillRule::EvenOdd);
    // The polygon through n points (closed back to the first) filled with
    // the fill: the same pixels as the path through them, without one.
    void fillPolygon(const Point *points, int n, FillRule rule);
    void strokePath();

    // The snapshot of src drawn into the device rectangle `target`, whole
    // or the `source` part of it (device pixels of the snapshot).
    void drawSnapshot(const Context2D &src, const DeviceRect &target);
    void drawSnapshot(const Context2D &src, const DeviceRect &target, const DeviceRect &source);
    // A picture (a QImage handed over as an opaque pointer; anyFormat: in
    // any pixel format, converted first), m x o pixels in its own upright
    // orientation, turned by orientation code 1-8 and placed with its
    // corner at the context point (x, y). Smooth scaling.
    void drawPicture(const void *picture, bool anyFormat, double m, double o, int orientation, double x,
                     double y);
    // Latin-1 bytes in font f with the fill, the baseline starting at the
    // context point (x, y).
    void fillText(Font &f, const char *latin1, int length, double x, double y);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
    Color fill_;
};

// The size of a picture handed over as an opaque QImage pointer.
SOMNEL_EXPORT Size pictureSize(const void *picture);

}  // namespace platform
