// The log line, the internal-inconsistency exception and the frame boundary.
#include "platform/log.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <errno.h>

namespace platform {

namespace {
std::string &programName() {
    static std::string name = [] {
        return std::string(program_invocation_short_name ? program_invocation_short_name : "somnel");
    }();
    return name;
}
}  // namespace

void setLogProgramName(const std::string &name) { programName() = name; }
const std::string &logProgramName() { return programName(); }

void logv(const char *fmt, va_list ap) {
    char buf[10240];
    vsnprintf(buf, sizeof buf, fmt, ap);
    size_t n = strlen(buf);
    while (n > 0 && buf[n - 1] == '\n') buf[--n] = 0;
    fprintf(stderr, "%s: %s\n", programName().c_str(), buf);
    fflush(stderr);
}

void log(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    logv(fmt, ap);
    va_end(ap);
}

InternalInconsistencyException::InternalInconsistencyException(const std::string &reason)
    : std::runtime_error(reason), reason_(reason) {}

void raiseInconsistency(const char *fmt, ...) {
    char buf[10240];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    throw InternalInconsistencyException(buf);
}

}  // namespace platform

namespace platform {

namespace {
std::function<void(const std::string &)> &frameErrorHandler() {
    static std::function<void(const std::string &)> handler;
    return handler;
}
}  // namespace

void setFrameErrorHandler(std::function<void(const std::string &)> handler) {
    frameErrorHandler() = std::move(handler);
}

void reportFrameError(const std::string &reason) {
    if (frameErrorHandler()) {
        frameErrorHandler()(reason);
        return;
    }
    log("%s", reason.c_str());
    std::exit(70);
}

void runAtFrameBoundary(const std::function<void()> &fn) {
    try {
        fn();
    } catch (const InternalInconsistencyException &e) {
        reportFrameError(e.reason());
    } catch (const std::exception &e) {
        reportFrameError(e.what());
    }
}

}  // namespace platform
