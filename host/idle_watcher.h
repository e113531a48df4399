// What `somnel idle` decides, apart from the idle source, the bus and the
// saver's process that feed it, so that it runs on a clock the caller
// passes in: when the saver starts, when it is tried again after it
// failed, and what holds it back.
#pragma once

#include <functional>
#include <string>

namespace somnel::host {

class IdleWatcher {
public:
    // A failed saver is tried again after 2 s, then 4, 8, ... up to 5
    // minutes; a run this long that then fails starts the count again.
    static constexpr double kFirstRetrySeconds = 2;
    static constexpr double kMaxRetrySeconds = 300;
    static constexpr double kHealthyRunSeconds = 60;

    struct Actions {
        std::function<void()> startSaver;
        // Call due() after so many seconds, replacing the call asked for
        // before; a negative value cancels it.
        std::function<void(double seconds)> callAfter;
        // One line for the user.
        std::function<void(const std::string &)> warn;
    };

    IdleWatcher(Actions actions, double idleSeconds);

    // The idle time changed; the caller watches the source afresh, so the
    // user counts as active until it reports idle again.
    void setIdleSeconds(double seconds);
    double idleSeconds() const { return idleSeconds_; }

    // The source's reports.
    void idle(double now);
    void active(double now);
    // Some program holds the screen on (on) or the last one let go. After
    // the release the idle time is counted again from then.
    void setInhibited(bool on, double now);
    // Show the saver now (the bus's SetActive), whatever the idle time.
    void startNow(double now);

    // The saver's process ended (or could not start). `failed` is an exit
    // with a status other than 0 or by a signal nobody asked for; `how`
    // says which, for the line the user gets ("\"Drizzle\" ended with
    // status 1").
    void saverEnded(double now, bool failed, const std::string &how);

    // The call asked for through callAfter.
    void due(double now);

    bool showing() const { return showing_; }
    bool userIdle() const { return userIdle_; }
    bool inhibited() const { return inhibited_; }
    // When the saver starts next (a retry or the idle time after a
    // release), or a negative value when it waits for the source.
    double startAt() const { return startAt_; }
    double showingSince() const { return startedAt_; }

private:
    void saverStarted(double now);
    void tryStart(double now);
    void startAt(double when, double now);
    void cancelStart();

    Actions actions_;
    double idleSeconds_;
    bool userIdle_ = false, inhibited_ = false, showing_ = false;
    double startedAt_ = 0;
    double startAt_ = -1;    // a start asked for at this time
    double notBefore_ = -1;  // no start before this time (after a failure)
    int failures_ = 0;
};

}  // namespace somnel::host
