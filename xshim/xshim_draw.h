// Drawing with a GC, shared by the primitives, the image transfers and
// text (defined in xshim_draw.cpp).
#pragma once

#include "xshim/xshim_private.h"

namespace somnel::xshim {

// Drawing with a GC (xshim_draw.cpp): a painter on d's context with the GC
// applied (function as blend mode, clip mask, colour for fill or stroke,
// antialiasing, line width/cap/join), transformed to y-up coordinates.
// Ending the painter leaves the context as it was; then call gcEnd.
platform::Painter2D gcBegin(Drawable d, GC gc, bool fill);
// Ends a primitive on d: drops its snapshot.
void gcEnd(Drawable d);

// Steps shared by the primitives, the image transfers and text
// (xshim_draw.cpp). Painters come from d's context with the y-up transform.

// A painter with the GC's function (blend mode) and clip mask applied.
platform::Painter2D push_gc(Drawable d, GC gc);
// push_gc, then the colour of pixel (forced for GXclear and GXset; validated
// against the GC), antialiasing, and for a stroke the GC's line mode.
platform::Painter2D push_color_gc(Drawable d, GC gc, unsigned long pixel, bool antialias, bool fill);
// Fills the X rectangle with the GC's foreground or background, or without a
// GC with the context's fill colour.
void draw_rect(Drawable d, GC gc, int x, int y, unsigned int width, unsigned int height, bool use_foreground,
               bool fill);
// A filled pie or stroked arc, angles in 1/64 degree (xshim_draw.cpp).
void draw_arc(Drawable d, GC gc, int x, int y, unsigned int width, unsigned int height, int angle1, int angle2,
              bool fill);

}  // namespace somnel::xshim
