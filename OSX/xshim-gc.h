/* Part of the Xlib subset offered to hacks (see xshim.h). */
#ifndef SOMNEL_XSHIM_GC_H
#define SOMNEL_XSHIM_GC_H

#include "xshim-types.h"

XSHIM_BEGIN_DECLS

/* The GC values a hack sets with XCreateGC and XChangeGC; only the fields
 * named by the value mask are read. */
typedef struct {
    int function;
    unsigned long foreground;
    unsigned long background;
    int line_width;
    int cap_style;
    int join_style;
    int fill_rule;
    Font font;
    int subwindow_mode;
    int clip_x_origin, clip_y_origin;
    Pixmap clip_mask;
    int alpha_allowed_p;
    int antialias_p;
} XGCValues;

XSHIM_END_DECLS

#endif
