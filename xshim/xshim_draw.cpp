// Graphics contexts and the drawing primitives. A GC is applied to a fresh
// painter on the drawable's context for each primitive, so no setting
// outlives the primitive that used it.
#include "xshim/xshim_private.h"
#include "xshim/xshim_draw.h"
#include "xshim/xshim_pixmap.h"

#include <QPainterPath>

#include <cmath>
#include <vector>

namespace {

constexpr unsigned long kUnimplementedMask = 0x713d22;

// Aborts when a GC holds a clip mask without its image or the reverse: a
// GC record changed behind the emulation's back.
void check_clip(GC gc) {
    if (!gc->gcv.clip_mask != !gc->clip_image) xshim_abort("%s", "GC clip mask mixup");
}

QPainter::CompositionMode blend_mode(int function) {
    switch (function) {
    case GXclear:
    case GXcopy:
    case GXset:
        return QPainter::CompositionMode_SourceOver;
    case GXand:
        return QPainter::CompositionMode_Darken;
    case GXxor:
        return QPainter::CompositionMode_Difference;
    case GXor:
        return QPainter::CompositionMode_Lighten;
    default:
        xshim_abort("%s", "unknown gcv function");
    }
}

void free_clip(Display *display, GC gc) {
    check_clip(gc);
    if (gc->gcv.clip_mask) XFreePixmap(display, gc->gcv.clip_mask);
    gc->gcv.clip_mask = nullptr;
    gc->clip_image.reset();
    gc->clip_region = QRegion();
}

QPen line_pen(GC gc, const QColor &c) {
    QPen pen(c);
    pen.setWidthF(gc->gcv.line_width == 0 ? 1.0 : double(gc->gcv.line_width));
    switch (gc->gcv.join_style) {
    case JoinMiter:
        pen.setJoinStyle(Qt::MiterJoin);
        break;
    case JoinRound:
        pen.setJoinStyle(Qt::RoundJoin);
        break;
    default:
        pen.setJoinStyle(Qt::BevelJoin);
    }
    switch (gc->gcv.cap_style) {
    case CapNotLast:
    case CapButt:
        pen.setCapStyle(Qt::FlatCap);
        break;
    case CapRound:
        pen.setCapStyle(Qt::RoundCap);
        break;
    default:
        pen.setCapStyle(Qt::SquareCap);
    }
    pen.setMiterLimit(10);
    return pen;
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
QPointF next_point(Drawable d, const QPointF &prev, const XPoint &pt, int mode, bool first) {
    if (first || mode != CoordModePrevious) return map_point(d, pt.x, pt.y);
    return QPointF(prev.x() + pt.x, prev.y() - pt.y);
}

QPainterPath rect_path(const QRectF &r) {
    QPainterPath path;
    path.addRect(r);
    return path;
}

}  // namespace

// ------------------------------------------------------------ shared steps

QRectF device_rect(Drawable d, const QRectF &r) {
    return QRectF(r.x(), d->context->height() - r.y() - r.height(), r.width(), r.height());
}

void clip_further(QPainter *p, const QRegion &r) {
    QTransform t = p->transform();
    p->resetTransform();
    if (p->hasClipping())
        p->setClipRegion(r, Qt::IntersectClip);
    else
        p->setClipRegion(r);
    p->setTransform(t);
}

QRegion light_region(const QImage &img, const QRect &src, QPoint at) {
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

std::unique_ptr<QPainter> push_gc(Drawable d, GC gc) {
    if (!gc) xshim_abort("%s", "no GC");
    check_clip(gc);
    QPainter::CompositionMode mode = blend_mode(gc->gcv.function);
    if (!d || !d->context) xshim_abort("%s", "no CGContext");
    auto p = d->context->beginPainter();
    p->setCompositionMode(mode);
    if (gc->gcv.clip_mask) {
        Pixmap m = gc->gcv.clip_mask;
        if (m->kind != XSHIM_PIXMAP) xshim_abort("%s", "not a pixmap");
        double mh = m->frame[3];
        QRectF at = device_rect(d, QRectF(d->frame[0] + gc->gcv.clip_x_origin,
                                          d->frame[1] + d->frame[3] - gc->gcv.clip_y_origin - mh,
                                          m->frame[2], mh));
        clip_further(p.get(), gc->clip_region.translated(qRound(at.x()), qRound(at.y())));
    }
    return p;
}

std::unique_ptr<QPainter> push_color_gc(Drawable d, GC gc, unsigned long pixel, bool antialias,
                                        bool fill) {
    auto p = push_gc(d, gc);
    if (gc->gcv.function == GXclear) pixel = gc->depth == 1 ? 0 : 0xFF000000UL;
    if (gc->gcv.function == GXset) pixel = gc->depth == 1 ? 1 : 0xFFFFFFFFUL;
    validate_pixel(pixel, unsigned(gc->depth), gc->gcv.alpha_allowed_p);
    QColor c = pixel_color(pixel, unsigned(gc->depth));
    p->setRenderHint(QPainter::Antialiasing, antialias);
    if (fill) {
        p->setBrush(c);
        p->setPen(c);  // text is painted with the pen
    } else {
        p->setBrush(Qt::NoBrush);
        p->setPen(line_pen(gc, c));
    }
    return p;
}

std::unique_ptr<QPainter> gc_begin(Drawable d, GC gc, bool fill) {
    if (!gc) xshim_abort("%s", "no GC");
    return push_color_gc(d, gc, gc->gcv.foreground, gc->gcv.antialias_p, fill);
}

void gc_end(Drawable d) { invalidate_drawable_cache(d); }

void draw_rect(Drawable d, GC gc, int x, int y, unsigned int width, unsigned int height,
               bool use_foreground, bool fill) {
    QRectF r = map_rect(d, x, y, width, height);
    if (gc) {
        auto p = push_color_gc(d, gc, use_foreground ? gc->gcv.foreground : gc->gcv.background,
                               gc->gcv.antialias_p, fill);
        // A rectangle on whole pixels covers them entirely: the painter's
        // rectangle fill gives the same pixels as filling its outline,
        // without tracing it through the antialiasing rasteriser.
        if (fill && r.x() == std::floor(r.x()) && r.y() == std::floor(r.y()) && r.width() == std::floor(r.width()) &&
            r.height() == std::floor(r.height()))
            p->fillRect(r, p->brush());
        else if (fill)
            p->fillPath(rect_path(r), p->brush());
        else
            p->strokePath(rect_path(r), p->pen());
    } else {
        if (!d || !d->context) xshim_abort("%s", "no CGContext");
        auto p = d->context->beginPainter();
        if (fill)
            p->fillRect(r, d->context->fillColor());
        else
            p->strokePath(rect_path(r), QPen(d->context->strokeColor()));
    }
    gc_end(d);
}

void draw_arc(Drawable d, GC gc, int x, int y, unsigned int width, unsigned int height, int angle1,
              int angle2, bool fill) {
    {
        auto p = gc_begin(d, gc, fill);
        QRectF box = map_rect(d, x, y, width, height);
        // The context is y-up, the path's angles are y-down: negate them so
        // positive angles run counter-clockwise on screen, as in X.
        double start = float(angle1 / 64.0), sweep = float(angle2 / 64.0);
        QPainterPath path;
        if (fill)
            path.moveTo(box.center());
        else
            path.arcMoveTo(box, -start);
        path.arcTo(box, -start, -sweep);
        if (std::abs(angle2) >= 23040) path.closeSubpath();
        if (fill) {
            path.setFillRule(Qt::WindingFill);
            p->fillPath(path, p->brush());
        } else {
            p->strokePath(path, p->pen());
        }
    }
    gc_end(d);
}

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
    free_clip(display, gc);
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
    free_clip(display, gc);
    if (!pixmap) return 0;
    if (pixmap->kind != XSHIM_PIXMAP) xshim_abort("%s", "not a pixmap");
    Pixmap copy = copy_pixmap(pixmap);
    if (!copy) return 0;
    gc->gcv.clip_mask = copy;
    gc->clip_image = std::make_unique<QImage>(copy->context->image().copy());
    QRect frame(0, 0, int(copy->frame[2]), int(copy->frame[3]));
    gc->clip_region = light_region(*gc->clip_image, frame, QPoint(0, 0));
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
    auto p = gc_begin(d, gc, true);
    unsigned long pixel = gc->gcv.foreground;
    validate_pixel(pixel, unsigned(gc->depth), gc->gcv.alpha_allowed_p);
    if (gc->depth == 1) pixel = pixel ? 0xFFFFFFFFUL : 0xFF000000UL;
    // NOTE: the memory is QImage::Format_RGB32, whose alpha byte must stay
    // 0xFF for later painting to read it as opaque; drawing ignores it anyway.
    const uint32_t word = uint32_t(pixel) | 0xFF000000u;
    if (!points || count <= 0) {
        p.reset();
        gc_end(d);
        return 0;
    }
    if (d->kind == XSHIM_PIXMAP) {
        p.reset();  // the image may not be written while a painter holds it
        QImage &img = d->context->image();
        uchar *bits = img.isNull() ? nullptr : img.bits();
        if (!bits) xshim_abort("%s", "no bitmap data in Drawable");
        const qsizetype bpl = img.bytesPerLine();
        const int w = std::min(img.width(), int(d->frame[2]));
        const int h = std::min(img.height(), int(d->frame[3]));
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
            reinterpret_cast<uint32_t *>(bits + y * bpl)[x] = word;
        }
    } else {
        const QColor c = QColor::fromRgb(word);
        int x = 0, y = 0;
        for (int i = 0; i < count; ++i) {
            if (i == 0 || mode != CoordModePrevious) {
                x = points[i].x;
                y = points[i].y;
            } else {
                x += points[i].x;
                y += points[i].y;
            }
            p->fillRect(map_rect(d, x, y, 1, 1), c);
        }
        p.reset();
    }
    gc_end(d);
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
        auto p = gc_begin(d, gc, false);
        QPainterPath path(map_point(d, x1, y1));
        path.lineTo(map_point(d, x2, y2));
        p->strokePath(path, p->pen());
    }
    gc_end(d);
    return 0;
}

extern "C" int XDrawLines(Display *, Drawable d, GC gc, XPoint *points, int count, int mode) {
    {
        auto p = gc_begin(d, gc, false);
        if (points && count > 0) {
            // A polyline whose ends meet is closed, so its start gets a join.
            bool closed = count > 1 && points[0].x == points[count - 1].x &&
                          points[0].y == points[count - 1].y;
            int n = closed ? count - 1 : count;
            QPointF at = next_point(d, QPointF(), points[0], mode, true);
            QPainterPath path(at);
            for (int i = 1; i < n; ++i) {
                at = next_point(d, at, points[i], mode, false);
                path.lineTo(at);
            }
            if (closed) path.closeSubpath();
            p->strokePath(path, p->pen());
        }
    }
    gc_end(d);
    return 0;
}

extern "C" int XDrawSegments(Display *, Drawable d, GC gc, XSegment *segments, int count) {
    {
        auto p = gc_begin(d, gc, false);
        QPainterPath path;
        for (int i = 0; segments && i < count; ++i) {
            path.moveTo(map_point(d, segments[i].x1, segments[i].y1));
            path.lineTo(map_point(d, segments[i].x2, segments[i].y2));
        }
        p->strokePath(path, p->pen());
    }
    gc_end(d);
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
        auto p = gc_begin(d, gc, true);
        for (int i = 0; rects && i < count; ++i)
            p->fillPath(rect_path(map_rect(d, rects[i].x, rects[i].y, rects[i].width, rects[i].height)),
                        p->brush());
    }
    gc_end(d);
    return 0;
}

extern "C" int XFillPolygon(Display *, Drawable d, GC gc, XPoint *points, int count, int,
                            int mode) {
    {
        auto p = gc_begin(d, gc, true);
        if (points && count > 0) {
            QPointF at;
            QPainterPath path;
            for (int i = 0; i < count; ++i) {
                at = next_point(d, at, points[i], mode, i == 0);
                at = QPointF(float(at.x()), float(at.y()));
                if (i == 0)
                    path.moveTo(at);
                else
                    path.lineTo(at);
            }
            path.closeSubpath();
            path.setFillRule(gc->gcv.fill_rule == EvenOddRule ? Qt::OddEvenFill : Qt::WindingFill);
            p->fillPath(path, p->brush());
        }
    }
    gc_end(d);
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
