// Shared by the texture-font sources: per-character metrics lookup.
#pragma once

#include "somnel/xshim.h"

// The metrics of character c in f; all zero for a character outside the
// font's table, so that it neither draws nor advances.
const XCharStruct *texfont_char_metrics(const XFontStruct *f, unsigned char c);
