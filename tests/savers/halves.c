/* Two test savers that show where their pixels land: the left half of the
 * window red, the right half blue. Halves draws with the X calls of a 2D
 * hack and adds a one-pixel white column on the left edge and a one-pixel
 * white row on the top edge (a stretched picture makes them wider);
 * GLHalves clears with OpenGL over the size its reshape was given. Both
 * append a line to $SOMNEL_TEST_LOG when their free callback runs, saying
 * whether an OpenGL context was current, and one with the number of frames
 * they drew to $SOMNEL_TEST_DRAWS (for the benchmarks). With
 * $SOMNEL_TEST_LOG_ALL set they also log their init callback ("init
 * Halves") and each key offered to them ("key a"). */
#include <GL/gl.h>
#include <stdio.h>
#include <stdlib.h>

#include "somnel/somnel_function_table.h"
#include "somnel/resources.h"
#include "somnel/xshim_glx.h"

struct halves {
    unsigned int width, height;
    unsigned long red, blue, white;
    GC gc;
    int gl;
    long draws;
};

static const char *const halves_defaults[] = {
    ".background: black",
    "*delay: 20000",
    0,
};

static const XrmOptionDescRec halves_options[] = {{0, 0, 0, 0}};

static unsigned long halves_pixel(Display *dpy, unsigned short r, unsigned short g, unsigned short b) {
    XColor c;
    c.red = r;
    c.green = g;
    c.blue = b;
    c.flags = 0;
    c.pixel = 0;
    XAllocColor(dpy, 0, &c);
    return c.pixel;
}

/* A line in $SOMNEL_TEST_LOG when $SOMNEL_TEST_LOG_ALL is set. */
static void halves_note(const char *what, const char *name) {
    const char *path = getenv("SOMNEL_TEST_LOG");
    FILE *f = path && getenv("SOMNEL_TEST_LOG_ALL") ? fopen(path, "a") : NULL;
    if (f) {
        fprintf(f, "%s %s\n", what, name);
        fclose(f);
    }
}

static struct halves *halves_new(Display *dpy, Window window, int gl) {
    struct halves *st = (struct halves *)calloc(1, sizeof *st);
    halves_note("init", gl ? "GLHalves" : "Halves");
    XWindowAttributes a;
    XGetWindowAttributes(dpy, window, &a);
    st->width = (unsigned int)a.width;
    st->height = (unsigned int)a.height;
    st->gl = gl;
    if (gl) {
        xshim_init_GL(dpy, window);
        glViewport(0, 0, (GLsizei)st->width, (GLsizei)st->height);
    } else {
        XGCValues v;
        st->red = halves_pixel(dpy, 0xFFFF, 0, 0);
        st->blue = halves_pixel(dpy, 0, 0, 0xFFFF);
        st->white = halves_pixel(dpy, 0xFFFF, 0xFFFF, 0xFFFF);
        v.foreground = st->red;
        st->gc = XCreateGC(dpy, window, GCForeground, &v);
    }
    return st;
}

static void *halves_init(Display *dpy, Window window, void *closure) {
    (void)closure;
    return halves_new(dpy, window, 0);
}

static void *glhalves_init(Display *dpy, Window window, void *closure) {
    (void)closure;
    return halves_new(dpy, window, 1);
}

static unsigned long halves_draw(Display *dpy, Window window, void *closure) {
    struct halves *st = (struct halves *)closure;
    unsigned int w = st->width, h = st->height, left = w / 2;
    st->draws++;
    if (st->gl) {
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, (GLsizei)left, (GLsizei)h);
        glClearColor(1, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glScissor((GLint)left, 0, (GLsizei)(w - left), (GLsizei)h);
        glClearColor(0, 0, 1, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
        glXSwapBuffers(dpy, window);
    } else {
        XSetForeground(dpy, st->gc, st->red);
        XFillRectangle(dpy, window, st->gc, 0, 0, left, h);
        XSetForeground(dpy, st->gc, st->blue);
        XFillRectangle(dpy, window, st->gc, (int)left, 0, w - left, h);
        XSetForeground(dpy, st->gc, st->white);
        XFillRectangle(dpy, window, st->gc, 0, 0, 1, h);
        XFillRectangle(dpy, window, st->gc, 0, 0, w, 1);
    }
    return 20000;
}

static void halves_reshape(Display *dpy, Window window, void *closure, unsigned int w, unsigned int h) {
    struct halves *st = (struct halves *)closure;
    (void)dpy;
    (void)window;
    st->width = w;
    st->height = h;
    if (st->gl) glViewport(0, 0, (GLsizei)w, (GLsizei)h);
}

static Bool halves_event(Display *dpy, Window window, void *closure, XEvent *event) {
    (void)dpy;
    (void)window;
    (void)closure;
    if (event->type == KeyPress) {
        char text[8] = "";
        KeySym sym = 0;
        XLookupString(&event->xkey, text, sizeof text - 1, &sym, 0);
        halves_note("key", text);
    }
    return False;
}

static void halves_free(Display *dpy, Window window, void *closure) {
    struct halves *st = (struct halves *)closure;
    const char *path = getenv("SOMNEL_TEST_LOG");
    (void)window;
    if (path) {
        FILE *f = fopen(path, "a");
        if (f) {
            fprintf(f, "free %s gl=%d\n", st->gl ? "GLHalves" : "Halves", glGetString(GL_VERSION) != NULL);
            fclose(f);
        }
    }
    path = getenv("SOMNEL_TEST_DRAWS");
    if (path) {
        FILE *f = fopen(path, "a");
        if (f) {
            fprintf(f, "%ld\n", st->draws);
            fclose(f);
        }
    }
    if (st->gc) XFreeGC(dpy, st->gc);
    free(st);
}

SOMNEL_EXPORT_SYMBOL somnel_function_table halves_somnel_function_table = {
    "Halves", halves_defaults, halves_options, 0, 0, halves_init, halves_draw, halves_reshape, halves_event,
    halves_free, 0, 0, 0,
};

SOMNEL_EXPORT_SYMBOL somnel_function_table glhalves_somnel_function_table = {
    "GLHalves", halves_defaults, halves_options, 0, 0, glhalves_init, halves_draw, halves_reshape, halves_event,
    halves_free, 0, 0, 0,
};
