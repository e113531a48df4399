// The X11 emulation's core: the fatal-error routine, pixel values, the
// coordinate rule. Display, screen and window calls follow below.
#include "xshim-private.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

extern "C" void xshim_abort(const char *fmt, ...) {
    char buf[10240];
    if (!fmt || !*fmt) {
        strcpy(buf, "abort");
    } else {
        va_list ap;
        va_start(ap, fmt);
        vsnprintf(buf, sizeof buf, fmt, ap);
        va_end(ap);
    }
    throw platform::InternalInconsistencyException(buf);
}

void validate_pixel(unsigned long pixel, unsigned int depth, bool alpha_allowed) {
    if (depth == 1) {
        if (pixel != 0 && pixel != 1) xshim_abort("%s", "bogus mono pixel");
    } else if (!alpha_allowed && (pixel & 0xFF000000UL) != 0xFF000000UL) {
        xshim_abort("%s", "bogus color pixel");
    }
}

QColor pixel_color(unsigned long pixel, unsigned int depth) {
    if (depth == 1) return pixel ? QColor::fromRgbF(1, 1, 1, 1) : QColor::fromRgbF(0, 0, 0, 1);
    return QColor::fromRgbF(float(((pixel >> 16) & 0xFF) / 255.0), float(((pixel >> 8) & 0xFF) / 255.0),
                            float((pixel & 0xFF) / 255.0), float(((pixel >> 24) & 0xFF) / 255.0));
}

void set_color(platform::Context2D *cg, unsigned long pixel, unsigned int depth, bool alpha_allowed,
               bool fill) {
    validate_pixel(pixel, depth, alpha_allowed);
    QColor c = pixel_color(pixel, depth);
    if (fill)
        cg->setFillColor(c);
    else
        cg->setStrokeColor(c);
}

QPointF map_point(Drawable d, double x, double y) {
    return QPointF(d->frame[0] + x, d->frame[1] + d->frame[3] - y);
}

QRectF map_rect(Drawable d, double x, double y, double w, double h) {
    return QRectF(d->frame[0] + x, d->frame[1] + d->frame[3] - y - h, w, h);
}

void invalidate_drawable_cache(Drawable d) {
    if (d) d->cached_image.reset();
}
