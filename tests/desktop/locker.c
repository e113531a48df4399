/* A stand-in for a screen locker that hands its saver a window, doing what
 * such lockers do: one window per monitor, the user's saver script started
 * for each with the window's id, SIGUSR1 passed on to the savers (a locker
 * sends it when its password box closes, to have them start afresh), a
 * log of its own, and at the end its windows destroyed.
 *
 *   locker LOG SCRIPT WxH+X+Y [WxH+X+Y ...]
 *
 * SCRIPT gets the window's id (0x-hex) as its one argument. SIGUSR1 to
 * the stand-in goes on to every saver; SIGTERM destroys the windows, waits
 * for every saver and exits. Log lines: "window 0x<id> WxH+X+Y", "saver N
 * pid P", "reset", "saver N exit S" (S: the status, 128 + signal when a
 * signal ended it), "done"; and "complaint: ..." for what a locker finds
 * wrong with the windows inside its own: a window-manager request (a client
 * message to the root window) about one of them, or window-manager state
 * set on one. */
#include <X11/Xlib.h>

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdarg.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#define MAX_WINDOWS 8
#define MAX_CHILDREN 64

static int signal_pipe[2];
static FILE *log_file;
static Display *dpy;
static Window windows[MAX_WINDOWS];
static pid_t savers[MAX_WINDOWS];
static int window_count;
/* The windows inside ours, as the server told us of them, in order. */
static Window children[MAX_CHILDREN];
static Window child_parent[MAX_CHILDREN];
static int child_count;

static void on_signal(int sig) {
    unsigned char c = (unsigned char)sig;
    int saved = errno;
    if (write(signal_pipe[1], &c, 1) < 0) {
    }
    errno = saved;
}

static void note(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
static void note(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vfprintf(log_file, fmt, ap);
    va_end(ap);
    fputc('\n', log_file);
    fflush(log_file);
}

static int ours(Window w) {
    for (int i = 0; i < window_count; i++)
        if (windows[i] == w) return 1;
    return 0;
}

static int child_index(Window w) {
    for (int i = 0; i < child_count; i++)
        if (children[i] == w) return i;
    return -1;
}

static void add_child(Window w, Window parent) {
    if (child_index(w) >= 0 || child_count == MAX_CHILDREN) return;
    children[child_count] = w;
    child_parent[child_count++] = parent;
    XSelectInput(dpy, w, PropertyChangeMask);
}

static void drop_child(Window w) {
    int i = child_index(w);
    if (i < 0) return;
    children[i] = children[--child_count];
    child_parent[i] = child_parent[child_count];
}

/* Window-manager state, which only a top-level window has. */
static int wm_state(Atom a) {
    char *name = XGetAtomName(dpy, a);
    int is = name && (!strcmp(name, "_NET_WM_STATE") || !strcmp(name, "WM_STATE") ||
                      !strcmp(name, "_NET_WM_DESKTOP") || !strcmp(name, "_NET_WM_ALLOWED_ACTIONS"));
    if (name) XFree(name);
    return is;
}

static void reap(void) {
    int status;
    pid_t pid;
    while ((pid = waitpid(-1, &status, WNOHANG)) > 0)
        for (int i = 0; i < window_count; i++)
            if (savers[i] == pid) {
                note("saver %d exit %d", i, WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
                savers[i] = 0;
            }
}

static int savers_left(void) {
    int n = 0;
    for (int i = 0; i < window_count; i++) n += savers[i] != 0;
    return n;
}

static void handle(XEvent *e) {
    switch (e->type) {
    case CreateNotify:
        if (ours(e->xcreatewindow.parent)) add_child(e->xcreatewindow.window, e->xcreatewindow.parent);
        break;
    case ReparentNotify:
        if (ours(e->xreparent.parent))
            add_child(e->xreparent.window, e->xreparent.parent);
        else if (ours(e->xreparent.event))
            drop_child(e->xreparent.window);
        break;
    case DestroyNotify:
        drop_child(e->xdestroywindow.window);
        break;
    case ClientMessage: {
        int i = child_index(e->xclient.window);
        if (i >= 0) {
            char *name = XGetAtomName(dpy, e->xclient.message_type);
            note("complaint: %s request about window 0x%lx inside 0x%lx", name ? name : "?", e->xclient.window,
                 child_parent[i]);
            if (name) XFree(name);
        }
        break;
    }
    case PropertyNotify: {
        int i = child_index(e->xproperty.window);
        if (i >= 0 && wm_state(e->xproperty.atom)) {
            char *name = XGetAtomName(dpy, e->xproperty.atom);
            note("complaint: %s set on window 0x%lx inside 0x%lx", name ? name : "?", e->xproperty.window,
                 child_parent[i]);
            if (name) XFree(name);
        }
        break;
    }
    default:
        break;
    }
}

int main(int argc, char **argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: locker LOG SCRIPT WxH+X+Y [WxH+X+Y ...]\n");
        return 2;
    }
    log_file = fopen(argv[1], "a");
    dpy = XOpenDisplay(NULL);
    if (!log_file || !dpy || pipe(signal_pipe) != 0) return 1;
    fcntl(signal_pipe[0], F_SETFL, O_NONBLOCK);
    struct sigaction sa;
    memset(&sa, 0, sizeof sa);
    sa.sa_handler = on_signal;
    sa.sa_flags = SA_RESTART;
    sigaction(SIGUSR1, &sa, NULL);
    sigaction(SIGTERM, &sa, NULL);
    sigaction(SIGCHLD, &sa, NULL);

    Window root = DefaultRootWindow(dpy);
    /* Requests to the window manager are client messages to the root. */
    XSelectInput(dpy, root, StructureNotifyMask | SubstructureNotifyMask);
    for (int i = 3; i < argc && window_count < MAX_WINDOWS; i++) {
        unsigned w, h;
        int x, y;
        if (sscanf(argv[i], "%ux%u+%d+%d", &w, &h, &x, &y) != 4) return 2;
        XSetWindowAttributes a;
        a.override_redirect = True;
        a.background_pixel = BlackPixel(dpy, DefaultScreen(dpy));
        a.event_mask = SubstructureNotifyMask;
        Window win = XCreateWindow(dpy, root, x, y, w, h, 0, CopyFromParent, InputOutput, CopyFromParent,
                                   CWOverrideRedirect | CWBackPixel | CWEventMask, &a);
        XMapRaised(dpy, win);
        windows[window_count++] = win;
        note("window 0x%lx %ux%u+%d+%d", win, w, h, x, y);
    }
    XSync(dpy, False);
    for (int i = 0; i < window_count; i++) {
        char id[32];
        snprintf(id, sizeof id, "0x%lx", windows[i]);
        pid_t pid = fork();
        if (pid == 0) {
            execl(argv[2], argv[2], id, (char *)NULL);
            _exit(127);
        }
        savers[i] = pid;
        note("saver %d pid %d", i, (int)pid);
    }

    int ending = 0;
    while (!ending || savers_left()) {
        while (XPending(dpy)) {
            XEvent e;
            XNextEvent(dpy, &e);
            handle(&e);
        }
        struct pollfd p[2] = {{ConnectionNumber(dpy), POLLIN, 0}, {signal_pipe[0], POLLIN, 0}};
        if (poll(p, 2, -1) < 0 && errno != EINTR) return 1;
        unsigned char sig;
        while (read(signal_pipe[0], &sig, 1) == 1) {
            if (sig == SIGCHLD) reap();
            if (sig == SIGUSR1) {
                for (int i = 0; i < window_count; i++)
                    if (savers[i]) kill(savers[i], SIGUSR1);
                note("reset");
            }
            if (sig == SIGTERM && !ending) {
                ending = 1;
                for (int i = 0; i < window_count; i++) XDestroyWindow(dpy, windows[i]);
                XSync(dpy, False);
            }
        }
    }
    note("done");
    XCloseDisplay(dpy);
    return 0;
}
