// Reporting: one-line warnings, information lines by area, the
// internal-inconsistency exception for programming errors, and the frame
// boundary where the host catches it.
#pragma once

#include "platform/export.h"

#include <cstdarg>
#include <functional>
#include <stdexcept>
#include <string>

namespace platform {

// One line on standard error: "<program>: <message>\n". The program name is
// the process name unless set. A trailing newline in the message is not doubled.
SOMNEL_EXPORT void log(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
SOMNEL_EXPORT void logv(const char *fmt, va_list ap);
SOMNEL_EXPORT void setLogProgramName(const std::string &name);
SOMNEL_EXPORT const std::string &logProgramName();

// Text from outside the program (a manifest, a description, a file or
// folder name) made safe for a terminal: control characters (C0, DEL and
// C1, line breaks included) and bytes that are not UTF-8 become "\xNN",
// so that no escape sequence reaches the terminal and a message stays one
// line. Every log and information line passes through it.
SOMNEL_EXPORT std::string printableText(const std::string &text);

// ------------------------------------------------------------ information

// The areas of the program, each a logging category of its own: "somnel.gl",
// "somnel.host", ... (logCategoryName). Warnings above are always printed;
// information lines are off by default and on with setVerboseLogging or a
// rule such as QT_LOGGING_RULES="somnel.gl.info=true".
enum class LogArea {
    Host,    // somnel.host: the program, bundle search and loading
    View,    // somnel.view: saver views and their function tables
    Gl,      // somnel.gl: OpenGL contexts
    Prefs,   // somnel.prefs: stored preferences
    Sheet,   // somnel.sheet: the configuration sheet
    Saver,   // somnel.saver: what a saver itself reports
    Idle,    // somnel.idle: the idle watcher, its sources and inhibitors
};
SOMNEL_EXPORT const char *logCategoryName(LogArea area);
SOMNEL_EXPORT bool logInfoEnabled(LogArea area);
// One information line in the area's category, when it is on.
SOMNEL_EXPORT void logInfo(LogArea area, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
SOMNEL_EXPORT void logInfoV(LogArea area, const char *fmt, va_list ap);
// Turns every area's information on (the host's --verbose). Rules in
// QT_LOGGING_RULES still have the last word.
SOMNEL_EXPORT void setVerboseLogging(bool on);

// ------------------------------------------------- internal inconsistency

// The one exception type for programming errors (the view and sheet
// assertions, the emulation's abort). The host catches it at the frame
// boundary, prints the reason and exits non-zero.
class SOMNEL_EXPORT InternalInconsistencyException : public std::runtime_error {
public:
    explicit InternalInconsistencyException(const std::string &reason);
    const std::string &reason() const { return reason_; }

private:
    std::string reason_;
};

// Formats the message printf-style and throws InternalInconsistencyException.
[[noreturn]] SOMNEL_EXPORT void raiseInconsistency(const char *fmt, ...)
    __attribute__((format(printf, 1, 2)));

// Frame boundary: an exception escaping a timer tick or an event handler is
// handed to this handler (the host prints it and exits non-zero). The default
// logs the reason and ends the process with status 70.
SOMNEL_EXPORT void setFrameErrorHandler(std::function<void(const std::string &reason)> handler);
SOMNEL_EXPORT void reportFrameError(const std::string &reason);
// Runs fn, handing any exception to the frame error handler.
SOMNEL_EXPORT void runAtFrameBoundary(const std::function<void()> &fn);

}  // namespace platform

// Assertion helper: when cond is false, raises the internal-inconsistency
// exception with the formatted message.
#define SOMNEL_ASSERT(cond, ...)                                 \
    do {                                                         \
        if (!(cond)) ::platform::raiseInconsistency(__VA_ARGS__); \
    } while (0)
