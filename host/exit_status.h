// The somnel program's exit statuses, and the one way it reports an error.
// `somnel --help` and the README list the statuses; scripts and the tests
// rely on the numbers.
#pragma once

#include <string>

namespace somnel::host {

enum class ExitStatus : int {
    // Done (configure: OK). NOTE: not "Success", a macro of the X headers.
    Ok = 0,
    // The command could not do its work: no such saver or no display, a
    // picture not written, a render ended by a signal.
    Failure = 1,
    // configure: Cancel, nothing stored.
    Cancelled = 1,
    // Bad command line: an unknown command or option, a bad value.
    Usage = 2,
    // idle --status: no idle watcher runs in this session.
    NotRunning = 3,
    // configure: the saver cannot be loaded (not 1, which is Cancel).
    Unavailable = 69,
    // run: a full-screen saver already runs on this display; this one does
    // not start (a program that starts savers can tell it from a failure).
    AlreadyRunning = 75,
    // An internal inconsistency: a programming error caught at a frame
    // boundary, or a saver description the sheet cannot be built from.
    Software = 70,
};

constexpr int exitCode(ExitStatus status) { return static_cast<int>(status); }

// One line on standard error, "somnel: <message>".
void reportError(const std::string &message);

// Reports the error and gives the status back, for `return fail(...)`.
ExitStatus fail(ExitStatus status, const std::string &message);

}  // namespace somnel::host
