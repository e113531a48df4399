/* The tests' own libX11 connection: see xserver.h. */
#include "tests/onscreen/xserver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xlibint.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/randrproto.h>
#include <X11/extensions/xfixesproto.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static Display *dpy;
static int x_error;

static int note_error(Display *d, XErrorEvent *e) {
    (void)d;
    x_error = e->error_code;
    return 0;
}

int xs_open(const char *display) {
    if (dpy) return 1;
    dpy = XOpenDisplay(display);
    if (!dpy) return 0;
    XSetErrorHandler(note_error);
    return 1;
}

void xs_close(void) {
    if (dpy) XCloseDisplay(dpy);
    dpy = NULL;
}

unsigned long xs_root(void) { return DefaultRootWindow(dpy); }

unsigned long xs_create_window(int width, int height) {
    Window w = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, (unsigned)width, (unsigned)height, 0, 0,
                                   0x808080);
    XSetWindowAttributes a;
    a.override_redirect = True;
    XChangeWindowAttributes(dpy, w, CWOverrideRedirect, &a);
    XSelectInput(dpy, w, StructureNotifyMask);
    XMapRaised(dpy, w);
    /* Wait until the server has mapped it. */
    for (;;) {
        XEvent e;
        XNextEvent(dpy, &e);
        if (e.type == MapNotify && e.xmap.window == w) break;
    }
    XSelectInput(dpy, w, 0);
    return w;
}

unsigned long xs_create_input_only_window(int width, int height) {
    XSetWindowAttributes a;
    a.override_redirect = True;
    Window w = XCreateWindow(dpy, DefaultRootWindow(dpy), 0, 0, (unsigned)width, (unsigned)height, 0, 0, InputOnly,
                             CopyFromParent, CWOverrideRedirect, &a);
    XMapRaised(dpy, w);
    XSync(dpy, False);
    return w;
}

void xs_resize(unsigned long window, int width, int height) {
    XResizeWindow(dpy, window, (unsigned)width, (unsigned)height);
    XSync(dpy, False);
}

void xs_destroy(unsigned long window) {
    XDestroyWindow(dpy, window);
    XSync(dpy, False);
}

int xs_size(unsigned long window, int *width, int *height) {
    XWindowAttributes a;
    x_error = 0;
    Status ok = XGetWindowAttributes(dpy, window, &a);
    XSync(dpy, False);
    if (!ok || x_error) return 0;
    *width = a.width;
    *height = a.height;
    return 1;
}

int xs_exists(unsigned long window) {
    int w, h;
    return xs_size(window, &w, &h);
}

int xs_get_image(unsigned long window, int x, int y, int width, int height, unsigned *out) {
    x_error = 0;
    XImage *img = XGetImage(dpy, window, x, y, (unsigned)width, (unsigned)height, AllPlanes, ZPixmap);
    XSync(dpy, False);
    if (!img || x_error) {
        if (img) XDestroyImage(img);
        return 0;
    }
    for (int j = 0; j < height; j++)
        for (int i = 0; i < width; i++) out[j * width + i] = 0xFF000000u | (unsigned)(XGetPixel(img, i, j) & 0xFFFFFF);
    XDestroyImage(img);
    return 1;
}

static unsigned long search(Window w, int pid, Atom pidAtom, int min_w, int min_h) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy, w, &a)) return 0;
    if (a.map_state == IsViewable && a.width >= min_w && a.height >= min_h) {
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char *data = NULL;
        if (XGetWindowProperty(dpy, w, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &n, &after, &data) ==
                Success &&
            data) {
            int found = n == 1 && (int)*(unsigned long *)data == pid;
            XFree(data);
            if (found) return w;
        }
    }
    Window root, parent, *children = NULL;
    unsigned int count = 0;
    unsigned long hit = 0;
    if (XQueryTree(dpy, w, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !hit; i++) hit = search(children[i], pid, pidAtom, min_w, min_h);
        if (children) XFree(children);
    }
    return hit;
}

unsigned long xs_window_of_pid(int pid, int min_w, int min_h) {
    Atom pidAtom = XInternAtom(dpy, "_NET_WM_PID", False);
    x_error = 0;
    unsigned long w = search(DefaultRootWindow(dpy), pid, pidAtom, min_w, min_h);
    XSync(dpy, False);
    return w;
}

static unsigned long of_size(Window w, int width, int height) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy, w, &a)) return 0;
    if (a.map_state != IsViewable) return 0;
    if (a.width == width && a.height == height) return w;
    Window root, parent, *children = NULL;
    unsigned int count = 0;
    unsigned long hit = 0;
    if (XQueryTree(dpy, w, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && !hit; i++) hit = of_size(children[i], width, height);
        if (children) XFree(children);
    }
    return hit;
}

unsigned long xs_window_of_size(unsigned long top, int width, int height) {
    x_error = 0;
    unsigned long w = top ? of_size(top, width, height) : 0;
    XSync(dpy, False);
    return w;
}

unsigned long xs_first_child(unsigned long parent) {
    Window root, up, *children = NULL;
    unsigned int count = 0;
    unsigned long first = 0;
    x_error = 0;
    if (XQueryTree(dpy, parent, &root, &up, &children, &count)) {
        if (count) first = children[0];
        if (children) XFree(children);
    }
    XSync(dpy, False);
    return first;
}

static void send(Window w, XEvent *e, long mask) {
    /* An empty mask sends to the client that made the window. */
    XSendEvent(dpy, w, False, mask, e);
    XSync(dpy, False);
}

void xs_send_key(unsigned long window) { xs_send_keysym(window, "a"); }

void xs_send_keysym(unsigned long window, const char *keysym) {
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xkey.type = KeyPress;
    e.xkey.display = dpy;
    e.xkey.window = window;
    e.xkey.root = DefaultRootWindow(dpy);
    e.xkey.time = CurrentTime;
    e.xkey.same_screen = True;
    e.xkey.keycode = XKeysymToKeycode(dpy, XStringToKeysym(keysym));
    send(window, &e, 0);
    e.xkey.type = KeyRelease;
    send(window, &e, 0);
}

void xs_send_click(unsigned long window, int x, int y) {
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xbutton.type = ButtonPress;
    e.xbutton.display = dpy;
    e.xbutton.window = window;
    e.xbutton.root = DefaultRootWindow(dpy);
    e.xbutton.time = CurrentTime;
    e.xbutton.x = e.xbutton.x_root = x;
    e.xbutton.y = e.xbutton.y_root = y;
    e.xbutton.button = Button1;
    e.xbutton.same_screen = True;
    send(window, &e, 0);
    e.xbutton.type = ButtonRelease;
    e.xbutton.state = Button1Mask;
    send(window, &e, 0);
}

void xs_warp_pointer(int x, int y) {
    XWarpPointer(dpy, None, DefaultRootWindow(dpy), 0, 0, 0, 0, x, y);
    XSync(dpy, False);
}

/* ---------------------------------------------------------- XTest input */

static int have_xtest(void) {
    int ev, err, major, minor;
    return XTestQueryExtension(dpy, &ev, &err, &major, &minor);
}

int xs_fake_key(const char *keysym, int control) {
    if (!have_xtest()) return 0;
    KeyCode key = XKeysymToKeycode(dpy, XStringToKeysym(keysym));
    KeyCode ctrl = XKeysymToKeycode(dpy, XK_Control_L);
    if (control) XTestFakeKeyEvent(dpy, ctrl, True, CurrentTime);
    XTestFakeKeyEvent(dpy, key, True, CurrentTime);
    XTestFakeKeyEvent(dpy, key, False, CurrentTime);
    if (control) XTestFakeKeyEvent(dpy, ctrl, False, CurrentTime);
    XSync(dpy, False);
    return 1;
}

int xs_fake_click(int x, int y, unsigned button) {
    if (!have_xtest()) return 0;
    XTestFakeMotionEvent(dpy, -1, x, y, CurrentTime);
    XTestFakeButtonEvent(dpy, button, True, CurrentTime);
    XTestFakeButtonEvent(dpy, button, False, CurrentTime);
    XSync(dpy, False);
    return 1;
}

int xs_fake_motion(int x, int y) {
    if (!have_xtest()) return 0;
    XTestFakeMotionEvent(dpy, -1, x, y, CurrentTime);
    XSync(dpy, False);
    return 1;
}

/* ------------------------------------------------------------ stacking */

/* The root's children, bottom first (free with XFree); their count in *n. */
static Window *top_levels(unsigned int *n) {
    Window root, parent, *children = NULL;
    *n = 0;
    if (!XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &children, n)) return NULL;
    return children;
}

static int viewable(Window w, XWindowAttributes *a) {
    return XGetWindowAttributes(dpy, w, a) && a->map_state == IsViewable;
}

unsigned long xs_top_level_at(int x, int y) {
    unsigned int n;
    unsigned long hit = 0;
    x_error = 0;
    Window *children = top_levels(&n);
    for (unsigned int i = n; i-- > 0 && !hit;) {
        XWindowAttributes a;
        if (viewable(children[i], &a) && x >= a.x && y >= a.y && x < a.x + a.width && y < a.y + a.height)
            hit = children[i];
    }
    if (children) XFree(children);
    XSync(dpy, False);
    return hit;
}

unsigned long xs_lowest_top_level(void) {
    unsigned int n;
    unsigned long hit = 0;
    x_error = 0;
    Window *children = top_levels(&n);
    for (unsigned int i = 0; i < n && !hit; i++) {
        XWindowAttributes a;
        if (viewable(children[i], &a)) hit = children[i];
    }
    if (children) XFree(children);
    XSync(dpy, False);
    return hit;
}

unsigned long xs_top_level_of(unsigned long window) {
    Window w = window, root, parent, *children = NULL;
    unsigned int n;
    x_error = 0;
    while (w && XQueryTree(dpy, w, &root, &parent, &children, &n)) {
        if (children) XFree(children);
        children = NULL;
        if (parent == root) return w;
        w = parent;
    }
    return 0;
}

int xs_position(unsigned long window, int *x, int *y) {
    Window child;
    x_error = 0;
    int ok = XTranslateCoordinates(dpy, window, DefaultRootWindow(dpy), 0, 0, x, y, &child);
    XSync(dpy, False);
    return ok && !x_error;
}

int xs_grab_keyboard(unsigned long window) {
    int rc = XGrabKeyboard(dpy, window, False, GrabModeAsync, GrabModeAsync, CurrentTime);
    XSync(dpy, False);
    return rc == GrabSuccess;
}

void xs_ungrab_keyboard(void) {
    XUngrabKeyboard(dpy, CurrentTime);
    XSync(dpy, False);
}

/* NOTE: a window manager names its check window early in its start-up;
 * only once it frames a new window does it manage what is mapped. So a
 * probe window is mapped (again while it is not), and the manager runs
 * once it is framed (the caller asks again until then). */
int xs_window_manager_running(void) {
    static Window probe;
    Atom check = XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False);
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char *data = NULL;
    int running = XGetWindowProperty(dpy, DefaultRootWindow(dpy), check, 0, 1, False, XA_WINDOW, &type, &format, &n,
                                     &after, &data) == Success &&
                  data && n == 1;
    if (data) XFree(data);
    if (!running) return 0;
    if (!probe) {
        probe = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 10, 10, 0, 0, 0);
        XMapWindow(dpy, probe);
        XSync(dpy, False);
        return 0;
    }
    Window root, parent, *children = NULL;
    unsigned int count;
    int framed = XQueryTree(dpy, probe, &root, &parent, &children, &count) && parent != root;
    if (children) XFree(children);
    XWindowAttributes a;
    if (!framed && XGetWindowAttributes(dpy, probe, &a) && a.map_state == IsUnmapped) {
        /* A manager still starting may drop the request: ask again. */
        XMapWindow(dpy, probe);
        XSync(dpy, False);
    }
    if (framed) {
        XDestroyWindow(dpy, probe);
        XSync(dpy, False);
        probe = 0;
    }
    return framed;
}

/* ------------------------------------------------------------ monitors */

/* NOTE: the headers of the RandR client library are not on every machine,
 * so the three requests needed are written out here. */
static int randr_opcode(void) {
    int op, ev, err;
    if (!XQueryExtension(dpy, RANDR_NAME, &op, &ev, &err)) return -1;
    return op;
}

static int randr_query_version(int op) {
    xRRQueryVersionReq *req;
    xRRQueryVersionReply rep;
    LockDisplay(dpy);
    GetReq(RRQueryVersion, req);
    req->reqType = (CARD8)op;
    req->randrReqType = X_RRQueryVersion;
    req->majorVersion = 1;
    req->minorVersion = 5;
    int ok = _XReply(dpy, (xReply *)&rep, 0, xTrue);
    UnlockDisplay(dpy);
    SyncHandle();
    return ok && (rep.majorVersion > 1 || rep.minorVersion >= 5);
}

/* The screen's first output, to give the first monitor (so that the
 * server's own monitor for that output goes away). */
static unsigned long randr_first_output(int op) {
    xRRGetScreenResourcesReq *req;
    xRRGetScreenResourcesReply rep;
    unsigned long output = 0;
    LockDisplay(dpy);
    GetReq(RRGetScreenResourcesCurrent, req);
    req->reqType = (CARD8)op;
    req->randrReqType = X_RRGetScreenResourcesCurrent;
    req->window = DefaultRootWindow(dpy);
    if (_XReply(dpy, (xReply *)&rep, 0, xFalse)) {
        long bytes = (long)rep.length * 4;
        char *buf = malloc((size_t)bytes + 1);
        _XRead(dpy, buf, bytes);
        if (rep.nOutputs > 0) {
            CARD32 o;
            memcpy(&o, buf + rep.nCrtcs * 4, 4);
            output = o;
        }
        free(buf);
    }
    UnlockDisplay(dpy);
    SyncHandle();
    return output;
}

static void randr_set_monitor(int op, const char *name, int x, int width, int height, unsigned long output) {
    xRRSetMonitorReq *req;
    Atom atom = XInternAtom(dpy, name, False);
    LockDisplay(dpy);
    GetReq(RRSetMonitor, req);
    req->reqType = (CARD8)op;
    req->randrReqType = X_RRSetMonitor;
    req->length += output ? 1 : 0;
    req->window = DefaultRootWindow(dpy);
    req->monitor.name = (CARD32)atom;
    req->monitor.primary = x == 0;
    req->monitor.automatic = 0;
    req->monitor.noutput = output ? 1 : 0;
    req->monitor.x = (INT16)x;
    req->monitor.y = 0;
    req->monitor.width = (CARD16)width;
    req->monitor.height = (CARD16)height;
    req->monitor.widthInMillimeters = (CARD32)(width / 4);
    req->monitor.heightInMillimeters = (CARD32)(height / 4);
    if (output) {
        long o = (long)output;  /* sent as 32 bits */
        Data32(dpy, &o, 4);
    }
    UnlockDisplay(dpy);
    SyncHandle();
}

int xs_split_screen(int count, int monitor_width, int monitor_height) {
    int op = randr_opcode();
    if (op < 0 || !randr_query_version(op)) return 0;
    unsigned long output = randr_first_output(op);
    x_error = 0;
    for (int i = 0; i < count; i++) {
        char name[32];
        snprintf(name, sizeof name, "SOMNEL-TEST-%d", i);
        randr_set_monitor(op, name, i * monitor_width, monitor_width, monitor_height, i == 0 ? output : 0);
    }
    XSync(dpy, False);
    return x_error == 0;
}

/* -------------------------------------------------------------- cursor */

int xs_cursor_visible(void) {
    int op, ev, err, visible = -1;
    if (!XQueryExtension(dpy, "XFIXES", &op, &ev, &err)) return -1;
    xXFixesQueryVersionReq *q;
    xXFixesQueryVersionReply qr;
    xXFixesGetCursorImageReq *req;
    xXFixesGetCursorImageReply rep;
    LockDisplay(dpy);
    /* The server answers nothing of a client that has not told its version. */
    GetReq(XFixesQueryVersion, q);
    q->reqType = (CARD8)op;
    q->xfixesReqType = X_XFixesQueryVersion;
    q->majorVersion = 4;
    q->minorVersion = 0;
    if (_XReply(dpy, (xReply *)&qr, 0, xTrue)) {
        GetReq(XFixesGetCursorImage, req);
        req->reqType = (CARD8)op;
        req->xfixesReqType = X_XFixesGetCursorImage;
        if (_XReply(dpy, (xReply *)&rep, 0, xFalse)) {
            long n = (long)rep.width * rep.height;
            CARD32 *pixels = malloc((size_t)n * 4 + 4);
            _XRead(dpy, (char *)pixels, n * 4);
            visible = 0;
            for (long i = 0; i < n; i++)
                if (pixels[i] >> 24) visible = 1;
            free(pixels);
        }
    }
    UnlockDisplay(dpy);
    SyncHandle();
    return visible;
}

int xs_keyboard_grabbed(void) {
    int status = XGrabKeyboard(dpy, DefaultRootWindow(dpy), False, GrabModeAsync, GrabModeAsync, CurrentTime);
    if (status == GrabSuccess) XUngrabKeyboard(dpy, CurrentTime);
    XSync(dpy, False);
    return status == AlreadyGrabbed;
}
