// Full-screen and embedded runs of a saver.
#include "host/run.h"

#include "host/host.h"
#include "host/signals.h"

#include "platform/log.h"
#include "platform/saver_window.h"
#include "platform/view.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSocketNotifier>
#include <QTimer>
#include <QWindow>

#include <X11/Xlib.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace somnel::host {

namespace {

// One saver view and the window that shows it.
struct Shown {
    LoadedSaver saver;
    std::unique_ptr<platform::SaverWindow> window;
};

// Stops every view that still animates (the hack's free callback runs with
// its context current), then drops windows and views, GL contexts with them.
void stopAll(std::vector<Shown> &shown) {
    for (Shown &s : shown)
        platform::runAtFrameBoundary([&] {
            if (s.saver.view->isAnimating()) s.saver.view->stopAnimation();
        });
    for (Shown &s : shown) {
        s.window.reset();
        s.saver.view.reset();
    }
}

// Runs the event loop until the saver is to end; a stop signal ends it with
// Ok like any other end.
ExitStatus loop() {
    onStopSignal([](int) { QCoreApplication::exit(exitCode(ExitStatus::Ok)); });
    return static_cast<ExitStatus>(QGuiApplication::exec());
}

// The creation arguments of a view of the given size.
platform::ViewCreateArgs viewArgs(const RunOptions &o, double width, double height) {
    platform::ViewCreateArgs args;
    args.frame = platform::Rect::make(0, 0, width, height);
    args.isPreview = false;
    args.exactFiltering = o.exactFiltering;
    return args;
}

// The largest side of a view on screen, in device pixels (a render's is
// 16384, for a picture of one frame): a foreign window can be made any
// size, and the saver's buffers grow with it.
constexpr int kMaxViewSide = 8192;

// The size a view is made for a window or screen of w x h, said once when
// that is less.
QSize cappedViewSize(int w, int h) {
    static bool said = false;
    const QSize capped(std::min(w, kMaxViewSide), std::min(h, kMaxViewSide));
    if (capped != QSize(w, h) && !said) {
        said = true;
        reportError("the window is " + std::to_string(w) + "x" + std::to_string(h) + "; the saver draws on " +
                    std::to_string(capped.width()) + "x" + std::to_string(capped.height()) +
                    " of it, at its top left (the largest view is " + std::to_string(kMaxViewSide) + " a side)");
    }
    return capped;
}

// --------------------------------------------------------------- full screen

// Grabs keyboard and pointer for the window. NOTE: a grab fails while the
// window is not yet viewable, or while another client holds one; it is
// tried again a few times, a tenth of a second apart.
void grabInput(QWindow *window, int triesLeft) {
    const bool keyboard = window->setKeyboardGrabEnabled(true);
    const bool pointer = window->setMouseGrabEnabled(true);
    if (keyboard && pointer) return;
    if (triesLeft <= 0) {
        reportError(std::string("could not grab the ") +
                    (keyboard ? "pointer" : pointer ? "keyboard" : "keyboard and pointer") +
                    "; input elsewhere does not end the saver");
        return;
    }
    QTimer::singleShot(100, window, [window, triesLeft] { grabInput(window, triesLeft - 1); });
}

ExitStatus runFullScreen(const RunOptions &o) {
    const QString platformName = QGuiApplication::platformName();
    if (platformName == "offscreen" || platformName == "minimal")
        return fail(ExitStatus::Failure, "run needs a display to show the saver on (this one is \"" +
                                             platformName.toStdString() + "\")");
    QList<QScreen *> screens = QGuiApplication::screens();
    if (screens.isEmpty()) return fail(ExitStatus::Failure, "no screen to run on");
    if (o.screen >= 0) {
        if (o.screen >= screens.size()) {
            const std::string count = screens.size() == 1
                                          ? std::string("is 1 screen")
                                          : "are " + std::to_string(screens.size()) + " screens";
            return fail(ExitStatus::Failure,
                        "no screen " + std::to_string(o.screen) + " (there " + count + ", numbered from 0)");
        }
        screens = {screens[o.screen]};
    }
    std::vector<Shown> shown(screens.size());
    for (int i = 0; i < screens.size(); ++i) {
        QScreen *screen = screens[i];
        const QRect g = screen->geometry();
        const qreal dpr = screen->devicePixelRatio();
        std::string error;
        const QSize size = cappedViewSize(int(g.width() * dpr), int(g.height() * dpr));
        if (!loadSaver(o.saver, viewArgs(o, size.width(), size.height()), &shown[i].saver, &error))
            return fail(ExitStatus::Failure, error);
        auto *w = new platform::SaverWindow(shown[i].saver.view.get());
        shown[i].window.reset(w);
        w->setScreen(screen);
        // A window of its own above everything, not one the window manager
        // frames or moves; it covers the screen exactly.
        w->setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint |
                    Qt::WindowStaysOnTopHint);
        w->setTitle(QString::fromStdString(shown[i].saver.bundle->name()));
        w->setGeometry(QRect(g.topLeft(), cappedViewSize(int(g.width() * dpr), int(g.height() * dpr)) / dpr));
        shown[i].saver.view->onExitRequested = [] { QCoreApplication::exit(exitCode(ExitStatus::Ok)); };
    }
    for (Shown &s : shown) {
        s.window->show();
        s.window->raise();
        s.window->requestActivate();
    }
    // Input goes to the saver wherever the pointer is, so that any key or
    // click ends it. A saver that stops answering must not keep the grabs:
    // a forced end shuts this connection down first.
    if (auto *x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>())
        releaseOnForcedEnd(ConnectionNumber(x11->display()));
    grabInput(shown.front().window.get(), 20);
    for (Shown &s : shown) platform::runAtFrameBoundary([&] { s.saver.view->startAnimation(); });
    const ExitStatus rc = stopSignal() ? ExitStatus::Ok : loop();
    stopAll(shown);
    return rc;
}

// ----------------------------------------------------------------- embedded

// NOTE: the server destroys our window with the foreign one. Drawing into a
// window that is gone (the hack's free callback runs with its context
// current) made the software rasteriser work on a size it never got back
// from the server. The view moves to a new window of its own, never
// shown, for whatever is left to draw.
void detachFromGoneWindow(QWindow *w) {
    w->destroy();
    w->setParent(nullptr);
    w->create();
}

// Errors on the watching connection (a window already gone) are noted,
// not fatal. The handler is the process's for every Xlib connection, so it
// is installed only around the watch's own calls: errors elsewhere stay
// with whoever handled them before.
int lastXError = 0;
int noteXError(Display *, XErrorEvent *e) {
    lastXError = e->error_code;
    return 0;
}

// A second connection to the X server that watches the foreign window for
// size changes and its end.
class ForeignWatch {
public:
    ~ForeignWatch() {
        delete notifier_;
        if (dpy_) XCloseDisplay(dpy_);
    }
    // False with a reason when there is no display or no such window.
    bool open(unsigned long id, bool root, std::string *error) {
        dpy_ = XOpenDisplay(nullptr);
        if (!dpy_) {
            *error = "cannot open the X display";
            return false;
        }
        XErrorHandler previous = XSetErrorHandler(noteXError);
        id_ = root ? XDefaultRootWindow(dpy_) : Window(id);
        lastXError = 0;
        XWindowAttributes a;
        XSelectInput(dpy_, id_, StructureNotifyMask);
        const bool ok = XGetWindowAttributes(dpy_, id_, &a);
        XSync(dpy_, False);
        XSetErrorHandler(previous);
        char hex[32];
        snprintf(hex, sizeof hex, "0x%lx", id);
        if (!ok || lastXError) {
            *error = std::string("no X window ") + hex;
            return false;
        }
        // NOTE: an input-only window has no pixels: the software
        // rasteriser sized its buffer from its depth of 0 and wrote past it.
        if (a.c_class == InputOnly) {
            *error = std::string("X window ") + hex + " is input-only: there is nothing to draw on";
            return false;
        }
        width_ = a.width;
        height_ = a.height;
        return true;
    }
    unsigned long id() const { return id_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // Calls resized(w, h) on size changes and gone() when the window ends
    // (at once when it ended already: its end may be queued before the
    // event loop runs).
    void watch(std::function<void(int, int)> resized, std::function<void()> gone) {
        resized_ = std::move(resized);
        gone_ = std::move(gone);
        notifier_ = new QSocketNotifier(ConnectionNumber(dpy_), QSocketNotifier::Read);
        QObject::connect(notifier_, &QSocketNotifier::activated, [this] { drain(); });
        XSync(dpy_, False);
        drain();
    }
    bool gone() const { return gone_seen_; }
    // Puts a window of ours below its siblings (the root's children).
    void lower(unsigned long window) {
        XLowerWindow(dpy_, Window(window));
        XFlush(dpy_);
    }

private:
    void drain() {
        while (XPending(dpy_)) {
            XEvent e;
            XNextEvent(dpy_, &e);
            if (e.type == ConfigureNotify && e.xconfigure.window == id_) {
                if (e.xconfigure.width != width_ || e.xconfigure.height != height_) {
                    width_ = e.xconfigure.width;
                    height_ = e.xconfigure.height;
                    if (resized_) resized_(width_, height_);
                }
            } else if (e.type == DestroyNotify && e.xdestroywindow.window == id_ && !gone_seen_) {
                gone_seen_ = true;
                if (gone_) gone_();
            }
        }
    }
    Display *dpy_ = nullptr;
    Window id_ = 0;
    int width_ = 0, height_ = 0;
    bool gone_seen_ = false;
    QSocketNotifier *notifier_ = nullptr;
    std::function<void(int, int)> resized_;
    std::function<void()> gone_;
};

ExitStatus runEmbedded(const RunOptions &o) {
    if (QGuiApplication::platformName() != "xcb")
        return fail(ExitStatus::Failure, "--window-id and --root need an X11 display (this one is \"" +
                    QGuiApplication::platformName().toStdString() + "\")");
    ForeignWatch foreign;
    std::string error;
    if (!foreign.open(o.windowId, o.root, &error)) return fail(ExitStatus::Failure, error);
    QWindow *parent = QWindow::fromWinId(WId(foreign.id()));
    if (!parent) return fail(ExitStatus::Failure, "cannot use the X window given");
    std::vector<Shown> shown(1);
    const qreal dpr = parent->devicePixelRatio();
    const QSize first = cappedViewSize(foreign.width(), foreign.height());
    if (!loadSaver(o.saver, viewArgs(o, first.width(), first.height()), &shown[0].saver, &error))
        return fail(ExitStatus::Failure, error);
    auto *w = new platform::SaverWindow(shown[0].saver.view.get(), parent);
    shown[0].window.reset(w);
    // Input belongs to the program that owns the window: it decides when
    // the saver ends.
    Qt::WindowFlags flags = Qt::WindowTransparentForInput;
    if (o.root) flags |= Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint;
    w->setFlags(w->flags() | flags);
    // NOTE: on a scaled screen a child window's size is whole logical
    // pixels; rounding up covers a foreign window of an odd device size
    // too (the server clips the extra pixel).
    auto place = [w, dpr](int width, int height) {
        const QSize size = cappedViewSize(width, height);
        const int logicalWidth = int(std::ceil(size.width() / dpr)), logicalHeight = int(std::ceil(size.height() / dpr));
        w->setGeometry(QRect(0, 0, std::max(1, logicalWidth), std::max(1, logicalHeight)));
    };
    place(foreign.width(), foreign.height());
    w->show();
    if (o.root) foreign.lower(w->winId());
    // The foreign window may go at any time, during set-up too: the end is
    // queued, so that it also reaches a loop that has not started yet.
    foreign.watch(place, [w] {
        detachFromGoneWindow(w);
        QMetaObject::invokeMethod(
            qApp, [] { QCoreApplication::exit(exitCode(ExitStatus::Ok)); }, Qt::QueuedConnection);
    });
    if (!foreign.gone()) platform::runAtFrameBoundary([&] { shown[0].saver.view->startAnimation(); });
    const ExitStatus rc = stopSignal() ? ExitStatus::Ok : loop();
    stopAll(shown);
    delete parent;
    return rc;
}

}  // namespace

bool parseWindowId(const char *text, unsigned long *out) {
    if (!text || !*text || *text == '-' || *text == '+') return false;
    errno = 0;
    char *end = nullptr;
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    unsigned long long v = strtoull(hex ? text + 2 : text, &end, hex ? 16 : 10);
    if (errno || !*(hex ? text + 2 : text) || *end || v == 0 || v > 0xFFFFFFFFull) return false;
    *out = (unsigned long)v;
    return true;
}

ExitStatus run(const RunOptions &o) { return o.embed ? runEmbedded(o) : runFullScreen(o); }

}  // namespace somnel::host
