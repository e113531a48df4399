// The X11 emulation's core: the fatal-error routine, pixel values, the
// coordinate rule. Display, screen and window calls follow below.
#include "xshim/xshim_private.h"
#include "xshim/xshim_timers_private.h"
#include "platform/context2d.h"
#include "platform/geometry.h"
#include "platform/log.h"
#include "platform/view.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <strings.h>

#include <algorithm>
#include <array>
#include <iterator>

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

namespace somnel::xshim {

void validate_pixel(unsigned long pixel, unsigned int depth, bool alpha_allowed) {
    if (depth == 1) {
        if (pixel != 0 && pixel != 1) xshim_abort("%s", "bogus mono pixel");
    } else if (!alpha_allowed && (pixel & 0xFF000000UL) != 0xFF000000UL) {
        xshim_abort("%s", "bogus color pixel");
    }
}

platform::Color pixelColor(unsigned long pixel, unsigned int depth) {
    if (depth == 1) return platform::Color{pixel ? 0xFFFFFFFFu : 0xFF000000u};
    return platform::Color{uint32_t(pixel)};
}

void set_color(platform::Context2D *cg, unsigned long pixel, unsigned int depth, bool alpha_allowed, bool fill) {
    validate_pixel(pixel, depth, alpha_allowed);
    const platform::Color c = pixelColor(pixel, depth);
    if (fill)
        cg->setFillColor(c);
    else
        cg->setStrokeColor(c);
}

platform::Point mapPoint(Drawable d, double x, double y) {
    return platform::Point{d->frame[0] + x, d->frame[1] + d->frame[3] - y};
}

platform::Rect mapRect(Drawable d, double x, double y, double w, double h) {
    return platform::Rect::make(d->frame[0] + x, d->frame[1] + d->frame[3] - y - h, w, h);
}

platform::DeviceRect deviceRect(Drawable d, const platform::Rect &r) {
    return platform::DeviceRect{r.origin.x, d->context->height() - r.origin.y - r.size.height, r.size.width,
                                r.size.height};
}

void invalidateDrawableCache(Drawable d) {
    if (d && d->context) d->context->dropSnapshot();
}

}  // namespace somnel::xshim

using namespace somnel::xshim;

// ------------------------------------------------------------ the display

// Aborts unless d is the window (a pixmap or none is the caller's mistake).
static void requireWindow(Drawable d) {
    if (!d || d->kind != XSHIM_WINDOW) xshim_abort("%s", "not a window");
}

Display *xshim_make_display(platform::ScreenSaverView *view, platform::Context2D *context) {
    // The saver view makes the display on its first frame; a null view is a
    // call made before the view exists.
    if (!view) xshim_abort("%s", "no view");

    Display *d = new xshim_Display{};
    Screen *screen = new xshim_Screen{};
    Visual *visual = new xshim_Visual{};
    visual->visualid = 0;
    visual->class_ = TrueColor;
    visual->red_mask = 0xFF0000;
    visual->green_mask = 0x00FF00;
    visual->blue_mask = 0x0000FF;
    visual->bits_per_rgb = 8;
    visual->map_entries = 0;
    screen->display = d;
    screen->visual = visual;
    d->screen = screen;

    d->sources = xshim_sources_init(d);

    Window w = new xshim_drawable{};
    w->kind = XSHIM_WINDOW;
    w->view = view;
    w->background = 0xFF000000UL;
    d->root_window = w;

    // A given context is used as is; otherwise the window draws into the
    // view's own backing context.
    w->context = context ? context : view->graphicsContext();
    if (!w->context) xshim_abort("%s", "no CGContext");
    return d;
}

// Frees the display's records and its input sources; the view and its
// context belong to the view's owner.
void xshim_free_display(Display *d) {
    if (!d) return;
    xshim_XtRemoveInput_all(d);
    xshim_sources_free(d->sources);
    d->sources = nullptr;
    delete d->screen->visual;
    delete d->screen;
    delete d->root_window;
    delete d;
}

platform::ScreenSaverView *xshim_window_view(Window window) {
    requireWindow(window);
    return window->view;
}

void xshim_window_resized(Display *d, Window window, int x, int y, int width, int height,
                          platform::Context2D *context) {
    requireWindow(window);
    window->frame[0] = x;
    window->frame[1] = y;
    window->frame[2] = width;
    window->frame[3] = height;
    if (context) window->context = context;
    if (!window->context) xshim_abort("%s", "no CGContext");

    d->display_id = 0;
    d->display_id = window->view->displayId();
    if (d->display_id == 0) xshim_abort("%s", "unable to find CGDisplay");
    invalidateDrawableCache(window);
}

xshim_sources *display_sources_data(Display *d) { return d->sources; }

Window XRootWindow(Display *d, int) { return d->root_window; }
Screen *XDefaultScreenOfDisplay(Display *d) { return d->screen; }
Visual *XDefaultVisualOfScreen(Screen *s) { return s->visual; }
Display *XDisplayOfScreen(Screen *s) { return s->display; }
int XDisplayNumberOfScreen(Screen *) { return 0; }
int XScreenNumberOfScreen(Screen *) { return 0; }
int XDisplayWidth(Display *d, int) { return int(d->root_window->frame[2]); }
int XDisplayHeight(Display *d, int) { return int(d->root_window->frame[3]); }

Status XGetWindowAttributes(Display *d, Window window, XWindowAttributes *a) {
    requireWindow(window);
    memset(a, 0, sizeof *a);
    a->x = int(window->frame[0]);
    a->y = int(window->frame[1]);
    a->width = int(window->frame[2]);
    a->height = int(window->frame[3]);
    a->depth = 32;
    a->visual = d->screen->visual;
    a->screen = d->screen;
    return 0;
}

Status XGetGeometry(Display *d, Drawable drawable, Window *root, int *x, int *y, unsigned int *width,
                    unsigned int *height, unsigned int *border_width, unsigned int *depth) {
    if (x) *x = int(drawable->frame[0]);
    if (y) *y = int(drawable->frame[1]);
    if (width) *width = unsigned(drawable->frame[2]);
    if (height) *height = unsigned(drawable->frame[3]);
    if (depth) *depth = drawable->kind == XSHIM_PIXMAP ? unsigned(drawable->depth) : 32u;
    if (root) *root = d->root_window;
    if (border_width) *border_width = 0;
    return 1;
}

namespace {
// Where a window sits, in the platform's y-up screen coordinates: the
// left edge wx, the top edge wy_top, and the first screen's height.
struct ScreenPosition {
    double wx, wy_top, height;
};

ScreenPosition screenPosition(Window window) {
    platform::Point tl = window->view->topLeftOnScreen();  // y-down desktop coordinates
    double h = window->view->screenHeight();
    return ScreenPosition{tl.x, h - tl.y, h};
}
}  // namespace

Bool XTranslateCoordinates(Display *, Window src, Window, int src_x, int src_y, int *dest_x,
                           int *dest_y, Window *child) {
    requireWindow(src);
    ScreenPosition p = screenPosition(src);
    if (dest_x) *dest_x = int(src_x + p.wx);
    if (dest_y) *dest_y = int(src_y + (p.height - p.wy_top));
    if (child) *child = src;
    return True;
}

Bool XQueryPointer(Display *, Window window, Window *root, Window *child, int *root_x, int *root_y,
                   int *win_x, int *win_y, unsigned int *mask) {
    requireWindow(window);
    ScreenPosition p = screenPosition(window);
    // The last pointer position is in view coordinates (y-up from the view's
    // bottom edge); move it to the screen.
    platform::Point v = window->view->lastPointerLocation();
    double mx = p.wx + v.x;
    double my = p.wy_top - window->frame[3] + v.y;
    if (root_x) *root_x = int(mx);
    if (root_y) *root_y = int(p.height - my);
    if (win_x) *win_x = int(mx - p.wx);
    if (win_y) *win_y = int((p.height - my) - (p.height - p.wy_top));
    if (mask) *mask = 0;
    if (root) *root = None;
    if (child) *child = None;
    return True;
}

int XSetWindowBackground(Display *, Window window, unsigned long pixel) {
    requireWindow(window);
    validate_pixel(pixel, 32, false);
    window->background = pixel;
    return 0;
}

int XClearArea(Display *, Window window, int x, int y, unsigned int width, unsigned int height,
               Bool) {
    requireWindow(window);
    // The fill colour stays set afterwards, as drawing code expects of a clear.
    set_color(window->context, window->background, 32, false, true);
    window->context->fillRect(mapRect(window, x, y, width, height));
    invalidateDrawableCache(window);
    return 0;
}

int XClearWindow(Display *d, Window window) {
    requireWindow(window);
    return XClearArea(d, window, 0, 0, unsigned(window->frame[2]), unsigned(window->frame[3]), False);
}

KeySym XKeycodeToKeysym(Display *, unsigned int keycode, int) { return keycode; }

int XLookupString(XKeyEvent *event, char *buffer, int length, KeySym *keysym, XComposeStatus *) {
    unsigned int k = event->keycode;
    if (keysym) *keysym = k;
    if (length >= 1) buffer[0] = char(k & 0xFF);
    if (length >= 2) buffer[1] = 0;
    return 0;
}

int XFlush(Display *) { return 0; }
int XSync(Display *, Bool) { return 0; }

Bool has_writable_cells(Screen *, Visual *) { return False; }
int visual_depth(Screen *, Visual *) { return 32; }
int visual_cells(Screen *, Visual *) { return 0xFFFFFF; }
int visual_class(Screen *, Visual *) { return TrueColor; }
void visual_rgb_masks(Screen *, Visual *v, unsigned long *r, unsigned long *g, unsigned long *b) {
    if (r) *r = v->red_mask;
    if (g) *g = v->green_mask;
    if (b) *b = v->blue_mask;
}
Bool use_subwindow_mode_p(Screen *, Window) { return False; }

// ---------------------------------------------------------------- colours

// Hex digit values for XParseColor: anything that is not a hex digit is 0.
static constexpr std::array<unsigned char, 256> kHexTable = [] {
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 10; i++) t['0' + i] = (unsigned char)i;
    for (int i = 0; i < 6; i++) t['A' + i] = t['a' + i] = (unsigned char)(10 + i);
    return t;
}();

Status XParseColor(Display *, Colormap, const char *spec, XColor *color) {
    static const struct {
        const char *name;
        unsigned char r, g, b;
    } names[] = {
        {"black", 0, 0, 0},       {"white", 255, 255, 255}, {"red", 255, 0, 0},
        {"green", 0, 255, 0},     {"blue", 0, 0, 255},      {"cyan", 0, 255, 255},
        {"magenta", 255, 0, 255}, {"yellow", 255, 255, 0},
    };
    if (!spec) return 0;
    unsigned r, g, b;
    auto hex = [spec](int i) { return unsigned(kHexTable[(unsigned char)spec[i]]); };
    if (spec[0] == '#' && strlen(spec) == 7) {
        r = ((hex(1) & 0xF) << 4) | hex(2);
        g = ((hex(3) & 0xF) << 4) | hex(4);
        b = ((hex(5) & 0xF) << 4) | hex(6);
    } else {
        const auto *match = std::find_if(std::begin(names), std::end(names),
                                         [spec](const auto &n) { return !strcasecmp(spec, n.name); });
        if (match == std::end(names)) return 0;
        r = match->r;
        g = match->g;
        b = match->b;
    }
    color->red = (unsigned short)(r * 257);
    color->green = (unsigned short)(g * 257);
    color->blue = (unsigned short)(b * 257);
    color->flags = DoRed | DoGreen | DoBlue;
    return 1;
}

Status XAllocColor(Display *, Colormap, XColor *color) {
    color->pixel = 0xFF000000UL | (unsigned long)(color->red >> 8) << 16 |
                   (unsigned long)(color->green >> 8) << 8 | (unsigned long)(color->blue >> 8);
    return 1;
}

Status XAllocNamedColor(Display *d, Colormap cmap, const char *name, XColor *screen_def,
                        XColor *exact_def) {
    if (!XParseColor(d, cmap, name, screen_def)) return 0;
    *exact_def = *screen_def;
    XAllocColor(d, cmap, screen_def);
    return 1;
}

int XQueryColor(Display *, Colormap, XColor *color) {
    unsigned long pixel = color->pixel;
    validate_pixel(pixel, 32, false);
    color->red = (unsigned short)(((pixel >> 16) & 0xFF) * 257);
    color->green = (unsigned short)(((pixel >> 8) & 0xFF) * 257);
    color->blue = (unsigned short)((pixel & 0xFF) * 257);
    color->flags = DoRed | DoGreen | DoBlue;
    return 0;
}

int XQueryColors(Display *d, Colormap cmap, XColor *colors, int count) {
    for (int i = 0; i < count; i++) XQueryColor(d, cmap, &colors[i]);
    return 0;
}

Status XAllocColorCells(Display *, Colormap, Bool, unsigned long *, unsigned int, unsigned long *,
                        unsigned int) {
    return 0;
}

// Writable cells do not exist (has_writable_cells says so): storing is a
// caller that did not ask first.
int XStoreColor(Display *, Colormap, XColor *) { xshim_abort("%s", "XStoreColor called"); }
int XStoreColors(Display *, Colormap, XColor *, int) { xshim_abort("%s", "XStoreColors called"); }

int XFreeColors(Display *, Colormap, unsigned long *, int, unsigned long) { return 0; }
