// X11 idle sources, each on a connection of its own: the SYNC extension's
// IDLETIME counter with alarms (the server wakes us when the idle time
// crosses the timeout and again at the next input: no polling), else the
// MIT-SCREEN-SAVER extension's idle time, read when it could first have
// reached the timeout and, while idle, once a second to notice input.
#include "platform/idle.h"

#include "platform/log.h"

#include <QSocketNotifier>
#include <QTimer>

#include <X11/Xlib.h>
#include <X11/Xlib-xcb.h>
#include <xcb/screensaver.h>
#include <X11/extensions/sync.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

// How often the MIT-SCREEN-SAVER source reads the idle time while the user
// is idle, to notice the next input.
constexpr int kActivePollMs = 1000;

// The monitor whose connection is open, for the connection-lost handler
// (there is one at a time in a process).
IdleMonitor *liveMonitor = nullptr;

// NOTE: Xlib calls this when the connection breaks and ends the process
// once it returns; the monitor's owner gets its say first.
int onIoError(Display *) {
    if (liveMonitor && liveMonitor->onLost) liveMonitor->onLost("the X display closed the connection");
    std::_Exit(0);
}

// Requests on our own connection that fail (an alarm already gone) are
// not fatal.
int onError(Display *, XErrorEvent *) { return 0; }

// The connection both sources share the handling of: opened from DISPLAY,
// watched on the main loop, closed at the end.
class X11Connection {
public:
    ~X11Connection() {
        delete notifier_;
        if (dpy_) XCloseDisplay(dpy_);
    }
    bool open(std::string *why) {
        const char *name = getenv("DISPLAY");
        if (!name || !*name) {
            *why = "DISPLAY is not set";
            return false;
        }
        dpy_ = XOpenDisplay(name);
        if (!dpy_) {
            *why = std::string("cannot open the X display \"") + name + "\"";
            return false;
        }
        return true;
    }
    // Calls drain whenever the server sends something, and once now.
    void listen(IdleMonitor *monitor, std::function<void(XEvent &)> handle) {
        liveMonitor = monitor;
        XSetIOErrorHandler(onIoError);
        XSetErrorHandler(onError);
        handle_ = std::move(handle);
        notifier_ = new QSocketNotifier(ConnectionNumber(dpy_), QSocketNotifier::Read);
        QObject::connect(notifier_, &QSocketNotifier::activated, [this] { drain(); });
        drain();
    }
    void drain() {
        // NOTE: XPending reads what the socket holds (and finds a closed
        // connection); events Xlib already queued while sending are
        // handled here too, so none waits for the next wake-up.
        while (XPending(dpy_)) {
            XEvent e;
            XNextEvent(dpy_, &e);
            if (handle_) handle_(e);
        }
    }
    Display *display() const { return dpy_; }

private:
    Display *dpy_ = nullptr;
    QSocketNotifier *notifier_ = nullptr;
    std::function<void(XEvent &)> handle_;
};

// ------------------------------------------------------------------ SYNC

class X11SyncMonitor : public IdleMonitor {
public:
    ~X11SyncMonitor() override {
        if (liveMonitor == this) liveMonitor = nullptr;
        Display *dpy = conn_.display();
        if (dpy && idleAlarm_) XSyncDestroyAlarm(dpy, idleAlarm_);
        if (dpy && activeAlarm_) XSyncDestroyAlarm(dpy, activeAlarm_);
    }

    bool open(std::string *why) {
        if (!conn_.open(why)) return false;
        Display *dpy = conn_.display();
        int errorBase = 0, major = 0, minor = 0;
        if (!XSyncQueryExtension(dpy, &eventBase_, &errorBase) || !XSyncInitialize(dpy, &major, &minor)) {
            *why = "the X server has no SYNC extension";
            return false;
        }
        int count = 0;
        XSyncSystemCounter *counters = XSyncListSystemCounters(dpy, &count);
        for (int i = 0; i < count; i++)
            if (!strcmp(counters[i].name, "IDLETIME")) idleCounter_ = counters[i].counter;
        if (counters) XSyncFreeSystemCounterList(counters);
        if (!idleCounter_) {
            *why = "the X server's SYNC extension has no IDLETIME counter";
            return false;
        }
        conn_.listen(this, [this](XEvent &e) { handle(e); });
        return true;
    }

    std::string name() const override { return "the X server's SYNC IDLETIME counter"; }

    void watch(int timeoutMs) override {
        timeoutMs_ = std::max(1, timeoutMs);
        idle_ = false;
        watches_++;
        if (activeAlarm_) {
            XSyncDestroyAlarm(conn_.display(), activeAlarm_);
            activeAlarm_ = 0;
        }
        XSyncValue value;
        XSyncIntToValue(&value, timeoutMs_);
        setAlarm(&idleAlarm_, value, XSyncPositiveComparison);
        // NOTE: the server checks an alarm on IDLETIME only when the
        // counter crosses a value; one made when the user has already been
        // idle longer never fires. So look once, and if so, be idle now
        // (from the event loop, as an alarm would be).
        XSyncValue now;
        if (XSyncQueryCounter(conn_.display(), idleCounter_, &now) && !XSyncValueLessThan(now, value))
            QTimer::singleShot(0, &guard_, [this, now, watch = ++watches_] {
                if (watch == watches_) becameIdle(now);
            });
        XFlush(conn_.display());
    }

    bool resetIdle() override {
        // NOTE: resetting the server's screen-saver timer also sets every
        // device's last input time, so IDLETIME goes back to zero.
        XResetScreenSaver(conn_.display());
        XFlush(conn_.display());
        return true;
    }

private:
    // Creates or changes an alarm on IDLETIME; changing one arms it again.
    void setAlarm(XSyncAlarm *alarm, XSyncValue value, XSyncTestType test) {
        XSyncAlarmAttributes a;
        memset(&a, 0, sizeof a);
        a.trigger.counter = idleCounter_;
        a.trigger.value_type = XSyncAbsolute;
        a.trigger.wait_value = value;
        a.trigger.test_type = test;
        XSyncIntToValue(&a.delta, 0);  // fires once, then waits to be set again
        a.events = True;
        const unsigned long mask =
            XSyncCACounter | XSyncCAValueType | XSyncCAValue | XSyncCATestType | XSyncCADelta | XSyncCAEvents;
        if (*alarm)
            XSyncChangeAlarm(conn_.display(), *alarm, mask, &a);
        else
            *alarm = XSyncCreateAlarm(conn_.display(), mask, &a);
    }

    void handle(XEvent &e) {
        if (e.type != eventBase_ + XSyncAlarmNotify) return;
        auto *n = reinterpret_cast<XSyncAlarmNotifyEvent *>(&e);
        if (n->alarm == idleAlarm_) {
            becameIdle(n->counter_value);
        } else if (n->alarm == activeAlarm_ && idle_) {
            idle_ = false;
            XSyncValue value;
            XSyncIntToValue(&value, timeoutMs_);
            setAlarm(&idleAlarm_, value, XSyncPositiveComparison);
            XFlush(conn_.display());
            if (onActive) onActive();
        }
    }

    // Waits for the next input: until the counter drops below what it read.
    void becameIdle(XSyncValue counter) {
        if (idle_) return;
        idle_ = true;
        XSyncValue one, below;
        int overflow = 0;
        XSyncIntToValue(&one, 1);
        XSyncValueSubtract(&below, counter, one, &overflow);
        setAlarm(&activeAlarm_, below, XSyncNegativeComparison);
        XFlush(conn_.display());
        if (onIdle) onIdle();
    }

    X11Connection conn_;
    QObject guard_;    // ends the calls queued for this monitor with it
    int watches_ = 0;  // tells a queued call from a later watch's
    int eventBase_ = 0;
    XSyncCounter idleCounter_ = 0;
    XSyncAlarm idleAlarm_ = 0, activeAlarm_ = 0;
    int timeoutMs_ = 1;
    bool idle_ = false;
};

// ------------------------------------------------------- MIT-SCREEN-SAVER

class X11ScreenSaverMonitor : public IdleMonitor {
public:
    ~X11ScreenSaverMonitor() override {
        if (liveMonitor == this) liveMonitor = nullptr;
    }

    bool open(std::string *why) {
        if (!conn_.open(why)) return false;
        // The extension's requests go through the display's own XCB
        // connection: one socket, one order of requests.
        xcb_ = XGetXCBConnection(conn_.display());
        const xcb_query_extension_reply_t *ext = xcb_get_extension_data(xcb_, &xcb_screensaver_id);
        if (!ext || !ext->present) {
            *why = "the X server has no MIT-SCREEN-SAVER extension";
            return false;
        }
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);  // a coarse one may wake early, to read the time again
        QObject::connect(&timer_, &QTimer::timeout, [this] { check(); });
        conn_.listen(this, [](XEvent &) {});
        return true;
    }

    std::string name() const override { return "the X server's MIT-SCREEN-SAVER idle time"; }

    void watch(int timeoutMs) override {
        timeoutMs_ = std::max(1, timeoutMs);
        idle_ = false;
        timer_.start(0);  // reads the idle time from the event loop, as later on
    }

    bool resetIdle() override {
        XResetScreenSaver(conn_.display());
        XFlush(conn_.display());
        return true;
    }

private:
    unsigned long idleMs() {
        xcb_screensaver_query_info_reply_t *info = xcb_screensaver_query_info_reply(
            xcb_, xcb_screensaver_query_info(xcb_, DefaultRootWindow(conn_.display())), nullptr);
        const unsigned long idle = info ? info->ms_since_user_input : 0;
        free(info);
        return idle;
    }

    // Reads the idle time; sleeps until it could first reach the timeout,
    // or, while idle, for the polling interval.
    void check() {
        const unsigned long idle = idleMs();
        if (idle_ && idle < lastIdleMs_) {
            idle_ = false;
            if (onActive) onActive();
        } else if (!idle_ && idle >= (unsigned long)timeoutMs_) {
            idle_ = true;
            if (onIdle) onIdle();
        }
        lastIdleMs_ = idle;
        timer_.start(idle_ ? kActivePollMs : int(timeoutMs_ - idle));
    }

    X11Connection conn_;
    xcb_connection_t *xcb_ = nullptr;
    QTimer timer_;
    int timeoutMs_ = 1;
    unsigned long lastIdleMs_ = 0;
    bool idle_ = false;
};

}  // namespace

std::unique_ptr<IdleMonitor> openX11SyncMonitor(std::string *why) {
    auto m = std::make_unique<X11SyncMonitor>();
    if (!m->open(why)) return nullptr;
    return m;
}

std::unique_ptr<IdleMonitor> openX11ScreenSaverMonitor(std::string *why) {
    auto m = std::make_unique<X11ScreenSaverMonitor>();
    if (!m->open(why)) return nullptr;
    return m;
}

}  // namespace platform
