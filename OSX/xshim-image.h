/* Part of the Xlib subset offered to hacks (see xshim.h). */
#ifndef SOMNEL_XSHIM_IMAGE_H
#define SOMNEL_XSHIM_IMAGE_H

#include "xshim-types.h"

XSHIM_BEGIN_DECLS

XSHIM_END_DECLS

#endif
