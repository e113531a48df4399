// Reporting: one-line log messages, the internal-inconsistency exception
// for programming errors, and the frame boundary where the host catches it.
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
