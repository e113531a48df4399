/* A saver whose defaults text holds a line without a colon: creating its
 * view is a programming error that the host must report, not crash on. */
#include "somnel/somnel_function_table.h"

static const char *const broken_defaults[] = {
    "*delay:\t10000",
    "this line has no colon",
    0,
};

static const XrmOptionDescRec broken_options[] = {{0, 0, 0, 0}};

static void *broken_init(Display *dpy, Window window, void *closure) {
    (void)dpy;
    (void)window;
    return closure;
}

static unsigned long broken_draw(Display *dpy, Window window, void *state) {
    (void)dpy;
    (void)window;
    (void)state;
    return 10000;
}

static void broken_free(Display *dpy, Window window, void *state) {
    (void)dpy;
    (void)window;
    (void)state;
}

SOMNEL_EXPORT_SYMBOL somnel_function_table broken_somnel_function_table = {
    "Broken", broken_defaults, broken_options, 0, (void *)1, broken_init, broken_draw, 0, 0, broken_free,
    0, 0, 0,
};
