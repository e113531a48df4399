// Drawing with a GC, shared by the primitives, the image transfers and
// text (defined in xshim_draw.cpp).
#pragma once

#include "xshim/xshim_private.h"

// Drawing with a GC (xshim_draw.cpp): a painter on d's context with the GC
// applied (function as blend mode, clip mask, colour for fill or stroke,
// antialiasing, line width/cap/join), transformed to y-up coordinates.
// Destroying the painter restores the context; then call gc_end.
std::unique_ptr<QPainter> gc_begin(Drawable d, GC gc, bool fill);
// Ends a primitive on d: drops its cached image.
void gc_end(Drawable d);

// Steps shared by the primitives, the image transfers and text
// (xshim_draw.cpp). Painters come from d's context with the y-up transform.

// A painter with the GC's function (blend mode) and clip mask applied.
std::unique_ptr<QPainter> push_gc(Drawable d, GC gc);
// push_gc, then the colour of pixel (forced for GXclear and GXset; validated
// against the GC), antialiasing, and for a stroke the GC's line mode.
std::unique_ptr<QPainter> push_color_gc(Drawable d, GC gc, unsigned long pixel, bool antialias,
                                        bool fill);
// Narrows p's clip to region r, given in device pixels (image rows from the top).
void clip_further(QPainter *p, const QRegion &r);
// The light pixels of img inside src (device pixels), moved so that src's
// top-left corner lands on `at`.
QRegion light_region(const QImage &img, const QRect &src, QPoint at);
// The device (image pixel) rectangle of a rectangle in d's context coordinates.
QRectF device_rect(Drawable d, const QRectF &context_rect);
// Fills the X rectangle with the GC's foreground or background, or without a
// GC with the context's fill colour.
void draw_rect(Drawable d, GC gc, int x, int y, unsigned int width, unsigned int height,
               bool use_foreground, bool fill);
// A filled pie or stroked arc, angles in 1/64 degree (xshim_draw.cpp).
void draw_arc(Drawable d, GC gc, int x, int y, unsigned int width, unsigned int height, int angle1,
              int angle2, bool fill);
