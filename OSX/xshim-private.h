// Private records of the X11 emulation, shared by its source files
// (xshim*.cpp). Hacks never see these: they hold pointers only.
#pragma once

// NOTE: Qt before the Xlib names: None and True are macros there, and Qt
// headers read after them (QEvent::None) no longer parse.
#include <QCoreApplication>

#include "xshim.h"

#include "platform/platform.h"

#include <QImage>
#include <QRegion>

#include <memory>

namespace platform {
class ScreenSaverView;
}

// Input sources are indexed by descriptor; valid descriptors are 1 to 1023.
enum { XSHIM_MAX_FDS = 1024 };

// One timeout (xshim-timers.cpp). The scheduled platform timer holds one
// reference; the record is freed when the last reference goes.
struct xshim_timer {
    std::shared_ptr<platform::RunLoopTimer> platform_timer;
    int32_t refcount;
    XtTimerCallbackProc callback;
    XtPointer closure;
};

// One watched descriptor (xshim-timers.cpp); refcount is 1 while registered.
struct xshim_input {
    XtAppContext app;
    int32_t refcount;
    XtInputCallbackProc callback;
    XtPointer closure;
    int32_t fd;
};

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

// The platform timer's hooks on a timer record: it takes one reference when
// scheduled, gives it back after firing or removal, and fires through the callback.
xshim_timer *xshim_timer_retain(xshim_timer *timer);
void xshim_timer_release(xshim_timer *timer);
void xshim_timer_cb(platform::RunLoopTimer *platform_timer, xshim_timer *timer);

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

// Drawing with a GC (xshim-draw.cpp): a painter on d's context with the GC
// applied (function as blend mode, clip mask, colour for fill or stroke,
// antialiasing, line width/cap/join), transformed to y-up coordinates.
// Destroying the painter restores the context; then call gc_end.
std::unique_ptr<QPainter> gc_begin(Drawable d, GC gc, bool fill);
// Ends a primitive on d: drops its cached image.
void gc_end(Drawable d);

// Steps shared by the primitives, the image transfers and text
// (xshim-draw.cpp). Painters come from d's context with the y-up transform.

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
// A filled pie or stroked arc, angles in 1/64 degree (xshim-draw.cpp).
void draw_arc(Drawable d, GC gc, int x, int y, unsigned int width, unsigned int height, int angle1,
              int angle2, bool fill);

// A pixmap record over a copy of src's pixels (xshim-image.cpp); none when
// the memory cannot be had.
Pixmap copy_pixmap(Pixmap src);
