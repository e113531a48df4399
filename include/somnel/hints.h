/* Hints: what the host asks of a saver beyond its options, passed with
 * the view's creation arguments and the same for every view of the
 * process. Plain C. */
#ifndef SOMNEL_HINTS_H
#define SOMNEL_HINTS_H

#include "somnel/xshim_types.h"

XSHIM_BEGIN_DECLS

/* Nonzero when the host asked for exact filtering (`somnel render
 * --exact-filtering`): a saver that trades texture-filtering settings for
 * speed on a slow renderer keeps the settings its picture is defined with. */
int somnel_exact_filtering(void);

XSHIM_END_DECLS

#endif
