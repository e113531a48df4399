// Stop signals, and the restart signal, through a self-pipe: the handler
// writes the signal number, a socket notifier on the main thread reads it.
#include "host/signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace somnel::host {

namespace {

volatile sig_atomic_t received = 0;
volatile sig_atomic_t restartPending = 0;
int pipeFds[2] = {-1, -1};
QSocketNotifier *notifier = nullptr;
std::function<void(int)> callback;
std::function<void()> restartCallback;

const int kStopSignals[] = {SIGTERM, SIGINT, SIGHUP};

void handler(int sig) {
    if (sig == SIGUSR1)
        restartPending = 1;
    else if (!received)
        received = sig;
    const int saved = errno;  // a handler must leave errno as it found it
    const unsigned char byte = (unsigned char)sig;
    if (pipeFds[1] >= 0) {
        ssize_t ignored = write(pipeFds[1], &byte, 1);
        (void)ignored;
    }
    errno = saved;
}

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
    struct sigaction sa = {};
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int sig : kStopSignals) sigaction(sig, &sa, nullptr);
    sigaction(SIGUSR1, &sa, nullptr);
}

int stopSignal() { return received; }

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
