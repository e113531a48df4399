/* The Xlib and Xt subset offered to hacks. Include this, never <X11/Xlib.h>. */
#ifndef SOMNEL_XSHIM_H
#define SOMNEL_XSHIM_H

#include "somnel/xshim_types.h"
#include "somnel/xshim_display.h"
#include "somnel/xshim_color.h"
#include "somnel/xshim_timers.h"
#include "somnel/xshim_gc.h"
#include "somnel/xshim_image.h"
#include "somnel/xshim_font.h"

#endif
