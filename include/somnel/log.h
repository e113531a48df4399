/* Information lines from a saver, in the "somnel.saver" logging category:
 * off by default, shown with `somnel --verbose` or a logging rule
 * (QT_LOGGING_RULES="somnel.saver.info=true"). Recoverable problems are not
 * information: they go to standard error as one line beginning with
 * progname. Plain C. */
#ifndef SOMNEL_LOG_H
#define SOMNEL_LOG_H

#include "somnel/xshim_types.h"

XSHIM_BEGIN_DECLS

/* One line, printf-style, after progname and a colon when progname is set;
 * a trailing newline is not doubled. */
__attribute__((format(printf, 1, 2))) void somnel_log_info(const char *fmt, ...);

XSHIM_END_DECLS

#endif
