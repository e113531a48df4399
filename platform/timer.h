// One-shot timers on the main thread's event loop.
#pragma once

#include "platform/export.h"

#include <functional>
#include <memory>

class QTimer;

namespace platform {

// A one-shot timer on the main thread's event loop, fired between frames.
class SOMNEL_EXPORT RunLoopTimer {
public:
    // fireTime is absolute, in platform::now() seconds.
    static std::shared_ptr<RunLoopTimer> schedule(double fireTime, std::function<void()> callback);
    void invalidate();
    bool isValid() const { return valid_; }
    ~RunLoopTimer();

    // Fires every due timer now (tests drive time with the injected clock).
    static int fireDueTimersForTesting();
    // Invalidates every scheduled timer, so that none a test leaves behind
    // fires in the next one; returns how many there were.
    static int invalidateAll();

private:
    RunLoopTimer() = default;
    std::function<void()> callback_;
    double fireTime_ = 0;
    bool valid_ = true;
    QTimer *timer_ = nullptr;
    friend struct RunLoopTimerRegistry;
};

}  // namespace platform
