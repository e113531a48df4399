/* Tester: the framework's own saver. The window cycles slowly through the
 * hues, so a glance shows that frames arrive at the pace "delay" asks for.
 * Written in plain C against the hack-facing headers. */
#include <stdlib.h>

#include "somnel/somnel_function_table.h"
#include "somnel/resources.h"

struct tester_state {
    Display *dpy;
    Window window;
    unsigned long delay;
    int speed;      /* hue steps per frame, of 3600 */
    int hue;        /* 0 ... 3599 */
    unsigned int width, height;
};

static const char *const tester_defaults[] = {
    ".background: black",
    ".foreground: white",
    "*delay:      20000",
    "*speed:      4",
    0,
};

static const XrmOptionDescRec tester_options[] = {
    {"-delay", ".delay", XrmoptionSepArg, 0},
    {"-speed", ".speed", XrmoptionSepArg, 0},
    {0, 0, 0, 0},
};

/* The colour of a hue (tenths of a degree) at full saturation, 3/4 value. */
static unsigned long tester_color(Display *dpy, int hue) {
    XColor c;
    int sector = hue / 600, f = hue % 600;
    unsigned long v = 0xBFFF, up = v * f / 600, down = v - up;
    unsigned long r = 0, g = 0, b = 0;
    switch (sector) {
    case 0: r = v; g = up; break;
    case 1: r = down; g = v; break;
    case 2: g = v; b = up; break;
    case 3: g = down; b = v; break;
    case 4: r = up; b = v; break;
    default: r = v; b = down; break;
    }
    c.red = (unsigned short)r;
    c.green = (unsigned short)g;
    c.blue = (unsigned short)b;
    c.flags = 0;
    c.pixel = 0;
    if (!XAllocColor(dpy, 0, &c)) return 0xFF000000UL;
    return c.pixel;
}

static void *tester_init(Display *dpy, Window window, void *closure) {
    struct tester_state *st = (struct tester_state *)calloc(1, sizeof *st);
    XWindowAttributes xgwa;
    (void)closure;
    st->dpy = dpy;
    st->window = window;
    st->delay = (unsigned long)get_integer_resource(dpy, "delay", "Integer");
    st->speed = get_integer_resource(dpy, "speed", "Integer");
    if (st->speed < 1) st->speed = 1;
    XGetWindowAttributes(dpy, window, &xgwa);
    st->width = (unsigned int)xgwa.width;
    st->height = (unsigned int)xgwa.height;
    return st;
}

static unsigned long tester_draw(Display *dpy, Window window, void *closure) {
    struct tester_state *st = (struct tester_state *)closure;
    XSetWindowBackground(dpy, window, tester_color(dpy, st->hue));
    XClearWindow(dpy, window);
    st->hue = (st->hue + st->speed) % 3600;
    return st->delay;
}

static void tester_reshape(Display *dpy, Window window, void *closure, unsigned int w, unsigned int h) {
    struct tester_state *st = (struct tester_state *)closure;
    (void)dpy;
    (void)window;
    st->width = w;
    st->height = h;
}

static Bool tester_event(Display *dpy, Window window, void *closure, XEvent *event) {
    struct tester_state *st = (struct tester_state *)closure;
    (void)dpy;
    (void)window;
    /* Any key or click jumps half way round the colour wheel. */
    if (event->type == KeyPress || event->type == ButtonPress) {
        st->hue = (st->hue + 1800) % 3600;
        return True;
    }
    return False;
}

static void tester_free(Display *dpy, Window window, void *closure) {
    (void)dpy;
    (void)window;
    free(closure);
}

SOMNEL_EXPORT_SYMBOL somnel_function_table tester_somnel_function_table = {
    "Tester",
    tester_defaults,
    tester_options,
    0,
    0,
    tester_init,
    tester_draw,
    tester_reshape,
    tester_event,
    tester_free,
    0,
    0,
    0,
};
