// Private records of the X11 emulation, shared by its source files
// (xshim*.cpp). Hacks never see these: they hold pointers only. The
// emulation draws through the platform's Qt-free 2D contexts.
#pragma once

#include "somnel/xshim.h"
#include "xshim/xshim_view.h"

#include "platform/context2d.h"
#include "platform/geometry.h"

#include <cstdint>
#include <memory>

namespace platform {
class ScreenSaverView;
}

// Input sources are indexed by descriptor; valid descriptors are 1 to 1023.
enum { XSHIM_MAX_FDS = 1024 };

// The input-source table of a display: count occupied slots, indexed by fd.
struct xshim_sources {
    int32_t count;
    XtInputId inputs[XSHIM_MAX_FDS];
};

enum xshim_drawable_kind { XSHIM_WINDOW = 0, XSHIM_PIXMAP = 1 };

struct xshim_Visual {
    uint32_t visualid;  // 0
    int32_t class_;     // 4 = TrueColor
    unsigned long red_mask, green_mask, blue_mask;
    int32_t bits_per_rgb;  // 8
    int32_t map_entries;   // 0
};

struct xshim_Screen {
    Display *display;
    Visual *visual;
};

struct xshim_Display {
    Window root_window;
    Screen *screen;
    xshim_sources *sources;
    uint32_t display_id;
};

struct xshim_drawable {
    xshim_drawable_kind kind;
    // Where all drawing goes. A window's context belongs to its view; a
    // pixmap's context is its own, over `pixels`. The context's snapshot
    // is the drawable's pixels kept between area copies; every operation
    // that draws into the drawable drops it.
    platform::Context2D *context;
    // x, y, width, height in the context's coordinates.
    double frame[4];
    // window part
    platform::ScreenSaverView *view;
    unsigned long background;
    // pixmap part
    int32_t depth;
    unsigned char *pixels;
    std::unique_ptr<platform::Context2D> owned_context;
};

// A graphics context: the hack-visible values (XGCValues, in order) and
// what belongs to the GC alone.
struct xshim_gc {
    XGCValues gcv;
    int32_t depth;  // fixed at creation: the drawable's depth
    // The light pixels of the GC's private copy of its clip mask (where
    // drawing passes), in mask pixels; set exactly when gcv.clip_mask is.
    platform::PixelRegion clip_region;
};

namespace somnel::xshim {

// Emulation-internal helpers (xshim.cpp).

// Aborts "bogus mono pixel" / "bogus color pixel" (see XSetWindowBackground).
void validate_pixel(unsigned long pixel, unsigned int depth, bool alpha_allowed);
// Validates the pixel, then sets the context's fill (fill true) or stroke colour.
void set_color(platform::Context2D *cg, unsigned long pixel, unsigned int depth, bool alpha_allowed, bool fill);
// The colour a pixel stands for at a depth (no validation).
platform::Color pixelColor(unsigned long pixel, unsigned int depth);
// Maps an X point/rectangle of drawable d to its context's y-up coordinates.
platform::Point mapPoint(Drawable d, double x, double y);
platform::Rect mapRect(Drawable d, double x, double y, double w, double h);
// The device (image pixel) rectangle of a rectangle in d's context coordinates.
platform::DeviceRect deviceRect(Drawable d, const platform::Rect &contextRect);
// Drops the drawable's snapshot (every drawing operation ends with this).
void invalidateDrawableCache(Drawable d);

}  // namespace somnel::xshim
