// Full-screen and embedded runs of a saver.
#include "host/run.h"

#include "host/host.h"
#include "host/signals.h"

#include "platform/desktop.h"
#include "platform/log.h"
#include "platform/saver_window.h"
#include "platform/view.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

namespace somnel::host {

namespace {

using platform::DesktopAnswer;

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

// Starts every view afresh, as a screen locker asks with SIGUSR1: the
// hack's free callback, then its init on the next tick.
void restartAll(std::vector<Shown> &shown) {
    for (Shown &s : shown)
        platform::runAtFrameBoundary([&] {
            if (s.saver.view->isAnimating()) s.saver.view->stopAnimation();
            s.saver.view->startAnimation();
        });
}

// Runs the event loop until the saver is to end; a stop signal ends it with
// Ok like any other end, SIGUSR1 restarts the views.
ExitStatus loop(std::vector<Shown> &shown) {
    onStopSignal([](int) { QCoreApplication::exit(exitCode(ExitStatus::Ok)); });
    onRestartSignal([&shown] { restartAll(shown); });
    const auto rc = static_cast<ExitStatus>(QGuiApplication::exec());
    onRestartSignal({});
    return rc;
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

// Shows the saver only while it owns keyboard and pointer, so that no key
// meant to wake the screen lands in a window hidden beneath it: the windows
// are shown once no other program holds a grab, the first one grabs as
// soon as it is viewable (again whenever its native window is made), and
// they are hidden while another program holds a grab, with one line.
class InputKeeper {
public:
    explicit InputKeeper(std::vector<Shown> &shown) : shown_(shown) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { check(); });
        timer_.start(kCheckMs);
        check();
    }

private:
    void check() {
        platform::SaverWindow *holder = shown_.front().window.get();
        if (holder->holdsInput()) return;
        if (shown() && holder->isExposed()) {
            const DesktopAnswer grab = holder->grabInput();
            if (grab == DesktopAnswer::Done) return;
            if (grab == DesktopAnswer::NotSupported) {
                timer_.stop();  // a session without grabs: the saver just shows
                return;
            }
        }
        // Not viewable yet, or another program holds a grab: only the
        // latter keeps the saver hidden.
        if (platform::Desktop::current().inputAvailable() == DesktopAnswer::Refused) {
            if (!waiting_)
                reportError("another program holds the keyboard or the pointer; the saver shows once it lets go");
            waiting_ = true;
            for (Shown &s : shown_) s.window->hide();
            return;
        }
        waiting_ = false;
        if (!shown())
            for (Shown &s : shown_) {
                s.window->showInRole();
                s.window->raise();
            }
    }
    bool shown() const { return shown_.front().window->isVisible(); }

    static constexpr int kCheckMs = 100;
    std::vector<Shown> &shown_;
    QTimer timer_;
    bool waiting_ = false;
};

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
    std::string error;
    // One full-screen saver per display: a second would stack over the
    // first, and one key would end only the top one.
    if (platform::Desktop::current().claimFullScreen(&error) == DesktopAnswer::Refused)
        return fail(ExitStatus::AlreadyRunning, error);
    std::vector<Shown> shown(screens.size());
    for (int i = 0; i < screens.size(); ++i) {
        QScreen *screen = screens[i];
        const QRect g = screen->geometry();
        const qreal dpr = screen->devicePixelRatio();
        const QSize size = cappedViewSize(int(g.width() * dpr), int(g.height() * dpr));
        if (!loadSaver(o.saver, viewArgs(o, size.width(), size.height()), &shown[i].saver, &error))
            return fail(ExitStatus::Failure, error);
        auto *w = new platform::SaverWindow(shown[i].saver.view.get());
        shown[i].window.reset(w);
        // A window of its own above everything, not one the window manager
        // frames or moves; it covers its screen exactly (on Wayland: full
        // screen on that output, as the compositor places it). The first
        // holds the grab where there are grabs: every key and click, on any
        // monitor, comes to it. A screen larger than kMaxViewSide gets a
        // window of the capped size at its top left instead: full screen
        // would size the view after the screen.
        platform::DesktopRole role;
        role.grabInput = i == 0;
        role.stacking = platform::Stacking::AboveAll;
        role.hideCursor = true;
        role.bypassWindowManager = true;
        role.fullScreen = size == QSize(int(g.width() * dpr), int(g.height() * dpr));
        w->setDesktopRole(role);
        w->setScreen(screen);
        w->setTitle(QString::fromStdString(shown[i].saver.bundle->name()));
        w->setGeometry(QRect(g.topLeft(), size / dpr));
        shown[i].saver.view->onExitRequested = [] { QCoreApplication::exit(exitCode(ExitStatus::Ok)); };
    }
    // A saver that stops answering must not keep the grabs: a forced end
    // shuts the connection that holds them down first.
    releaseOnForcedEnd(platform::Desktop::current().inputConnection());
    InputKeeper keeper(shown);
    for (Shown &s : shown) platform::runAtFrameBoundary([&] { s.saver.view->startAnimation(); });
    const ExitStatus rc = stopSignal() ? ExitStatus::Ok : loop(shown);
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

ExitStatus runEmbedded(const RunOptions &o) {
    std::string error;
    // Declared first: it outlives the saver windows made inside it.
    std::unique_ptr<platform::ForeignWindow> foreign =
        platform::Desktop::current().openForeign(o.windowId, o.root, &error);
    if (!foreign) return fail(ExitStatus::Failure, error);
    QWindow *parent = foreign->parentForSaver();
    if (!parent) return fail(ExitStatus::Failure, "cannot use the X window given");
    std::vector<Shown> shown(1);
    const qreal dpr = parent->devicePixelRatio();
    const QSize first = cappedViewSize(int(foreign->size().width), int(foreign->size().height));
    if (!loadSaver(o.saver, viewArgs(o, first.width(), first.height()), &shown[0].saver, &error))
        return fail(ExitStatus::Failure, error);
    // A GL saver inside a window that its owner may destroy at any moment
    // draws off screen and its frames are copied in: a GL drawable destroyed
    // under a frame under way let the software rasteriser write past its
    // buffers. The root window never goes: there the saver draws directly.
    const auto frames = o.root ? platform::GLFrames::Direct : platform::GLFrames::Copied;
    auto *w = new platform::SaverWindow(shown[0].saver.view.get(), parent, frames);
    shown[0].window.reset(w);
    // Input belongs to the program that owns the window: it decides when
    // the saver ends. On the root window the saver stays beneath every
    // other window.
    platform::DesktopRole role;
    role.inputPassesThrough = true;
    if (o.root) {
        role.bypassWindowManager = true;
        role.stacking = platform::Stacking::BelowAll;
    }
    w->setDesktopRole(role, foreign.get());
    // NOTE: on a scaled screen a child window's size is whole logical
    // pixels; rounding up covers a foreign window of an odd device size
    // too (the server clips the extra pixel).
    auto place = [w, dpr](platform::Size device) {
        const QSize size = cappedViewSize(int(device.width), int(device.height));
        const int logicalWidth = int(std::ceil(size.width() / dpr)),
                  logicalHeight = int(std::ceil(size.height() / dpr));
        w->setGeometry(QRect(0, 0, std::max(1, logicalWidth), std::max(1, logicalHeight)));
    };
    place(foreign->size());
    w->show();
    // The foreign window may go at any time, during set-up too: the end is
    // queued, so that it also reaches a loop that has not started yet.
    foreign->watch(place, [w] {
        detachFromGoneWindow(w);
        QMetaObject::invokeMethod(
            qApp, [] { QCoreApplication::exit(exitCode(ExitStatus::Ok)); }, Qt::QueuedConnection);
    });
    if (!foreign->gone()) platform::runAtFrameBoundary([&] { shown[0].saver.view->startAnimation(); });
    const ExitStatus rc = stopSignal() ? ExitStatus::Ok : loop(shown);
    stopAll(shown);
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
