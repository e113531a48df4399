// The log line, the information categories, the internal-inconsistency
// exception and the frame boundary.
#include "platform/log.h"

#include <QCoreApplication>
#include <QLoggingCategory>

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

namespace {
// Information is off unless a rule turns it on: the default level of each
// category is the warning.
Q_LOGGING_CATEGORY(lcHost, "somnel.host", QtWarningMsg)
Q_LOGGING_CATEGORY(lcView, "somnel.view", QtWarningMsg)
Q_LOGGING_CATEGORY(lcGl, "somnel.gl", QtWarningMsg)
Q_LOGGING_CATEGORY(lcPrefs, "somnel.prefs", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSheet, "somnel.sheet", QtWarningMsg)
Q_LOGGING_CATEGORY(lcSaver, "somnel.saver", QtWarningMsg)
Q_LOGGING_CATEGORY(lcIdle, "somnel.idle", QtWarningMsg)

const QLoggingCategory &category(LogArea area) {
    switch (area) {
    case LogArea::Host: return lcHost();
    case LogArea::View: return lcView();
    case LogArea::Gl: return lcGl();
    case LogArea::Prefs: return lcPrefs();
    case LogArea::Sheet: return lcSheet();
    case LogArea::Saver: return lcSaver();
    case LogArea::Idle: return lcIdle();
    }
    return lcHost();
}
}  // namespace

const char *logCategoryName(LogArea area) { return category(area).categoryName(); }

bool logInfoEnabled(LogArea area) { return category(area).isInfoEnabled(); }

// Through Qt's message handler, which prints "somnel.gl: <message>" (or
// what QT_MESSAGE_PATTERN asks for).
void logInfoV(LogArea area, const char *fmt, va_list ap) {
    const QLoggingCategory &cat = category(area);
    if (!cat.isInfoEnabled()) return;
    char buf[10240];
    vsnprintf(buf, sizeof buf, fmt, ap);
    size_t n = strlen(buf);
    while (n > 0 && buf[n - 1] == '\n') buf[--n] = 0;
    qCInfo(cat, "%s", buf);
}

void logInfo(LogArea area, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    logInfoV(area, fmt, ap);
    va_end(ap);
}

void setVerboseLogging(bool on) {
    QLoggingCategory::setFilterRules(on ? QStringLiteral("somnel.*.info=true") : QString());
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
