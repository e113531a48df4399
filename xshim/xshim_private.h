// Private records of the X11 emulation, shared by its source files
// (xshim*.cpp). Hacks never see these: they hold pointers only.
#pragma once

// NOTE: Qt before the Xlib names: None and True are macros there, and Qt
// headers read after them (QEvent::None) no longer parse.
#include <QCoreApplication>

#include "somnel/xshim.h"
#include "xshim/xshim_view.h"

#include "platform/context2d.h"
#include "platform/timer.h"
#include "platform/view.h"

#include <QImage>
#include <QRegion>

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
    // pixmap's context is its own, over `pixels`.
    platform::Context2D *context;
    // Snapshot of a pixmap's pixels kept between area copies; dropped by
    // every operation that draws into the drawable.
    std::unique_ptr<QImage> cached_image;
    // x, y, width, height in the context's coordinates.
    double frame[4];
    // window part
    platform::ScreenSaverView *view;
    unsigned long background;
    // pixmap part
    int32_t depth;
    uchar *pixels;
    std::unique_ptr<platform::Context2D> owned_context;
};

// A graphics context: the hack-visible values (XGCValues, in order) and
// what belongs to the GC alone.
struct xshim_gc {
    XGCValues gcv;
    int32_t depth;  // fixed at creation: the drawable's depth
    // The GC's private copy of its clip mask, as an image.
    std::unique_ptr<QImage> clip_image;
    // The light pixels of clip_image (where drawing passes), in mask pixels.
    QRegion clip_region;
};

// Emulation-internal helpers (xshim.cpp).

// Aborts "bogus mono pixel" / "bogus color pixel" (see XSetWindowBackground).
void validate_pixel(unsigned long pixel, unsigned int depth, bool alpha_allowed);
// Validates the pixel, then sets the context's fill (fill true) or stroke colour.
void set_color(platform::Context2D *cg, unsigned long pixel, unsigned int depth, bool alpha_allowed,
               bool fill);
// The colour a pixel stands for at a depth (no validation).
QColor pixel_color(unsigned long pixel, unsigned int depth);
// Maps an X point/rectangle of drawable d to its context's y-up coordinates.
QPointF map_point(Drawable d, double x, double y);
QRectF map_rect(Drawable d, double x, double y, double w, double h);
// Drops the drawable's cached image (every drawing operation ends with this).
void invalidate_drawable_cache(Drawable d);
