/* A test saver that misbehaves on its first frame, as its "mode" setting
 * says: "hang" never returns from the frame (a stuck saver), "exit" ends
 * the program from inside the frame. Before that it appends "drawing" to
 * $SOMNEL_TEST_LOG, so that a test knows where it is. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "somnel/resources.h"
#include "somnel/somnel_function_table.h"

static const char *const unruly_defaults[] = {
    ".background: black",
    "*delay: 20000",
    "*mode: hang",
    0,
};

static const XrmOptionDescRec unruly_options[] = {
    {"-mode", ".mode", XrmoptionSepArg, 0},
    {0, 0, 0, 0},
};

static void *unruly_init(Display *dpy, Window window, void *closure) {
    (void)window;
    (void)closure;
    return get_string_resource(dpy, "mode", "Mode");
}

static unsigned long unruly_draw(Display *dpy, Window window, void *closure) {
    const char *mode = (const char *)closure;
    const char *path = getenv("SOMNEL_TEST_LOG");
    (void)dpy;
    (void)window;
    if (path) {
        FILE *f = fopen(path, "a");
        if (f) {
            fputs("drawing\n", f);
            fclose(f);
        }
    }
    if (mode && !strcmp(mode, "exit")) exit(0);
    for (;;) {
        /* Stuck: signals interrupt the sleep and it goes on. */
        struct timespec t = {0, 10000000};
        nanosleep(&t, 0);
    }
    return 20000;
}

static void unruly_reshape(Display *dpy, Window window, void *closure, unsigned int w, unsigned int h) {
    (void)dpy;
    (void)window;
    (void)closure;
    (void)w;
    (void)h;
}

static Bool unruly_event(Display *dpy, Window window, void *closure, XEvent *event) {
    (void)dpy;
    (void)window;
    (void)closure;
    (void)event;
    return False;
}

static void unruly_free(Display *dpy, Window window, void *closure) {
    (void)dpy;
    (void)window;
    free(closure);
}

SOMNEL_EXPORT_SYMBOL somnel_function_table unruly_somnel_function_table = {
    "Unruly", unruly_defaults, unruly_options, 0, 0, unruly_init, unruly_draw, unruly_reshape, unruly_event,
    unruly_free, 0, 0, 0,
};
