/* Bands: coloured bands drift down (or up) the window, each a hue of its
 * own. A saver in plain C that fills its function table itself, without
 * the mode layer: the worked example of docs/WRITING-A-SAVER.md. */
#include <stdlib.h>

#include "somnel/principal.h"
#include "somnel/resources.h"
#include "somnel/somnel_function_table.h"

/* The view the host creates for this bundle: it draws with the emulated
 * Xlib calls. PRINCIPAL in CMakeLists.txt names the same class. */
SOMNEL_PRINCIPAL_CLASS(SomnelBandsView, SOMNEL_2D_VIEW);

/* Every resource the saver reads, with its built-in value. The user's
 * stored preferences override these, key by key. */
static const char *const bands_defaults[] = {
    ".background: black",
    "*delay:      30000",
    "*count:      6",
    "*speed:      2",
    "*direction:  down",
    "*grey:       False",
    0,
};

/* The switches bands.xml names; each sets one resource. */
static const XrmOptionDescRec bands_options[] = {
    {"-delay", ".delay", XrmoptionSepArg, 0},
    {"-count", ".count", XrmoptionSepArg, 0},
    {"-speed", ".speed", XrmoptionSepArg, 0},
    {"-direction", ".direction", XrmoptionSepArg, 0},
    {"-grey", ".grey", XrmoptionNoArg, "True"},
    {"-no-grey", ".grey", XrmoptionNoArg, "False"},
    {0, 0, 0, 0},
};

/* One run's state: what init returns and every other callback receives. */
struct bands {
    unsigned long delay;   /* microseconds between frames */
    int count;             /* bands */
    int step;              /* pixels per frame: down when positive */
    int offset;            /* how far the bands have moved, 0 .. height - 1 */
    int width, height;
    unsigned long *pixels; /* one colour per band */
    GC gc;
};

/* Band k's colour: hues round the circle, or greys from dark to light. */
static unsigned long band_color(Display *dpy, int k, int count, Bool grey) {
    XColor c;
    int h = k * 6 * 256 / count, f = h % 256, up = f * 255, down = 65535 - up;
    if (grey) {
        c.red = c.green = c.blue = (unsigned short)(65535 * (k + 1) / count);
    } else {
        /* Full saturation and value, in six sectors of 256 steps. */
        unsigned short r[6] = {65535, (unsigned short)down, 0, 0, (unsigned short)up, 65535};
        unsigned short g[6] = {(unsigned short)up, 65535, 65535, (unsigned short)down, 0, 0};
        unsigned short b[6] = {0, 0, (unsigned short)up, 65535, 65535, (unsigned short)down};
        c.red = r[h / 256];
        c.green = g[h / 256];
        c.blue = b[h / 256];
    }
    c.flags = DoRed | DoGreen | DoBlue;
    return XAllocColor(dpy, 0, &c) ? c.pixel : 0;
}

static void *bands_init(Display *dpy, Window window, void *closure) {
    struct bands *st = (struct bands *)calloc(1, sizeof *st);
    XWindowAttributes xgwa;
    char *direction;
    Bool grey;
    int k;
    (void)closure; /* the table's setup_arg: none here */

    st->delay = (unsigned long)get_integer_resource(dpy, "delay", "Usecs");
    st->count = get_integer_resource(dpy, "count", "Integer");
    if (st->count < 1) st->count = 1;
    st->step = get_integer_resource(dpy, "speed", "Integer");
    direction = get_string_resource(dpy, "direction", "Direction");
    if (direction && direction[0] == 'u') st->step = -st->step;
    free(direction);
    grey = get_boolean_resource(dpy, "grey", "Boolean");

    st->pixels = (unsigned long *)calloc((size_t)st->count, sizeof *st->pixels);
    for (k = 0; k < st->count; k++) st->pixels[k] = band_color(dpy, k, st->count, grey);
    st->gc = XCreateGC(dpy, window, 0, 0);
    XGetWindowAttributes(dpy, window, &xgwa);
    st->width = xgwa.width;
    st->height = xgwa.height;
    return st;
}

static unsigned long bands_draw(Display *dpy, Window window, void *closure) {
    struct bands *st = (struct bands *)closure;
    int k;
    for (k = 0; k < st->count; k++) {
        int top = k * st->height / st->count, h = (k + 1) * st->height / st->count - top;
        int y = (top + st->offset) % st->height;
        XSetForeground(dpy, st->gc, st->pixels[k]);
        XFillRectangle(dpy, window, st->gc, 0, y, (unsigned)st->width, (unsigned)h);
        /* The part that runs past the bottom comes back at the top. */
        if (y + h > st->height)
            XFillRectangle(dpy, window, st->gc, 0, 0, (unsigned)st->width, (unsigned)(y + h - st->height));
    }
    st->offset = ((st->offset + st->step) % st->height + st->height) % st->height;
    return st->delay;
}

static void bands_reshape(Display *dpy, Window window, void *closure, unsigned int w, unsigned int h) {
    struct bands *st = (struct bands *)closure;
    (void)dpy;
    (void)window;
    st->width = (int)w;
    st->height = (int)h;
    st->offset %= st->height;
}

/* Input reaches a saver only in a preview: a key or a click turns the
 * bands round. True tells the view the saver took the event. */
static Bool bands_event(Display *dpy, Window window, void *closure, XEvent *event) {
    struct bands *st = (struct bands *)closure;
    (void)dpy;
    (void)window;
    if (event->type != KeyPress && event->type != ButtonPress) return False;
    st->step = -st->step;
    return True;
}

static void bands_free(Display *dpy, Window window, void *closure) {
    struct bands *st = (struct bands *)closure;
    (void)window;
    XFreeGC(dpy, st->gc);
    free(st->pixels);
    free(st);
}

/* The function table: named after the bundle (Bands), in lower case. The
 * class name "Bands" names the options file (bands.xml) and the
 * preferences domain. */
somnel_function_table bands_somnel_function_table = {
    "Bands",         /* progclass */
    bands_defaults,  /* defaults */
    bands_options,   /* options */
    0,               /* setup_cb: nothing to complete */
    0,               /* setup_arg, handed to init */
    bands_init,      /* init_cb */
    bands_draw,      /* draw_cb */
    bands_reshape,   /* reshape_cb */
    bands_event,     /* event_cb */
    bands_free,      /* free_cb */
    0,               /* fps_cb: the view's meter when "doFPS" is on */
    0,
    0,
};
