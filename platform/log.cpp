// The log line, the information categories, the internal-inconsistency
// exception and the frame boundary.
#include "platform/log.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
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

namespace {
// The length of the UTF-8 sequence starting at s[i] (0 when it is not one:
// a stray continuation byte, an overlong form, a surrogate, past U+10FFFF
// or cut short), and its code point.
size_t utf8Sequence(const std::string &s, size_t i, unsigned *codePoint) {
    const unsigned char c = (unsigned char)s[i];
    size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (!n || c > 0xF4 || i + n > s.size()) return 0;
    unsigned cp = c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
        const unsigned char d = (unsigned char)s[i + k];
        if ((d & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (d & 0x3F);
    }
    if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
        return 0;
    *codePoint = cp;
    return n;
}
}  // namespace

std::string printableText(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    auto escape = [&out](unsigned char c) {
        static const char hex[] = "0123456789abcdef";
        out += "\\x";
        out += hex[c >> 4];
        out += hex[c & 15];
    };
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = (unsigned char)text[i];
        if (c < 0x80) {
            if (c < 0x20 || c == 0x7F) escape(c);
            else out += char(c);
            ++i;
            continue;
        }
        unsigned cp = 0;
        const size_t n = utf8Sequence(text, i, &cp);
        if (!n || (cp >= 0x80 && cp <= 0x9F)) {  // not UTF-8, or a C1 control
            for (size_t k = 0; k < std::max<size_t>(n, 1); ++k) escape((unsigned char)text[i + k]);
            i += std::max<size_t>(n, 1);
            continue;
        }
        out.append(text, i, n);
        i += n;
    }
    return out;
}

void logv(const char *fmt, va_list ap) {
    char buf[10240];
    vsnprintf(buf, sizeof buf, fmt, ap);
    size_t n = strlen(buf);
    while (n > 0 && buf[n - 1] == '\n') buf[--n] = 0;
    fprintf(stderr, "%s: %s\n", programName().c_str(), printableText(buf).c_str());
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
    qCInfo(cat, "%s", printableText(buf).c_str());
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
