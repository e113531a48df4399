/* The emulation benchmark's rival on a real X server: the same five
 * operations through libX11 on a server-side pixmap, each block ended with
 * XSync so that the server's work is counted. Kept in its own translation
 * unit: the emulation's headers define the same names. */
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "bench/xshim_ops/real_x.h"

static Display *dpy;
static Pixmap canvas, source;
static GC gc;
static XImage *image;
static XFontStruct *font;
static int cw, ch;

static double now_ms(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int realx_open(int width, int height) {
    dpy = XOpenDisplay(NULL);
    if (!dpy) return 0;
    int screen = DefaultScreen(dpy);
    Window root = RootWindow(dpy, screen);
    int depth = DefaultDepth(dpy, screen);
    cw = width;
    ch = height;
    canvas = XCreatePixmap(dpy, root, (unsigned)width, (unsigned)height, (unsigned)depth);
    source = XCreatePixmap(dpy, root, 64, 64, (unsigned)depth);
    gc = XCreateGC(dpy, canvas, 0, NULL);
    font = XLoadQueryFont(dpy, "fixed");
    if (font) XSetFont(dpy, gc, font->fid);
    XSetForeground(dpy, gc, 0x336699);
    XFillRectangle(dpy, source, gc, 0, 0, 64, 64);
    char *data = malloc(64 * 64 * 4);
    for (int i = 0; i < 64 * 64; i++) ((unsigned *)data)[i] = 0xFF000000u | (unsigned)(i * 2654435761u >> 8);
    image = XCreateImage(dpy, DefaultVisual(dpy, screen), (unsigned)depth, ZPixmap, 0, data, 64, 64, 32, 0);
    XSync(dpy, False);
    return image != NULL && font != NULL;
}

double realx_run(int op, int n) {
    static const char text[] = "Drizzle 60.0 FPS abc";
    double t0 = now_ms();
    for (int i = 0; i < n; i++) {
        int x = (i * 37) % (cw - 128), y = (i * 53) % (ch - 128) + 16;
        XSetForeground(dpy, gc, 0xFF000000u | (unsigned)(i * 0x010203));
        switch (op) {
        case 0: XFillRectangle(dpy, canvas, gc, x, y, 10, 10); break;
        case 1: XDrawLine(dpy, canvas, gc, x, y, x + 99, y + 20); break;
        case 2: XDrawString(dpy, canvas, gc, x, y, text, 20); break;
        case 3: XCopyArea(dpy, source, canvas, gc, 0, 0, 64, 64, x, y); break;
        case 4: XPutImage(dpy, canvas, gc, image, 0, 0, x, y, 64, 64); break;
        }
    }
    XSync(dpy, False);
    return now_ms() - t0;
}

void realx_close(void) {
    if (!dpy) return;
    XDestroyImage(image);
    XFreeFont(dpy, font);
    XFreeGC(dpy, gc);
    XFreePixmap(dpy, canvas);
    XFreePixmap(dpy, source);
    XCloseDisplay(dpy);
    dpy = NULL;
}
