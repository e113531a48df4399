// The records behind Xt timeouts and input callbacks (defined in
// xshim_timers.cpp).
#pragma once

#include "platform/timer.h"
#include "xshim/xshim_private.h"

#include <memory>

// One timeout (xshim_timers.cpp). The scheduled platform timer holds one
// reference; the record is freed when the last reference goes.
struct xshim_timer {
    std::shared_ptr<platform::RunLoopTimer> platform_timer;
    int32_t refcount;
    XtTimerCallbackProc callback;
    XtPointer closure;
};

// One watched descriptor (xshim_timers.cpp); refcount is 1 while registered.
struct xshim_input {
    XtAppContext app;
    int32_t refcount;
    XtInputCallbackProc callback;
    XtPointer closure;
    int32_t fd;
};

namespace somnel::xshim {

// The platform timer's hooks on a timer record: it takes one reference when
// scheduled, gives it back after firing or removal, and fires through the callback.
xshim_timer *xshim_timer_retain(xshim_timer *timer);
void xshim_timer_release(xshim_timer *timer);
void xshim_timer_cb(platform::RunLoopTimer *platform_timer, xshim_timer *timer);

}  // namespace somnel::xshim
