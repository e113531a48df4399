/* A window that stands for the applications beneath a saver: it logs every
 * key and click it receives.
 *
 *   victim LOG X Y WIDTH HEIGHT [--above] [--override]
 *
 * --above asks the window manager to keep it above other windows;
 * --override makes it a window no window manager handles. On SIGUSR1 it
 * raises itself. It takes the keyboard focus once shown. Log lines:
 * "ready 0x<id>" once mapped, "key <name>", "button <n>", "raised" (the
 * request is done on the server). */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static int raise_pipe[2];

static void on_usr1(int sig) {
    char c = 1;
    (void)sig;
    if (write(raise_pipe[1], &c, 1) < 0) {
    }
}

/* A request about a window that is not viewable yet fails; nothing here
 * is worth ending for. */
static int ignore_error(Display *dpy, XErrorEvent *e) {
    (void)dpy;
    (void)e;
    return 0;
}

static void say(FILE *log, const char *fmt, const char *arg) {
    fprintf(log, fmt, arg);
    fputc('\n', log);
    fflush(log);
}

/* The EWMH request a client sends to change its state once mapped. */
static void ask_above(Display *dpy, Window w) {
    XEvent e;
    memset(&e, 0, sizeof e);
    e.xclient.type = ClientMessage;
    e.xclient.window = w;
    e.xclient.message_type = XInternAtom(dpy, "_NET_WM_STATE", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 1; /* add */
    e.xclient.data.l[1] = (long)XInternAtom(dpy, "_NET_WM_STATE_ABOVE", False);
    e.xclient.data.l[3] = 1; /* a normal application */
    XSendEvent(dpy, DefaultRootWindow(dpy), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
}

int main(int argc, char **argv) {
    if (argc < 6) {
        fprintf(stderr, "usage: victim LOG X Y WIDTH HEIGHT [--above] [--override]\n");
        return 2;
    }
    int above = 0, override = 0;
    for (int i = 6; i < argc; i++) {
        if (!strcmp(argv[i], "--above")) above = 1;
        if (!strcmp(argv[i], "--override")) override = 1;
    }
    FILE *log = fopen(argv[1], "a");
    Display *dpy = XOpenDisplay(NULL);
    if (!log || !dpy) return 1;
    if (pipe(raise_pipe) != 0) return 1;
    XSetErrorHandler(ignore_error);
    fcntl(raise_pipe[0], F_SETFL, O_NONBLOCK);
    signal(SIGUSR1, on_usr1);

    XSetWindowAttributes a;
    a.background_pixel = 0x808080;
    a.override_redirect = override ? True : False;
    a.event_mask = KeyPressMask | ButtonPressMask | StructureNotifyMask | ExposureMask;
    Window w = XCreateWindow(dpy, DefaultRootWindow(dpy), atoi(argv[2]), atoi(argv[3]), (unsigned)atoi(argv[4]),
                             (unsigned)atoi(argv[5]), 0, CopyFromParent, InputOutput, CopyFromParent,
                             CWBackPixel | CWOverrideRedirect | CWEventMask, &a);
    XStoreName(dpy, w, "victim");
    /* Where it asked to be, whatever the window manager's placement. */
    XSizeHints hints;
    hints.flags = USPosition | USSize;
    hints.x = atoi(argv[2]);
    hints.y = atoi(argv[3]);
    hints.width = atoi(argv[4]);
    hints.height = atoi(argv[5]);
    XSetWMNormalHints(dpy, w, &hints);
    if (above) {
        Atom state = XInternAtom(dpy, "_NET_WM_STATE_ABOVE", False);
        XChangeProperty(dpy, w, XInternAtom(dpy, "_NET_WM_STATE", False), XA_ATOM, 32, PropModeReplace,
                        (unsigned char *)&state, 1);
    }
    XMapRaised(dpy, w);

    int ready = 0;
    for (;;) {
        while (XPending(dpy)) {
            XEvent e;
            XNextEvent(dpy, &e);
            char text[64];
            switch (e.type) {
            case MapNotify:
                if (above) ask_above(dpy, w);
                break;
            case Expose:
                if (!ready) {
                    XSetInputFocus(dpy, w, RevertToParent, CurrentTime);
                    ready = 1;
                    snprintf(text, sizeof text, "0x%lx", w);
                    say(log, "ready %s", text);
                }
                break;
            case KeyPress: {
                KeySym sym = XLookupKeysym(&e.xkey, 0);
                const char *name = XKeysymToString(sym);
                say(log, "key %s", name ? name : "?");
                break;
            }
            case ButtonPress:
                snprintf(text, sizeof text, "%u", e.xbutton.button);
                say(log, "button %s", text);
                break;
            default:
                break;
            }
        }
        struct pollfd p[2] = {{ConnectionNumber(dpy), POLLIN, 0}, {raise_pipe[0], POLLIN, 0}};
        if (poll(p, 2, -1) < 0 && errno != EINTR) return 1;
        char c;
        if (read(raise_pipe[0], &c, 1) == 1) {
            XRaiseWindow(dpy, w);
            XSync(dpy, False);
            say(log, "%s", "raised");
        }
    }
}
