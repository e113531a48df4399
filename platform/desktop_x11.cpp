// The X11 back end of the desktop seam. Grabs and embedding go through the
// toolkit's own connection: the server sends grabbed input to the client
// that grabs, and requests on one connection are carried out in order.
// Stacking, foreign windows and the full-screen claim live on a second
// connection that only watches.
#include "platform/desktop.h"
#include "platform/desktop_backends.h"
#include "platform/log.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

// The X headers come after Qt's: their macros (None, Bool, Status) would
// break Qt's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

// Errors on the watching connection (a window already gone) are noted,
// never fatal.
int lastXError = 0;
int noteXError(Display *, XErrorEvent *e) {
    lastXError = e->error_code;
    return 0;
}

// The error handler is the process's, for every Xlib connection (the GL
// driver's too): it is ours only around the watching connection's own
// calls, so that errors elsewhere stay with whoever handled them before.
// NOTE: with it installed for good, the driver's errors on a window it
// could not draw on were hidden, and it went on to write past a buffer.
class NotingErrors {
public:
    NotingErrors() : previous_(XSetErrorHandler(noteXError)) {}
    ~NotingErrors() { XSetErrorHandler(previous_); }
    NotingErrors(const NotingErrors &) = delete;
    NotingErrors &operator=(const NotingErrors &) = delete;

private:
    XErrorHandler previous_;
};

// The toolkit's connection, for requests that must follow its own.
Display *toolkitDisplay() {
    auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

std::string hexId(unsigned long id) {
    char hex[32];
    snprintf(hex, sizeof hex, "0x%lx", id);
    return hex;
}

class X11Desktop;

// A foreign window watched on the second connection. A saver window for it
// is made inside a parent of our own (never mapped) and then moved into
// the foreign window: the toolkit announces window-manager state for every
// window it makes, and a program watching its own windows would take
// those announcements for requests about its children.
class X11Foreign : public ForeignWindow {
public:
    X11Foreign(X11Desktop *desktop, Display *dpy, Window id, bool root, int width, int height)
        : desktop_(desktop), dpy_(dpy), id_(id), root_(root), width_(width), height_(height) {}
    ~X11Foreign() override;

    unsigned long id() const override { return id_; }
    bool isRoot() const override { return root_; }
    Size size() const override { return Size{double(width_), double(height_)}; }
    void watch(std::function<void(Size)> resized, std::function<void()> gone) override;
    bool gone() const override { return goneSeen_; }
    QWindow *parentForSaver() override;

    // An event of the watching connection about this window.
    void handle(const XEvent &e);

private:
    X11Desktop *desktop_;
    Display *dpy_;
    Window id_;
    bool root_;
    int width_, height_;
    Window staging_ = 0;
    QWindow *parent_ = nullptr;
    bool goneSeen_ = false;
    bool goneCalled_ = false;
    std::function<void(Size)> resized_;
    std::function<void()> gone_;
};

class X11Desktop : public Desktop {
public:
    ~X11Desktop() override {
        delete notifier_;
        NotingErrors noting;
        if (dpy_) XCloseDisplay(dpy_);
    }

    std::string name() const override { return "x11"; }

    DesktopAnswer bypassWindowManager(QWindow *window) override {
        window->setFlags(window->flags() | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
        return DesktopAnswer::Done;
    }

    DesktopAnswer hideCursor(QWindow *window) override {
        window->setCursor(Qt::BlankCursor);
        return DesktopAnswer::Done;
    }

    DesktopAnswer grabInput(QWindow *window) override {
        const bool keyboard = window->setKeyboardGrabEnabled(true);
        const bool pointer = keyboard && window->setMouseGrabEnabled(true);
        if (keyboard && pointer) return DesktopAnswer::Done;
        // Half a grab is none: the keys would end the saver while clicks
        // went to the windows beneath.
        if (keyboard) window->setKeyboardGrabEnabled(false);
        return DesktopAnswer::Refused;
    }

    // NOTE: the only way to learn whether another client holds a grab is
    // to try one; the probe lets go at once.
    DesktopAnswer inputAvailable() override {
        if (!open()) return DesktopAnswer::Refused;
        NotingErrors noting;
        const Window root = DefaultRootWindow(dpy_);
        const int keyboard = XGrabKeyboard(dpy_, root, False, GrabModeAsync, GrabModeAsync, CurrentTime);
        if (keyboard == GrabSuccess) XUngrabKeyboard(dpy_, CurrentTime);
        const int pointer = XGrabPointer(dpy_, root, False, 0, GrabModeAsync, GrabModeAsync, None, None, CurrentTime);
        if (pointer == GrabSuccess) XUngrabPointer(dpy_, CurrentTime);
        XSync(dpy_, False);
        drainLater();
        return keyboard == GrabSuccess && pointer == GrabSuccess ? DesktopAnswer::Done : DesktopAnswer::Refused;
    }

    // Windows place themselves here: the screen's own rectangle.
    DesktopAnswer showFullScreen(QWindow *window) override {
        if (window->screen()) window->setGeometry(window->screen()->geometry());
        window->show();
        return DesktopAnswer::Done;
    }

    DesktopAnswer keepAbove(QWindow *window) override { return keep(window, Stacking::AboveAll); }
    DesktopAnswer keepBelow(QWindow *window) override { return keep(window, Stacking::BelowAll); }
    void forget(QWindow *window) override { kept_.erase(window); }

    int inputConnection() override {
        Display *toolkit = toolkitDisplay();
        return toolkit ? ConnectionNumber(toolkit) : -1;
    }

    DesktopAnswer pointerPosition(Point *global) override {
        // NOTE: on X11 the toolkit asks the server for the position (a
        // round trip), rather than answering from the last event.
        const QPoint p = QCursor::pos();
        *global = Point{double(p.x()), double(p.y())};
        return DesktopAnswer::Done;
    }

    std::unique_ptr<ForeignWindow> openForeign(unsigned long id, bool root, std::string *error) override {
        if (!open()) {
            *error = "cannot open a second connection to the X display";
            return nullptr;
        }
        NotingErrors noting;
        const Window w = root ? DefaultRootWindow(dpy_) : Window(id);
        lastXError = 0;
        XWindowAttributes a;
        const bool ok = XGetWindowAttributes(dpy_, w, &a);
        XSync(dpy_, False);
        if (!ok || lastXError) {
            *error = "no X window " + hexId(id);
            return nullptr;
        }
        // NOTE: an input-only window has no pixels: the software
        // rasteriser sized its buffer from its depth of 0 and wrote past it.
        if (a.c_class == InputOnly) {
            *error = "X window " + hexId(id) + " is input-only: there is nothing to draw on";
            return nullptr;
        }
        selectOn(w, StructureNotifyMask);
        XSync(dpy_, False);
        if (lastXError) {  // gone between the two requests
            *error = "no X window " + hexId(id);
            return nullptr;
        }
        auto foreign = std::make_unique<X11Foreign>(this, dpy_, w, root, a.width, a.height);
        foreigns_.push_back(foreign.get());
        drainLater();
        return foreign;
    }

    DesktopAnswer embed(QWindow *window, ForeignWindow *foreign) override {
        if (foreign->isRoot()) return DesktopAnswer::Done;  // made a child of the root already
        // A window made again after the foreign one went stays our own.
        if (foreign->gone()) return DesktopAnswer::Refused;
        Display *toolkit = toolkitDisplay();
        if (!toolkit) return DesktopAnswer::NotSupported;
        // On the toolkit's connection, so that whatever it announced about
        // the window as it made it reaches the server first.
        XReparentWindow(toolkit, Window(window->winId()), Window(foreign->id()), 0, 0);
        XFlush(toolkit);
        return DesktopAnswer::Done;
    }

    // The display's claim is the ownership of a selection: the server
    // keeps one owner, and drops it when the owner's connection closes
    // however the process ends.
    DesktopAnswer claimFullScreen(std::string *error) override {
        if (!open()) {
            *error = "cannot open a second connection to the X display";
            return DesktopAnswer::Refused;
        }
        NotingErrors noting;
        const Atom selection = XInternAtom(dpy_, "_SOMNEL_FULL_SCREEN", False);
        const Atom pidAtom = XInternAtom(dpy_, "_NET_WM_PID", False);
        XGrabServer(dpy_);
        const Window owner = XGetSelectionOwner(dpy_, selection);
        if (owner == None) {
            XSetWindowAttributes a;
            a.override_redirect = True;
            claim_ = XCreateWindow(dpy_, DefaultRootWindow(dpy_), -1, -1, 1, 1, 0, CopyFromParent, InputOnly,
                                   CopyFromParent, CWOverrideRedirect, &a);
            const long pid = getpid();
            XChangeProperty(dpy_, claim_, pidAtom, XA_CARDINAL, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char *>(&pid), 1);
            XSetSelectionOwner(dpy_, selection, claim_, CurrentTime);
        }
        XUngrabServer(dpy_);
        XSync(dpy_, False);
        drainLater();
        if (owner == None) return DesktopAnswer::Done;
        std::string holder = "another process";
        Atom type;
        int format;
        unsigned long n, after;
        unsigned char *data = nullptr;
        lastXError = 0;
        if (XGetWindowProperty(dpy_, owner, pidAtom, 0, 1, False, XA_CARDINAL, &type, &format, &n, &after, &data) ==
                Success &&
            data && n == 1 && format == 32)
            holder = "process " + std::to_string(*reinterpret_cast<long *>(data));
        if (data) XFree(data);
        *error = "a full-screen saver already runs on this display (" + holder + "); not starting another";
        return DesktopAnswer::Refused;
    }

    // The second connection; false when it cannot be opened.
    bool open() {
        if (dpy_) return true;
        dpy_ = XOpenDisplay(nullptr);
        if (!dpy_) return false;
        notifier_ = new QSocketNotifier(ConnectionNumber(dpy_), QSocketNotifier::Read, qGuiApp);
        QObject::connect(notifier_, &QSocketNotifier::activated, [this] { drain(); });
        return true;
    }

    void forgetForeign(X11Foreign *foreign) { foreigns_.erase(std::remove(foreigns_.begin(), foreigns_.end(), foreign), foreigns_.end()); }

    // NOTE: a request that waits for its reply reads whatever events came
    // before it into the connection's queue, where the socket notifier no
    // longer sees them: each such request is followed by this, or an event
    // (a window raised above the saver) waits for the next one.
    void drainLater() {
        // NOTE: only what has already been read; nothing is read here.
        if (dpy_ && XEventsQueued(dpy_, QueuedAlready) > 0) QTimer::singleShot(0, qGuiApp, [this] { drain(); });
    }

    // Adds to what the watching connection hears about a window.
    void selectOn(Window w, long mask) {
        long &now = masks_[w];
        now |= mask;
        XSelectInput(dpy_, w, now);
    }

private:
    DesktopAnswer keep(QWindow *window, Stacking where) {
        if (!open()) return DesktopAnswer::Refused;
        NotingErrors noting;
        kept_[window] = Kept{Window(window->winId()), where};
        // Every change in the order of the top-level windows.
        selectOn(DefaultRootWindow(dpy_), SubstructureNotifyMask);
        restack();
        return DesktopAnswer::Done;
    }

public:
    // Handles every event the watching connection has, read or not.
    void drain() {
        NotingErrors noting;
        bool stackingChanged = false;
        while (XPending(dpy_)) {
            XEvent e;
            XNextEvent(dpy_, &e);
            const auto foreigns = foreigns_;  // a handler may end the watch
            for (X11Foreign *f : foreigns)
                if (std::find(foreigns_.begin(), foreigns_.end(), f) != foreigns_.end()) f->handle(e);
            switch (e.type) {
            case ConfigureNotify:
            case MapNotify:
            case CreateNotify:
            case CirculateNotify:
            case ReparentNotify: stackingChanged = true; break;
            default: break;
            }
        }
        if (stackingChanged && !kept_.empty()) restack();
    }

    // Has the server answer everything asked so far, then handles what
    // came before the answer.
    void sync() {
        {
            NotingErrors noting;
            XSync(dpy_, False);
        }
        drain();
    }

private:

    // Puts the kept windows back in their places when another window came
    // above (or below) them. NOTE: a window that raises itself whenever it
    // is covered would make this a race run as fast as the server answers;
    // restacking at most once per kMinRestackMs keeps it to a pace the
    // machine does not notice, while the saver is never covered for long.
    void restack() {
        using Clock = std::chrono::steady_clock;
        const auto now = Clock::now();
        if (now - lastRestack_ < std::chrono::milliseconds(kMinRestackMs)) {
            if (!restackPending_) {
                restackPending_ = true;
                QTimer::singleShot(kMinRestackMs, qGuiApp, [this] {
                    restackPending_ = false;
                    restack();
                });
            }
            return;
        }
        NotingErrors noting;
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        lastXError = 0;
        if (!XQueryTree(dpy_, DefaultRootWindow(dpy_), &root, &parent, &children, &count)) return;
        std::vector<Window> order(children, children + count);  // bottom first
        if (children) XFree(children);
        auto kept = [&](Window w, Stacking where) {
            for (const auto &k : kept_)
                if (k.second.id == w && k.second.where == where) return true;
            return false;
        };
        bool moved = false;
        // Above: nothing but kept-above windows over the lowest of them.
        size_t lowest = order.size();
        for (size_t i = 0; i < order.size(); ++i)
            if (kept(order[i], Stacking::AboveAll)) lowest = std::min(lowest, i);
        for (size_t i = lowest; i < order.size(); ++i)
            if (!kept(order[i], Stacking::AboveAll)) {
                for (const auto &k : kept_)
                    if (k.second.where == Stacking::AboveAll) XRaiseWindow(dpy_, k.second.id);
                moved = true;
                break;
            }
        // Below: nothing but kept-below windows under the highest of them.
        size_t highest = 0;
        bool anyBelow = false;
        for (size_t i = 0; i < order.size(); ++i)
            if (kept(order[i], Stacking::BelowAll)) highest = i, anyBelow = true;
        for (size_t i = 0; anyBelow && i < highest; ++i)
            if (!kept(order[i], Stacking::BelowAll)) {
                for (const auto &k : kept_)
                    if (k.second.where == Stacking::BelowAll) XLowerWindow(dpy_, k.second.id);
                moved = true;
                break;
            }
        XFlush(dpy_);
        if (moved) lastRestack_ = now;
        drainLater();
    }

    static constexpr int kMinRestackMs = 20;

    struct Kept {
        Window id;
        Stacking where;
    };
    Display *dpy_ = nullptr;
    QPointer<QSocketNotifier> notifier_;
    std::map<Window, long> masks_;
    std::map<QWindow *, Kept> kept_;
    std::vector<X11Foreign *> foreigns_;
    Window claim_ = 0;
    std::chrono::steady_clock::time_point lastRestack_{};
    bool restackPending_ = false;
};

X11Foreign::~X11Foreign() {
    desktop_->forgetForeign(this);
    delete parent_;
    if (staging_) {
        NotingErrors noting;
        XDestroyWindow(dpy_, staging_);
        XFlush(dpy_);
    }
}

QWindow *X11Foreign::parentForSaver() {
    if (parent_) return parent_;
    Window parent = id_;
    if (!root_) {
        NotingErrors noting;
        XSetWindowAttributes a;
        a.override_redirect = True;
        staging_ = XCreateWindow(dpy_, DefaultRootWindow(dpy_), -1, -1, 1, 1, 0, CopyFromParent, InputOutput,
                                 CopyFromParent, CWOverrideRedirect, &a);
        XSync(dpy_, False);
        desktop_->drainLater();
        parent = staging_;
    }
    parent_ = QWindow::fromWinId(WId(parent));
    return parent_;
}

void X11Foreign::handle(const XEvent &e) {
    if (e.type == ConfigureNotify && e.xconfigure.window == id_) {
        if (e.xconfigure.width != width_ || e.xconfigure.height != height_) {
            width_ = e.xconfigure.width;
            height_ = e.xconfigure.height;
            if (resized_) resized_(size());
        }
    } else if (e.type == DestroyNotify && e.xdestroywindow.window == id_) {
        goneSeen_ = true;
        if (gone_ && !goneCalled_) {
            goneCalled_ = true;
            gone_();
        }
    }
}

void X11Foreign::watch(std::function<void(Size)> resized, std::function<void()> gone) {
    resized_ = std::move(resized);
    gone_ = std::move(gone);
    // What the server said of the window so far, its end included, is
    // handled now rather than at the event loop's first turn.
    desktop_->sync();
    if (goneSeen_ && !goneCalled_ && gone_) {
        goneCalled_ = true;
        gone_();
    }
}

}  // namespace

namespace detail {

std::unique_ptr<Desktop> makeX11Desktop() { return std::make_unique<X11Desktop>(); }

// NOTE: through libxcb, which says nothing of its own; libX11 prints the
// server's refusal on standard error before returning.
bool x11DisplayReachable(std::string *error) {
    xcb_connection_t *c = xcb_connect(nullptr, nullptr);
    const bool ok = !xcb_connection_has_error(c);
    xcb_disconnect(c);
    if (ok) return true;
    const char *name = getenv("DISPLAY");
    *error = std::string("cannot reach the X display \"") + (name ? name : "") +
             "\" (no X server there, or this user may not connect)";
    return false;
}

}  // namespace detail

}  // namespace platform
