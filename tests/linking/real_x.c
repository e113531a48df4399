/* Real Xlib calls, linked against libX11. */
#include "tests/linking/real_x.h"

#include <X11/Xlib.h>

int real_x_roundtrip(void) {
    Display *dpy = XOpenDisplay(NULL);
    if (!dpy) return 0;
    Window root = DefaultRootWindow(dpy);
    GC gc = XCreateGC(dpy, root, 0, NULL);
    XSync(dpy, False);
    XFreeGC(dpy, gc);
    XFlush(dpy);
    int width = DisplayWidth(dpy, DefaultScreen(dpy));
    XCloseDisplay(dpy);
    return width;
}

void *real_x_address_of_XSync(void) { return (void *)&XSync; }
void *real_x_address_of_XCreateGC(void) { return (void *)&XCreateGC; }
