// The font record behind the emulation's Font handle, shared by its
// source files (xshim*.cpp) and tests. Hacks see only the pointer.
#pragma once

#include "xshim/xshim_draw.h"

#include <QFont>
#include <QRawFont>

#include <QPainterPath>

#include <memory>
#include <unordered_map>

// A loaded face at one size. Records copied from the same load (a GC's
// copy, XQueryFont's metrics) share it.
struct xshim_platform_font {
    QFont font;    // what was asked of the font database
    QRawFont raw;  // the face, at the record's size in pixels
    // Outlines already traced, by glyph index. Tracing a glyph runs the
    // face's hinting program every time, which made drawing a string cost
    // a hundred times what the painter's own text drawing does.
    std::unordered_map<quint32, QPainterPath> glyph_paths;
};

struct xshim_font {
    char *ps_name;  // the name the font was loaded by (malloc'd)
    std::shared_ptr<xshim_platform_font> nsfont;
    float size;  // in points; one point is one pixel
    XFontStruct metrics;  // fid points back to this record
};

// Loads an installed font by name ("Courier-Bold", "DejaVu Sans",
// "DejaVuSans-Bold", a font-configuration alias such as "Helvetica") at
// size pixels; null when no such font is installed.
std::shared_ptr<xshim_platform_font> load_platform_font(const QString &name, float size);
