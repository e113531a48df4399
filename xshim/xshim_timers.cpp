// Xt-style timeouts over the platform's one-shot run-loop timers, and the
// per-display table of input sources polled once a frame.
#include "xshim/xshim_timers_private.h"
#include "platform/clock.h"
#include "platform/timer.h"
#include "state/framework_state.h"

#include <sys/select.h>

#include <unordered_set>
#include <vector>

#define TIMERS_ABORT(text) xshim_abort("xshim-timers: %s", text)

// ---------------------------------------------------------------- timeouts

namespace {
// Removes every timeout that has not fired: the framework state's reset.
void removeAllTimeouts(somnel::FrameworkState &state) {
    const std::vector<xshim_timer *> live(state.timers.begin(), state.timers.end());
    for (xshim_timer *t : live) XtRemoveTimeOut(t);
}

// Every timer record not yet freed (kept in the framework's state).
std::unordered_set<xshim_timer *> &liveTimers() {
    somnel::FrameworkState &state = somnel::FrameworkState::instance();
    state.endTimers = removeAllTimeouts;
    return state.timers;
}
}  // namespace

XtAppContext XtDisplayToApplicationContext(Display *display) { return display; }

using namespace somnel::xshim;

xshim_timer *somnel::xshim::xshim_timer_retain(xshim_timer *timer) {
    timer->refcount++;
    return timer;
}

void somnel::xshim::xshim_timer_release(xshim_timer *timer) {
    // A reference given back twice: the hook pairing is broken.
    if (timer->refcount <= 0) TIMERS_ABORT("double free");
    if (--timer->refcount == 0) {
        liveTimers().erase(timer);
        delete timer;
    }
}

// Runs the hack's callback, then gives back the platform timer's reference
// unless the callback removed the timeout itself.
void somnel::xshim::xshim_timer_cb(platform::RunLoopTimer *, xshim_timer *timer) {
    xshim_timer_retain(timer);  // the callback may remove (and so release) it
    XtIntervalId id = timer;
    try {
        timer->callback(timer->closure, &id);
    } catch (...) {
        xshim_timer_release(timer);
        throw;
    }
    if (timer->platform_timer) {
        // The platform keeps the firing timer alive until its callback returns.
        timer->platform_timer.reset();
        xshim_timer_release(timer);
    }
    xshim_timer_release(timer);
}

XtIntervalId XtAppAddTimeOut(XtAppContext, unsigned long interval, XtTimerCallbackProc callback,
                             XtPointer closure) {
    xshim_timer *timer = new xshim_timer{};
    timer->callback = callback;
    timer->closure = closure;
    liveTimers().insert(timer);
    xshim_timer_retain(timer);  // held by the scheduled platform timer
    double fire = platform::now() + interval / 1000.0;
    timer->platform_timer = platform::RunLoopTimer::schedule(fire, [timer] {
        xshim_timer_cb(timer->platform_timer.get(), timer);
    });
    return timer;
}

void XtRemoveTimeOut(XtIntervalId id) {
    // The id of a timeout that has fired or was removed before.
    if (!liveTimers().count(id) || id->refcount <= 0) TIMERS_ABORT("already freed");
    // Removed twice from inside its own callback.
    if (!id->platform_timer) TIMERS_ABORT("timers corrupted");
    id->platform_timer->invalidate();
    id->platform_timer.reset();
    xshim_timer_release(id);
}

// ------------------------------------------------------------ input sources

xshim_sources *xshim_sources_init(XtAppContext) { return new xshim_sources{}; }

void xshim_sources_free(xshim_sources *table) { delete table; }

XtInputId XtAppAddInput(XtAppContext app, int fd, XtPointer, XtInputCallbackProc callback,
                        XtPointer closure) {
    xshim_sources *table = display_sources_data(app);
    if (fd < 1 || fd >= XSHIM_MAX_FDS) TIMERS_ABORT("fd out of range");
    // The descriptor is watched already: the hack registered it twice.
    if (table->inputs[fd]) TIMERS_ABORT("sources corrupted");
    xshim_input *input = new xshim_input{};
    input->callback = callback;
    input->fd = fd;
    input->closure = closure;
    input->app = app;
    input->refcount = 1;
    table->inputs[fd] = input;
    table->count++;
    return input;
}

void XtRemoveInput(XtInputId id) {
    if (id->refcount <= 0) TIMERS_ABORT("sources corrupted");
    xshim_sources *table = display_sources_data(id->app);
    if (table->count <= 0) TIMERS_ABORT("sources corrupted");
    if (id->fd < 1 || id->fd >= XSHIM_MAX_FDS) TIMERS_ABORT("fd out of range");
    // Another record sits in this descriptor's slot: a stale or foreign id.
    if (table->inputs[id->fd] != id) TIMERS_ABORT("sources corrupted");
    table->inputs[id->fd] = nullptr;
    table->count--;
    if (id->refcount-- <= 0) TIMERS_ABORT("double free");
    if (id->refcount == 0) delete id;
}

void xshim_XtRemoveInput_all(Display *display) {
    xshim_sources *table = display_sources_data(display);
    if (!table) return;
    for (int fd = 0; fd < XSHIM_MAX_FDS; fd++)
        if (table->inputs[fd]) XtRemoveInput(table->inputs[fd]);
}

void xshim_sources_run(xshim_sources *table) {
    if (table->count == 0) return;
    fd_set readable;
    FD_ZERO(&readable);
    int n = 0;
    for (int fd = 0; fd < XSHIM_MAX_FDS; fd++) {
        if (table->inputs[fd]) {
            FD_SET(fd, &readable);
            n = fd;
        }
    }
    if (n <= 0) TIMERS_ABORT("no fds");

    struct timeval poll = {0, 0};  // never wait: a frame must not be delayed
    if (select(n + 1, &readable, nullptr, nullptr, &poll) <= 0) return;

    for (int fd = 0; fd <= n; fd++) {
        if (!FD_ISSET(fd, &readable)) continue;
        XtInputId input = table->inputs[fd];
        // A callback earlier in this pass removed this descriptor's input:
        // nothing is watching it any more.
        if (!input) continue;
        if (!input->callback || input->fd != fd) TIMERS_ABORT("sources corrupted");
        XtInputId id = input;
        input->callback(input->closure, &input->fd, &id);
    }
}

XtInputMask XtAppPending(XtAppContext) { return XtIMAlternateInput; }

void XtAppProcessEvent(XtAppContext app, XtInputMask) { xshim_sources_run(app->sources); }
