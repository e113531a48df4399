// Shared by the texture-font sources: per-character metrics lookup.
#pragma once

#include "somnel/xshim.h"

namespace somnel::support {

// The metrics of character c in f; all zero for a character outside the
// font's table, so that it neither draws nor advances.
const XCharStruct *texfontCharMetrics(const XFontStruct *f, unsigned char c);

}  // namespace somnel::support
