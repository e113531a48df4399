// Pixmap records (defined in xshim_pixmap.cpp).
#pragma once

#include "xshim/xshim_private.h"

// A pixmap record over a copy of src's pixels; none when the memory cannot
// be had.
Pixmap copy_pixmap(Pixmap src);
