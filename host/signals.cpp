// Stop signals, and the restart signal, through a self-pipe: the handler
// writes the signal number, a socket notifier on the main thread reads it.
// A stop the main thread does not answer (a saver whose frame never
// returns) is ended from the handlers themselves: a second stop signal, or
// an alarm set by the first.
#include "host/signals.h"

#include "platform/log.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace somnel::host {

namespace {

volatile sig_atomic_t received = 0;
// Stop signals seen so far (lock-free, so a handler may count them).
std::atomic<int> stopsSeen{0};
static_assert(std::atomic<int>::is_always_lock_free);
volatile sig_atomic_t restartPending = 0;
int pipeFds[2] = {-1, -1};
QSocketNotifier *notifier = nullptr;
std::function<void(int)> callback;
std::function<void()> restartCallback;

const int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The lines a forced end writes, made before any signal can come: a
// handler may only write bytes.
char secondSignalLine[256], noAnswerLine[256];
// Connections to shut down before the process ends (at most a few).
volatile sig_atomic_t releaseFds[4] = {-1, -1, -1, -1};

// Ends the process at once from a signal handler: the connections that
// hold grabs go first (the server drops a client's grabs when its
// connection closes), then the line, then _exit. Everything here is safe
// in a handler; nothing waits for the thread that is stuck.
[[noreturn]] void forceEnd(const char *line) {
    for (volatile sig_atomic_t &fd : releaseFds)
        if (fd >= 0) shutdown(fd, SHUT_RDWR);
    size_t n = 0;
    while (line[n]) ++n;
    ssize_t ignored = write(STDERR_FILENO, line, n);
    (void)ignored;
    _exit(exitCode(ExitStatus::Failure));
}

void handler(int sig) {
    if (sig == SIGUSR1) {
        restartPending = 1;
    } else {
        // A second stop signal while the first is still being answered.
        // NOTE: the mask holds the other stop signals back on the thread
        // that handles one only: another thread can take the second at the
        // same moment, so the count is one atomic step.
        if (stopsSeen.fetch_add(1) > 0) forceEnd(secondSignalLine);
        received = sig;
        alarm(kStopGraceSeconds);
    }
    const int saved = errno;  // a handler must leave errno as it found it
    const unsigned char byte = (unsigned char)sig;
    if (pipeFds[1] >= 0) {
        ssize_t ignored = write(pipeFds[1], &byte, 1);
        (void)ignored;
    }
    errno = saved;
}

void alarmHandler(int) { forceEnd(noAnswerLine); }

void deliver() {
    unsigned char buf[64];
    while (read(pipeFds[0], buf, sizeof buf) > 0) {
    }
    if (restartPending && !received && restartCallback) {
        restartPending = 0;
        auto fn = restartCallback;
        fn();
    }
    if (received && callback) {
        auto fn = callback;
        fn(received);
    }
}

// The notifier that hands the pipe's bytes to the main thread.
void listen() {
    if (!notifier && pipeFds[0] >= 0 && QCoreApplication::instance()) {
        notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
        QObject::connect(notifier, &QSocketNotifier::activated, [] { deliver(); });
    }
}

}  // namespace

void installStopSignals() {
    if (pipeFds[0] < 0 && pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) pipeFds[0] = pipeFds[1] = -1;
    const char *name = platform::logProgramName().c_str();
    snprintf(secondSignalLine, sizeof secondSignalLine,
             "%s: a second stop signal before the saver stopped; ended at once\n", name);
    snprintf(noAnswerLine, sizeof noAnswerLine,
             "%s: the saver did not stop within %d seconds of the stop signal; ended at once\n", name,
             kStopGraceSeconds);
    struct sigaction sa = {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    // The other stop signals wait while one is handled.
    for (int sig : kStopSignals) sigaddset(&sa.sa_mask, sig);
    sa.sa_flags = SA_RESTART;
    for (int sig : kStopSignals) sigaction(sig, &sa, nullptr);
    sigaction(SIGUSR1, &sa, nullptr);
    struct sigaction alarmAction = {};
    alarmAction.sa_handler = alarmHandler;
    sigemptyset(&alarmAction.sa_mask);
    sigaction(SIGALRM, &alarmAction, nullptr);
}

int stopSignal() { return received; }

void releaseOnForcedEnd(int fd) {
    if (fd < 0) return;
    for (volatile sig_atomic_t &slot : releaseFds)
        if (slot < 0) {
            slot = fd;
            return;
        }
}

void onStopSignal(std::function<void(int)> fn) {
    callback = std::move(fn);
    listen();
    // A signal that came before the loop runs is acted on at its first turn
    // (its byte is in the pipe, so the notifier fires).
}

void onRestartSignal(std::function<void()> fn) {
    restartCallback = std::move(fn);
    listen();
}

StopSignalsHeld::StopSignalsHeld() {
    sigset_t block;
    sigemptyset(&block);
    for (int sig : kStopSignals) sigaddset(&block, sig);
    sigprocmask(SIG_BLOCK, &block, &previous_);
}

StopSignalsHeld::~StopSignalsHeld() { sigprocmask(SIG_SETMASK, &previous_, nullptr); }

}  // namespace somnel::host
