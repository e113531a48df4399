// Pixmap records (defined in xshim_pixmap.cpp).
#pragma once

#include "xshim/xshim_private.h"

namespace somnel::xshim {

// A pixmap record over a copy of src's pixels; none when the memory cannot
// be had.
Pixmap copyPixmap(Pixmap src);

}  // namespace somnel::xshim
