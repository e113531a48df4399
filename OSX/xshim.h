/* The Xlib and Xt subset offered to hacks. Include this, never <X11/Xlib.h>. */
#ifndef SOMNEL_XSHIM_H
#define SOMNEL_XSHIM_H

#include "xshim-types.h"
#include "xshim-display.h"
#include "xshim-color.h"
#include "xshim-timers.h"
#include "xshim-gc.h"
#include "xshim-image.h"
#include "xshim-font.h"

#endif
