/* The real X server's side of the differential drawing test. */
#include "tests/xdiff/real_x.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stdlib.h>
#include <string.h>

struct realx {
    Display *dpy;
    Pixmap pm;
    GC gc;
    int width, height;
};

realx *realx_open(int width, int height) {
    Display *dpy = XOpenDisplay(NULL);
    if (!dpy) return NULL;
    if (DefaultDepth(dpy, DefaultScreen(dpy)) != 24) {
        XCloseDisplay(dpy);
        return NULL;
    }
    realx *r = calloc(1, sizeof *r);
    r->dpy = dpy;
    r->width = width;
    r->height = height;
    r->pm = XCreatePixmap(dpy, DefaultRootWindow(dpy), (unsigned)width, (unsigned)height, 24);
    XGCValues v;
    memset(&v, 0, sizeof v);
    v.foreground = 0xFFFFFF;
    v.background = 0;
    v.function = GXcopy;
    v.graphics_exposures = False;
    r->gc = XCreateGC(dpy, r->pm, GCForeground | GCBackground | GCFunction | GCGraphicsExposures, &v);
    XSetForeground(dpy, r->gc, 0);
    XFillRectangle(dpy, r->pm, r->gc, 0, 0, (unsigned)width, (unsigned)height);
    XSetForeground(dpy, r->gc, 0xFFFFFF);
    return r;
}

void realx_close(realx *r) {
    if (!r) return;
    XFreeGC(r->dpy, r->gc);
    XFreePixmap(r->dpy, r->pm);
    XCloseDisplay(r->dpy);
    free(r);
}

void realx_set_colors(realx *r, uint32_t fg, uint32_t bg) {
    XSetForeground(r->dpy, r->gc, fg & 0xFFFFFF);
    XSetBackground(r->dpy, r->gc, bg & 0xFFFFFF);
}

void realx_set_function(realx *r, int function) { XSetFunction(r->dpy, r->gc, function); }

void realx_fill_rect(realx *r, int x, int y, unsigned w, unsigned h) {
    XFillRectangle(r->dpy, r->pm, r->gc, x, y, w, h);
}

void realx_draw_rect(realx *r, int x, int y, unsigned w, unsigned h) {
    XDrawRectangle(r->dpy, r->pm, r->gc, x, y, w, h);
}

void realx_draw_points(realx *r, const short *xy, int n) {
    XPoint *pts = calloc((size_t)n, sizeof *pts);
    for (int i = 0; i < n; ++i) {
        pts[i].x = xy[2 * i];
        pts[i].y = xy[2 * i + 1];
    }
    XDrawPoints(r->dpy, r->pm, r->gc, pts, n, CoordModeOrigin);
    free(pts);
}

void realx_fill_polygon(realx *r, const short *xy, int n, int winding) {
    XPoint *pts = calloc((size_t)n, sizeof *pts);
    for (int i = 0; i < n; ++i) {
        pts[i].x = xy[2 * i];
        pts[i].y = xy[2 * i + 1];
    }
    XSetFillRule(r->dpy, r->gc, winding ? WindingRule : EvenOddRule);
    XFillPolygon(r->dpy, r->pm, r->gc, pts, n, Complex, CoordModeOrigin);
    free(pts);
}

void realx_copy_area(realx *r, int sx, int sy, unsigned w, unsigned h, int dx, int dy) {
    XCopyArea(r->dpy, r->pm, r->pm, r->gc, sx, sy, w, h, dx, dy);
}

void realx_put_image(realx *r, const uint32_t *words, int iw, int ih, int sx, int sy, int dx, int dy,
                     unsigned w, unsigned h) {
    Visual *vis = DefaultVisual(r->dpy, DefaultScreen(r->dpy));
    XImage *img = XCreateImage(r->dpy, vis, 24, ZPixmap, 0, NULL, (unsigned)iw, (unsigned)ih, 32, 0);
    img->data = malloc((size_t)img->bytes_per_line * (size_t)ih);
    for (int y = 0; y < ih; ++y)
        for (int x = 0; x < iw; ++x) XPutPixel(img, x, y, words[y * iw + x] & 0xFFFFFF);
    XPutImage(r->dpy, r->pm, r->gc, img, sx, sy, dx, dy, w, h);
    XDestroyImage(img);
}

void realx_put_bitmap(realx *r, const unsigned char *bits, int iw, int ih, int dx, int dy) {
    XImage *img = XCreateImage(r->dpy, DefaultVisual(r->dpy, DefaultScreen(r->dpy)), 1, XYBitmap, 0,
                               NULL, (unsigned)iw, (unsigned)ih, 8, (iw + 7) / 8);
    img->data = malloc((size_t)img->bytes_per_line * (size_t)ih);
    memcpy(img->data, bits, (size_t)img->bytes_per_line * (size_t)ih);
    img->bitmap_bit_order = LSBFirst;
    img->byte_order = LSBFirst;
    XPutImage(r->dpy, r->pm, r->gc, img, 0, 0, dx, dy, (unsigned)iw, (unsigned)ih);
    XDestroyImage(img);
}

void realx_read(realx *r, uint32_t *out) {
    XImage *img = XGetImage(r->dpy, r->pm, 0, 0, (unsigned)r->width, (unsigned)r->height, AllPlanes,
                            ZPixmap);
    for (int y = 0; y < r->height; ++y)
        for (int x = 0; x < r->width; ++x)
            out[y * r->width + x] = (uint32_t)XGetPixel(img, x, y) & 0xFFFFFF;
    XDestroyImage(img);
}
