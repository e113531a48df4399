// One-shot timers on the main thread's event loop.
#include "platform/log.h"
#include "platform/clock.h"
#include "platform/timer.h"

#include <QTimer>

#include <algorithm>
#include <cmath>

namespace platform {

// Scheduled timers hold a reference to themselves here until they fire or
// are invalidated, as a run loop retains its timers.
struct RunLoopTimerRegistry {
    static std::vector<std::shared_ptr<RunLoopTimer>> &live() {
        static std::vector<std::shared_ptr<RunLoopTimer>> timers;
        return timers;
    }
    static void drop(RunLoopTimer *t) {
        auto &v = live();
        v.erase(std::remove_if(v.begin(), v.end(), [t](auto &p) { return p.get() == t; }), v.end());
    }
    static void fire(const std::shared_ptr<RunLoopTimer> &t) {
        if (!t->valid_) return;
        t->valid_ = false;
        auto keep = t;  // the callback may drop the last other reference
        drop(t.get());
        if (keep->timer_) keep->timer_->stop();
        runAtFrameBoundary(keep->callback_);
    }
};

std::shared_ptr<RunLoopTimer> RunLoopTimer::schedule(double fireTime, std::function<void()> callback) {
    std::shared_ptr<RunLoopTimer> t(new RunLoopTimer);
    t->callback_ = std::move(callback);
    t->fireTime_ = fireTime;
    RunLoopTimerRegistry::live().push_back(t);
    double ms = std::max(0.0, (fireTime - now()) * 1000.0);
    t->timer_ = new QTimer;
    t->timer_->setSingleShot(true);
    t->timer_->setTimerType(Qt::PreciseTimer);
    std::weak_ptr<RunLoopTimer> weak = t;
    QObject::connect(t->timer_, &QTimer::timeout, [weak] {
        if (auto strong = weak.lock()) RunLoopTimerRegistry::fire(strong);
    });
    t->timer_->start(int(std::min(ms, 2.0e9)));
    return t;
}

void RunLoopTimer::invalidate() {
    if (!valid_) return;
    valid_ = false;
    if (timer_) timer_->stop();
    RunLoopTimerRegistry::drop(this);
}

RunLoopTimer::~RunLoopTimer() {
    if (timer_) timer_->deleteLater();
}

int RunLoopTimer::invalidateAll() {
    const std::vector<std::shared_ptr<RunLoopTimer>> all = RunLoopTimerRegistry::live();
    for (auto &t : all) t->invalidate();
    return int(all.size());
}

int RunLoopTimer::fireDueTimersForTesting() {
    double t = now();
    std::vector<std::shared_ptr<RunLoopTimer>> due;
    for (auto &p : RunLoopTimerRegistry::live())
        if (p->valid_ && p->fireTime_ <= t) due.push_back(p);
    std::sort(due.begin(), due.end(), [](auto &a, auto &b) { return a->fireTime_ < b->fireTime_; });
    for (auto &p : due) RunLoopTimerRegistry::fire(p);
    return int(due.size());
}

}  // namespace platform
