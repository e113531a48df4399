/* The Xlib and Xt subset offered to hacks. Include this, never <X11/Xlib.h>. */
#ifndef SOMNEL_XSHIM_H
#define SOMNEL_XSHIM_H

#include "somnel/xshim-types.h"
#include "somnel/xshim-display.h"
#include "somnel/xshim-color.h"
#include "somnel/xshim-timers.h"
#include "somnel/xshim-gc.h"
#include "somnel/xshim-image.h"
#include "somnel/xshim-font.h"

#endif
