#include "tests/support/wait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace testsupport {

namespace {

// How often done() is asked when no event comes: what the X server shows or
// a child process's end does not wake the loop.
constexpr int kPollMs = 20;

// Runs the loop until done() holds or the deadline passes. Each pass runs
// the events that are due, else sleeps until the next one; the timer caps
// that sleep.
bool runUntil(const std::function<bool()> &done, QDeadlineTimer deadline) {
    QTimer wake;
    wake.start(kPollMs);
    while (!done()) {
        if (deadline.hasExpired()) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

}  // namespace

bool waitFor(const std::function<bool()> &done) { return runUntil(done, QDeadlineTimer(kEventTimeoutMs)); }

bool waitExposed(QWindow *window) {
    return waitFor([window] { return window && window->isExposed(); });
}

bool waitExposed(QWidget *widget) {
    return waitFor([widget] {
        QWindow *window = widget->window()->windowHandle();
        return window && window->isExposed();
    });
}

void letEventsRun(int ms) {
    runUntil([] { return false; }, QDeadlineTimer(ms));
}

}  // namespace testsupport
