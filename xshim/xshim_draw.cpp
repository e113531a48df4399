// Graphics contexts and the drawing primitives. A GC is applied to a
// painter on the drawable's context for each primitive, which starts from a
// new painter's state, so no setting outlives the primitive that used it.
#include "xshim/xshim_private.h"
#include "xshim/xshim_draw.h"
#include "xshim/xshim_pixmap.h"
#include "platform/context2d.h"
#include "platform/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

using namespace somnel::xshim;
using platform::Painter2D;

namespace {

constexpr unsigned long kUnimplementedMask = 0x713d22;

// Aborts when a GC holds a clip mask without its region or the reverse: a
// GC record changed behind the emulation's back.
void checkClip(GC gc) {
    if (!gc->gcv.clip_mask != !gc->clip_region) xshim_abort("%s", "GC clip mask mixup");
}

platform::BlendMode blendMode(int function) {
    switch (function) {
    case GXclear:
    case GXcopy:
    case GXset:
        return platform::BlendMode::Normal;
    case GXand:
        return platform::BlendMode::Darken;
    case GXxor:
        return platform::BlendMode::Difference;
    case GXor:
        return platform::BlendMode::Lighten;
    default:
        xshim_abort("%s", "unknown gcv function");
    }
}

void freeClip(Display *display, GC gc) {
    checkClip(gc);
    if (gc->gcv.clip_mask) XFreePixmap(display, gc->gcv.clip_mask);
    gc->gcv.clip_mask = nullptr;
    gc->clip_region = platform::PixelRegion();
}

// The GC's line mode on the painter: width (0 draws one pixel wide), cap
// and join.
void setLineStroke(Painter2D &p, GC gc, platform::Color c) {
    const double width = gc->gcv.line_width == 0 ? 1.0 : double(gc->gcv.line_width);
    platform::LineJoin join = platform::LineJoin::Bevel;
    if (gc->gcv.join_style == JoinMiter) join = platform::LineJoin::Miter;
    if (gc->gcv.join_style == JoinRound) join = platform::LineJoin::Round;
    platform::LineCap cap = platform::LineCap::Square;
    if (gc->gcv.cap_style == CapNotLast || gc->gcv.cap_style == CapButt) cap = platform::LineCap::Flat;
    if (gc->gcv.cap_style == CapRound) cap = platform::LineCap::Round;
    p.setStroke(c, width, cap, join);
}

// Copies the masked values into the GC, then validates: the order in which
// a failing call leaves the GC is part of the contract.
void set_gcv(Display *display, GC gc, XGCValues *v, unsigned long mask) {
    if (!mask) return;
    if (!gc || !v) xshim_abort("%s", "no gc");
    XGCValues &g = gc->gcv;
    if (mask & GCFunction) g.function = v->function;
    if (mask & GCForeground) g.foreground = v->foreground;
    if (mask & GCBackground) g.background = v->background;
    if (mask & GCLineWidth) g.line_width = v->line_width;
    if (mask & GCCapStyle) g.cap_style = v->cap_style;
    if (mask & GCJoinStyle) g.join_style = v->join_style;
    if (mask & GCFillRule) g.fill_rule = v->fill_rule;
    if (mask & GCClipXOrigin) g.clip_x_origin = v->clip_x_origin;
    if (mask & GCClipYOrigin) g.clip_y_origin = v->clip_y_origin;
    if (mask & GCSubwindowMode) g.subwindow_mode = v->subwindow_mode;
    if (mask & GCClipMask) XSetClipMask(display, gc, v->clip_mask);
    if (mask & GCFont) XSetFont(display, gc, v->font);
    if (mask & GCForeground) validate_pixel(g.foreground, unsigned(gc->depth), g.alpha_allowed_p);
    if (mask & GCBackground) validate_pixel(g.background, unsigned(gc->depth), g.alpha_allowed_p);
    if (mask & kUnimplementedMask) xshim_abort("%s", "unimplemented gcvalues mask");
}

// The path point of an X point: absolute, or relative to the previous
// context point (y flipped).
platform::Point nextPoint(Drawable d, const platform::Point &prev, const XPoint &pt, int mode, bool first) {
    if (first || mode != CoordModePrevious) return mapPoint(d, pt.x, pt.y);
    return platform::Point{prev.x + pt.x, prev.y - pt.y};
}

bool onWholePixels(const platform::Rect &r) {
    return r.origin.x == std::floor(r.origin.x) && r.origin.y == std::floor(r.origin.y) &&
           r.size.width == std::floor(r.size.width) && r.size.height == std::floor(r.size.height);
}

}  // namespace

// ------------------------------------------------------------ shared steps

namespace somnel::xshim {

Painter2D push_gc(Drawable d, GC gc) {
    if (!gc) xshim_abort("%s", "no GC");
    checkClip(gc);
    const platform::BlendMode mode = blendMode(gc->gcv.function);
    if (!d || !d->context) xshim_abort("%s", "no CGContext");
    Painter2D p(*d->context);
    p.setBlendMode(mode);
    if (gc->gcv.clip_mask) {
        Pixmap m = gc->gcv.clip_mask;
        if (m->kind != XSHIM_PIXMAP) xshim_abort("%s", "not a pixmap");
        double mh = m->frame[3];
        const platform::DeviceRect at =
            deviceRect(d, platform::Rect::make(d->frame[0] + gc->gcv.clip_x_origin,
                                               d->frame[1] + d->frame[3] - gc->gcv.clip_y_origin - mh, m->frame[2], mh));
        p.clipTo(gc->clip_region, platform::roundToInt(at.x), platform::roundToInt(at.y));
    }
    return p;
}

Painter2D push_color_gc(Drawable d, GC gc, unsigned long pixel, bool antialias, bool fill) {
    Painter2D p = push_gc(d, gc);
    if (gc->gcv.function == GXclear) pixel = gc->depth == 1 ? 0 : 0xFF000000UL;
    if (gc->gcv.function == GXset) pixel = gc->depth == 1 ? 1 : 0xFFFFFFFFUL;
    validate_pixel(pixel, unsigned(gc->depth), gc->gcv.alpha_allowed_p);
    const platform::Color c = pixelColor(pixel, unsigned(gc->depth));
    p.setAntialiasing(antialias);
    if (fill)
        p.setFill(c);
    else
        setLineStroke(p, gc, c);
    return p;
}

Painter2D gcBegin(Drawable d, GC gc, bool fill) {
    if (!gc) xshim_abort("%s", "no GC");
    return push_color_gc(d, gc, gc->gcv.foreground, gc->gcv.antialias_p, fill);
}

void gcEnd(Drawable d) { invalidateDrawableCache(d); }

void draw_rect(Drawable d, GC gc, int x, int y, unsigned int width, unsigned int height, bool use_foreground,
               bool fill) {
    const platform::Rect r = mapRect(d, x, y, width, height);
    if (gc) {
        Painter2D p = push_color_gc(d, gc, use_foreground ? gc->gcv.foreground : gc->gcv.background,
                                    gc->gcv.antialias_p, fill);
        // A rectangle on whole pixels covers them entirely: the painter's
        // rectangle fill gives the same pixels as filling its outline,
        // without tracing it through the antialiasing rasteriser.
        if (fill && onWholePixels(r)) {
            p.fillRect(r);
        } else {
            p.addRect(r);
            if (fill)
                p.fillPath();
            else
                p.strokePath();
        }
    } else {
        if (!d || !d->context) xshim_abort("%s", "no CGContext");
        Painter2D p(*d->context);
        if (fill) {
            p.fillRect(r, d->context->fillColor());
        } else {
            p.setPlainStroke(d->context->strokeColor());
            p.addRect(r);
            p.strokePath();
        }
    }
    gcEnd(d);
}

void draw_arc(Drawable d, GC gc, int x, int y, unsigned int width, unsigned int height, int angle1, int angle2,
              bool fill) {
    {
        Painter2D p = gcBegin(d, gc, fill);
        const platform::Rect box = mapRect(d, x, y, width, height);
        // The context is y-up, the path's angles are y-down: negate them so
        // positive angles run counter-clockwise on screen, as in X.
        double start = float(angle1 / 64.0), sweep = float(angle2 / 64.0);
        if (fill)
            p.moveTo(box.origin.x + box.size.width / 2, box.origin.y + box.size.height / 2);
        else
            p.arcMoveTo(box, -start);
        p.arcTo(box, -start, -sweep);
        if (std::abs(angle2) >= 23040) p.closeSubpath();
        if (fill)
            p.fillPath(platform::FillRule::Winding);
        else
            p.strokePath();
    }
    gcEnd(d);
}

}  // namespace somnel::xshim

// ------------------------------------------------------------ GC management

extern "C" GC XCreateGC(Display *display, Drawable d, unsigned long mask, XGCValues *values) {
    auto gc = std::make_unique<xshim_gc>();
    gc->gcv = XGCValues{};
    gc->depth = d && d->kind == XSHIM_PIXMAP ? d->depth : 32;
    gc->gcv.function = GXcopy;
    gc->gcv.foreground = gc->depth == 1 ? 1 : 0xFFFFFFFFUL;
    gc->gcv.background = gc->depth == 1 ? 0 : 0xFF000000UL;
    gc->gcv.line_width = 1;
    gc->gcv.antialias_p = True;
    set_gcv(display, gc.get(), values, mask);
    return gc.release();
}

extern "C" int XChangeGC(Display *display, GC gc, unsigned long mask, XGCValues *values) {
    set_gcv(display, gc, values, mask);
    return 0;
}

extern "C" int XFreeGC(Display *display, GC gc) {
    if (!gc) return 0;
    XUnloadFont(display, gc->gcv.font);
    gc->gcv.font = nullptr;
    freeClip(display, gc);
    delete gc;
    return 0;
}

extern "C" int XSetForeground(Display *, GC gc, unsigned long pixel) {
    if (!gc) xshim_abort("%s", "no gc");
    validate_pixel(pixel, unsigned(gc->depth), gc->gcv.alpha_allowed_p);
    gc->gcv.foreground = pixel;
    return 0;
}

extern "C" int XSetBackground(Display *, GC gc, unsigned long pixel) {
    if (!gc) xshim_abort("%s", "no gc");
    validate_pixel(pixel, unsigned(gc->depth), gc->gcv.alpha_allowed_p);
    gc->gcv.background = pixel;
    return 0;
}

extern "C" int XSetFunction(Display *, GC gc, int function) {
    if (!gc) xshim_abort("%s", "no gc");
    gc->gcv.function = function;  // checked when next drawn with
    return 0;
}

extern "C" int XSetLineAttributes(Display *, GC gc, unsigned int line_width, int line_style,
                                  int cap_style, int join_style) {
    if (!gc) xshim_abort("%s", "no gc");
    gc->gcv.line_width = int(line_width);
    if (line_style != LineSolid) xshim_abort("%s", "only LineSolid implemented");
    gc->gcv.cap_style = cap_style;
    gc->gcv.join_style = join_style;
    return 0;
}

extern "C" int XSetSubwindowMode(Display *, GC gc, int mode) {
    if (!gc) xshim_abort("%s", "no gc");
    gc->gcv.subwindow_mode = mode;
    return 0;
}

extern "C" int XSetGraphicsExposures(Display *, GC, Bool) { return 0; }

extern "C" int XSetClipOrigin(Display *, GC gc, int x, int y) {
    if (!gc) xshim_abort("%s", "no gc");
    gc->gcv.clip_x_origin = x;
    gc->gcv.clip_y_origin = y;
    return 0;
}

// Installs a private copy of the pixmap as the clip, so that drawing into
// the pixmap later leaves the GC's clip as it was.
extern "C" int XSetClipMask(Display *display, GC gc, Pixmap pixmap) {
    if (!gc) xshim_abort("%s", "no gc");
    freeClip(display, gc);
    if (!pixmap) return 0;
    if (pixmap->kind != XSHIM_PIXMAP) xshim_abort("%s", "not a pixmap");
    Pixmap copy = copyPixmap(pixmap);
    if (!copy) return 0;
    gc->gcv.clip_mask = copy;
    gc->clip_region = platform::PixelRegion::lightPixels(
        *copy->context, platform::PixelRect{0, 0, int(copy->frame[2]), int(copy->frame[3])});
    return 0;
}

extern "C" int xshim_XSetAlphaAllowed(Display *, GC gc, Bool allowed) {
    if (!gc) xshim_abort("%s", "no gc");
    gc->gcv.alpha_allowed_p = allowed;
    return 0;
}

extern "C" int xshim_XSetAntiAliasing(Display *, GC gc, Bool antialias) {
    if (!gc) xshim_abort("%s", "no gc");
    gc->gcv.antialias_p = antialias;
    return 0;
}

// ------------------------------------------------------------- primitives

// Points on a pixmap go straight into its pixel memory (no blend, no clip);
// on the window each is a 1 x 1 opaque square under the GC.
extern "C" int XDrawPoints(Display *, Drawable d, GC gc, XPoint *points, int count, int mode) {
    Painter2D p = gcBegin(d, gc, true);
    unsigned long pixel = gc->gcv.foreground;
    validate_pixel(pixel, unsigned(gc->depth), gc->gcv.alpha_allowed_p);
    if (gc->depth == 1) pixel = pixel ? 0xFFFFFFFFUL : 0xFF000000UL;
    // NOTE: the memory's alpha byte must stay 0xFF for later painting to
    // read the pixel as opaque; drawing ignores it anyway.
    const uint32_t word = uint32_t(pixel) | 0xFF000000u;
    if (!points || count <= 0) {
        p.end();
        gcEnd(d);
        return 0;
    }
    if (d->kind == XSHIM_PIXMAP) {
        p.end();  // the pixels may not be written while a painter holds them
        platform::Context2D &cg = *d->context;
        unsigned char *bits = cg.bits();
        if (!bits) xshim_abort("%s", "no bitmap data in Drawable");
        const size_t bpl = cg.bytesPerLine();
        const int w = std::min(cg.width(), int(d->frame[2]));
        const int h = std::min(cg.height(), int(d->frame[3]));
        int x = 0, y = 0;
        for (int i = 0; i < count; ++i) {
            if (i == 0 || mode != CoordModePrevious) {
                x = points[i].x;
                y = points[i].y;
            } else {
                x += points[i].x;
                y += points[i].y;
            }
            if (x < 0 || y < 0 || x >= w || y >= h) continue;
            reinterpret_cast<uint32_t *>(bits + size_t(y) * bpl)[x] = word;
        }
    } else {
        const platform::Color c{word};
        int x = 0, y = 0;
        for (int i = 0; i < count; ++i) {
            if (i == 0 || mode != CoordModePrevious) {
                x = points[i].x;
                y = points[i].y;
            } else {
                x += points[i].x;
                y += points[i].y;
            }
            p.fillRect(mapRect(d, x, y, 1, 1), c);
        }
        p.end();
    }
    gcEnd(d);
    return 0;
}

extern "C" int XDrawPoint(Display *display, Drawable d, GC gc, int x, int y) {
    XPoint pt{short(x), short(y)};
    return XDrawPoints(display, d, gc, &pt, 1, CoordModeOrigin);
}

extern "C" int XDrawLine(Display *, Drawable d, GC gc, int x1, int y1, int x2, int y2) {
    if (!gc) xshim_abort("%s", "no GC");
    if (x1 == x2 && y1 == y2) {
        // A zero-length line is a dot as wide as the line.
        int w = gc->gcv.line_width, h = w / 2;
        if (w > 1 && gc->gcv.cap_style == CapRound)
            draw_arc(d, gc, x1 - h, y1 - h, unsigned(w), unsigned(w), 0, 23040, true);
        else
            draw_rect(d, gc, x1 - h, y1 - h, unsigned(std::max(w, 0)), unsigned(std::max(w, 0)), true, true);
        return 0;
    }
    {
        Painter2D p = gcBegin(d, gc, false);
        const platform::Point a = mapPoint(d, x1, y1), b = mapPoint(d, x2, y2);
        p.moveTo(a.x, a.y);
        p.lineTo(b.x, b.y);
        p.strokePath();
    }
    gcEnd(d);
    return 0;
}

extern "C" int XDrawLines(Display *, Drawable d, GC gc, XPoint *points, int count, int mode) {
    {
        Painter2D p = gcBegin(d, gc, false);
        if (points && count > 0) {
            // A polyline whose ends meet is closed, so its start gets a join.
            bool closed = count > 1 && points[0].x == points[count - 1].x && points[0].y == points[count - 1].y;
            int n = closed ? count - 1 : count;
            platform::Point at = nextPoint(d, platform::Point{}, points[0], mode, true);
            p.moveTo(at.x, at.y);
            for (int i = 1; i < n; ++i) {
                at = nextPoint(d, at, points[i], mode, false);
                p.lineTo(at.x, at.y);
            }
            if (closed) p.closeSubpath();
            p.strokePath();
        }
    }
    gcEnd(d);
    return 0;
}

extern "C" int XDrawSegments(Display *, Drawable d, GC gc, XSegment *segments, int count) {
    {
        Painter2D p = gcBegin(d, gc, false);
        for (int i = 0; segments && i < count; ++i) {
            const platform::Point a = mapPoint(d, segments[i].x1, segments[i].y1);
            const platform::Point b = mapPoint(d, segments[i].x2, segments[i].y2);
            p.moveTo(a.x, a.y);
            p.lineTo(b.x, b.y);
        }
        p.strokePath();
    }
    gcEnd(d);
    return 0;
}

extern "C" int XDrawRectangle(Display *, Drawable d, GC gc, int x, int y, unsigned int width,
                              unsigned int height) {
    if (!gc) xshim_abort("%s", "no GC");
    draw_rect(d, gc, x, y, width, height, true, false);
    return 0;
}

extern "C" int XFillRectangle(Display *, Drawable d, GC gc, int x, int y, unsigned int width,
                              unsigned int height) {
    if (!gc) xshim_abort("%s", "no GC");
    draw_rect(d, gc, x, y, width, height, true, true);
    return 0;
}

extern "C" int XFillRectangles(Display *, Drawable d, GC gc, XRectangle *rects, int count) {
    {
        Painter2D p = gcBegin(d, gc, true);
        for (int i = 0; rects && i < count; ++i) {
            const platform::Rect r = mapRect(d, rects[i].x, rects[i].y, rects[i].width, rects[i].height);
            // As in XFillRectangle: whole pixels need no outline traced.
            if (onWholePixels(r)) {
                p.fillRect(r);
                continue;
            }
            p.addRect(r);
            p.fillPath();
        }
    }
    gcEnd(d);
    return 0;
}

extern "C" int XFillPolygon(Display *, Drawable d, GC gc, XPoint *points, int count, int, int mode) {
    {
        Painter2D p = gcBegin(d, gc, true);
        if (points && count > 0) {
            // Most polygons are small: their points stay on the stack.
            platform::Point few[16];
            std::vector<platform::Point> many(count > 16 ? size_t(count) : 0);
            platform::Point *outline = count > 16 ? many.data() : few;
            platform::Point at;
            for (int i = 0; i < count; ++i) {
                at = nextPoint(d, at, points[i], mode, i == 0);
                at = platform::Point{float(at.x), float(at.y)};
                outline[i] = at;
            }
            p.fillPolygon(outline, count,
                          gc->gcv.fill_rule == EvenOddRule ? platform::FillRule::EvenOdd : platform::FillRule::Winding);
        }
    }
    gcEnd(d);
    return 0;
}

extern "C" int XDrawArc(Display *, Drawable d, GC gc, int x, int y, unsigned int width,
                        unsigned int height, int angle1, int angle2) {
    draw_arc(d, gc, x, y, width, height, angle1, angle2, false);
    return 0;
}

extern "C" int XFillArc(Display *, Drawable d, GC gc, int x, int y, unsigned int width,
                        unsigned int height, int angle1, int angle2) {
    draw_arc(d, gc, x, y, width, height, angle1, angle2, true);
    return 0;
}

extern "C" int XDrawArcs(Display *, Drawable d, GC gc, XArc *arcs, int count) {
    for (int i = 0; arcs && i < count; ++i)
        draw_arc(d, gc, arcs[i].x, arcs[i].y, arcs[i].width, arcs[i].height, arcs[i].angle1,
                 arcs[i].angle2, false);
    return 0;
}

extern "C" int XFillArcs(Display *, Drawable d, GC gc, XArc *arcs, int count) {
    for (int i = 0; arcs && i < count; ++i)
        draw_arc(d, gc, arcs[i].x, arcs[i].y, arcs[i].width, arcs[i].height, arcs[i].angle1,
                 arcs[i].angle2, true);
    return 0;
}
