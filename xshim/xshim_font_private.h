// The font record behind the emulation's Font handle, shared by its
// source files (xshim*.cpp) and tests. Hacks see only the pointer.
#pragma once

#include "xshim/xshim_draw.h"

#include "platform/font.h"

#include <memory>

struct xshim_font {
    char *ps_name;  // the name the font was loaded by (malloc'd)
    // The face at the record's size. Records copied from the same load (a
    // GC's copy, XQueryFont's metrics) share it.
    std::shared_ptr<platform::Font> nsfont;
    float size;  // in points; one point is one pixel
    XFontStruct metrics;  // fid points back to this record
};
