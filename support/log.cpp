// A saver's information lines, in the platform's "somnel.saver" category.
#include "somnel/log.h"
#include "somnel/somnel_function_table.h"  // progname

#include "platform/log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

extern "C" void somnel_log_info(const char *fmt, ...) {
    if (!platform::logInfoEnabled(platform::LogArea::Saver)) return;
    char text[10240];
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    if (progname && *progname)
        platform::logInfo(platform::LogArea::Saver, "%s: %s", progname, text);
    else
        platform::logInfo(platform::LogArea::Saver, "%s", text);
}
