// The decisions of `somnel idle` on an injected clock.
#include "host/idle_watcher.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace somnel::host {

namespace {

// "0.3 s", "12 s", "2 min 30 s": a duration for a line the user reads.
std::string seconds(double s) {
    char text[48];
    if (s < 10)
        snprintf(text, sizeof text, "%.1f s", s);
    else if (s < 120)
        snprintf(text, sizeof text, "%.0f s", s);
    else if (std::fmod(s, 60) < 0.5)
        snprintf(text, sizeof text, "%.0f min", std::floor(s / 60));
    else
        snprintf(text, sizeof text, "%.0f min %.0f s", std::floor(s / 60), std::fmod(s, 60));
    return text;
}

}  // namespace

IdleWatcher::IdleWatcher(Actions actions, double idleSeconds)
    : actions_(std::move(actions)), idleSeconds_(idleSeconds) {}

void IdleWatcher::setIdleSeconds(double seconds) {
    idleSeconds_ = seconds;
    userIdle_ = false;
    cancelStart();
}

void IdleWatcher::idle(double now) {
    userIdle_ = true;
    tryStart(now);
}

void IdleWatcher::active(double) {
    userIdle_ = false;
    cancelStart();
}

void IdleWatcher::setInhibited(bool on, double now) {
    if (on == inhibited_) return;
    inhibited_ = on;
    if (on)
        cancelStart();
    else if (userIdle_ && !showing_)
        startAt(now + idleSeconds_, now);
}

void IdleWatcher::startNow(double now) {
    if (showing_) return;
    cancelStart();
    saverStarted(now);
    actions_.startSaver();
}

void IdleWatcher::saverStarted(double now) {
    showing_ = true;
    startedAt_ = now;
    cancelStart();
}

void IdleWatcher::saverEnded(double now, bool failed, const std::string &how) {
    if (!showing_) return;
    showing_ = false;
    if (!failed) {
        // Ended by input (or asked to end): the user is back, and the next
        // idle time starts it again.
        failures_ = 0;
        userIdle_ = false;
        return;
    }
    const double ran = now - startedAt_;
    if (ran >= kHealthyRunSeconds) failures_ = 0;
    const double delay = std::min(kFirstRetrySeconds * std::pow(2.0, failures_), kMaxRetrySeconds);
    failures_++;
    notBefore_ = now + delay;
    if (actions_.warn)
        actions_.warn(how + " " + seconds(ran) + " after it started; not starting it again for " + seconds(delay));
    tryStart(now);
}

void IdleWatcher::due(double now) {
    startAt_ = -1;
    if (!userIdle_ || inhibited_ || showing_) return;
    // The wait after a release is over; a failure's wait may still run.
    if (now + 1e-3 < notBefore_) {
        startAt(notBefore_, now);
        return;
    }
    saverStarted(now);
    actions_.startSaver();
}

void IdleWatcher::tryStart(double now) {
    if (!userIdle_ || inhibited_ || showing_ || startAt_ >= 0) return;
    if (now + 1e-3 < notBefore_) {
        startAt(notBefore_, now);
        return;
    }
    saverStarted(now);
    actions_.startSaver();
}

void IdleWatcher::startAt(double when, double now) {
    startAt_ = when;
    actions_.callAfter(std::max(0.0, when - now));
}

void IdleWatcher::cancelStart() {
    if (startAt_ < 0) return;
    startAt_ = -1;
    actions_.callAfter(-1);
}

}  // namespace somnel::host
