// Ending the host cleanly on SIGTERM, SIGINT and SIGHUP; restarting the
// saver on SIGUSR1.
#pragma once

#include "host/exit_status.h"

#include <csignal>
#include <functional>

namespace somnel::host {

// How long a stop signal waits for the program to end cleanly (for the
// frame being drawn to finish and the saver to stop).
constexpr int kStopGraceSeconds = 3;

// Installs handlers for SIGTERM, SIGINT and SIGHUP that only note the
// signal and write a byte to a pipe; the work of stopping is done on the
// main thread. SIGUSR1, the restart signal, is noted the same way (and
// ignored by commands that do not ask for it: it never ends the program).
// Call before anything slow, so an early signal is not lost.
// A stop that is not done within kStopGraceSeconds, or a second stop
// signal meanwhile, ends the process at once (status 1) with a line
// saying so, after shutting down the connections given to
// releaseOnForcedEnd.
void installStopSignals();

// A connection (an X server's socket) to shut down before a forced end, so
// that the server drops its keyboard and pointer grabs at once.
void releaseOnForcedEnd(int fd);

// The first stop signal received, 0 while none came.
int stopSignal();

// Calls fn(signal) from the main thread's event loop once a stop signal
// has arrived (at once, on the first turn of the loop, when one already
// has). Needs the application object. Replaces an earlier fn.
void onStopSignal(std::function<void(int)> fn);

// Calls fn() from the main thread's event loop each time SIGUSR1 arrives
// (several that come together count once). Needs the application object.
void onRestartSignal(std::function<void()> fn);

// Holds stop signals back while it lives (they are noted, and acted on,
// afterwards): for work that must not be cut in half.
class StopSignalsHeld {
public:
    StopSignalsHeld();
    ~StopSignalsHeld();
    StopSignalsHeld(const StopSignalsHeld &) = delete;
    StopSignalsHeld &operator=(const StopSignalsHeld &) = delete;

private:
    sigset_t previous_;
};

}  // namespace somnel::host
