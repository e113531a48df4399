// Fonts and text of the X11 emulation: X font names mapped onto installed
// faces, per-character X metrics traced from glyph outlines, and strings
// drawn through a GC.
#include "xshim/xshim_font_private.h"

#include "platform/font.h"
#include "somnel/yarandom.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <strings.h>

using namespace somnel::xshim;

namespace {

// Sizes a font named "<font> <size>" may have: 5 points and up (smaller
// numbers are taken as part of the name), and at most this many, beyond
// which the metrics would no longer fit their 16-bit fields.
constexpr long kMaxPlatformSize = 1000;

// v rounded away from zero.
long long roundOut(double v) { return (long long)(v >= 0 ? std::ceil(v) : std::floor(v)); }

// Reads a leading integer the way "%d" would (blanks, a sign, digits);
// false when there is none. Out-of-range numbers are clamped.
bool scanNumber(const char *s, long long *out) {
    while (*s && isspace((unsigned char)*s)) s++;
    const char *p = s;
    if (*p == '+' || *p == '-') p++;
    if (!isdigit((unsigned char)*p)) return false;
    *out = strtoll(s, nullptr, 10);
    return true;
}

// As scanNumber, but false for numbers that do not fit an int.
bool scanInt(const char *s, long *out) {
    long long v;
    if (!scanNumber(s, &v) || v > INT_MAX || v < INT_MIN) return false;
    *out = long(v);
    return true;
}

// The face for a family choice; sets *name to the family name used.
std::shared_ptr<platform::Font> try_font(bool fixed, bool bold, bool italic, bool serif, std::string *name, float size) {
    if (!(size > 0)) xshim_abort("%s", "zero font size");
    const platform::FontFamily family =
        fixed ? platform::FontFamily::Fixed : serif ? platform::FontFamily::Serif : platform::FontFamily::Sans;
    const char *n = platform::Font::familyFaceName(family, bold, italic);
    auto pf = platform::Font::load(n, size);
    if (pf) *name = n;
    return pf;
}

// The face an X name (tokens, or missing) chooses, through the fallback
// chain; aborts when even the plainest family is missing.
std::shared_ptr<platform::Font> parseXName(const char *name, std::string *ps_name, float *size_out) {
    float size = 0;
    bool rand = false, fixed = false, bold = false, italic = false, serif = false;
    if (!name || !*name) {
        size = 12;
    } else {
        const char *p = name;
        while (*p) {
            while (*p == '-' || *p == '*') p++;
            if (!*p) break;
            const char *start = p;
            while (*p && *p != '-' && *p != '*') p++;
            const std::string tok(start, p - start);
            const char *t = tok.c_str();
            if (!strcasecmp(t, "random")) {
                rand = true;
            } else if (!strcasecmp(t, "bold")) {
                bold = true;
            } else if (!strcasecmp(t, "i") || !strcasecmp(t, "o")) {
                italic = true;
            } else if (!strcasecmp(t, "m") || !strcasecmp(t, "courier") || !strcasecmp(t, "fixed")) {
                fixed = true;
            } else if (!strcasecmp(t, "console") || !strcasecmp(t, "gallant") || !strcasecmp(t, "vga") ||
                       !strcasecmp(t, "9x15")) {
                fixed = true;
                size = 12;
            } else if (!strcasecmp(t, "9x15bold")) {
                fixed = bold = true;
                size = 12;
            } else if (!strcasecmp(t, "6x10")) {
                fixed = true;
                size = 8;
            } else if (!strcasecmp(t, "6x10bold")) {
                fixed = bold = true;
                size = 8;
            } else if (!strcasecmp(t, "times")) {
                serif = true;
            } else if (size == 0) {
                long long n;
                if (scanNumber(t, &n)) size = float(n) / 10.0f;
            }
        }
        if (size < 6 || size > 1000) size = 12;
    }

    std::shared_ptr<platform::Font> pf;
    if (rand) pf = platform::Font::loadRandom(bold, italic, size, ya_random, ps_name);
    if (!pf) pf = try_font(fixed, bold, italic, serif, ps_name, size);
    if (!pf && serif) {
        serif = false;
        pf = try_font(fixed, bold, italic, serif, ps_name, size);
    }
    if (!pf && italic) {
        italic = false;
        pf = try_font(fixed, bold, italic, serif, ps_name, size);
    }
    if (!pf && bold) {
        bold = false;
        pf = try_font(fixed, bold, italic, serif, ps_name, size);
    }
    if (!pf && fixed) {
        fixed = false;
        pf = try_font(fixed, bold, italic, serif, ps_name, size);
    }
    if (!pf) xshim_abort("%s", "no font");
    *size_out = size;
    return pf;
}

// Fills the record's X metrics from its face: per-character bearings,
// advance and extent from each glyph's outline, rounded away from zero.
void computeMetrics(Font fid) {
    if (!fid || !fid->nsfont || !fid->nsfont->isValid()) xshim_abort("%s", "no NSFont in fid");
    const platform::Font &face = *fid->nsfont;
    XFontStruct *f = &fid->metrics;
    f->fid = fid;
    f->min_char_or_byte2 = 32;
    f->max_char_or_byte2 = 255;
    f->default_char = 77;
    f->ascent = int32_t(roundOut(face.ascent()));
    f->descent = int32_t(-roundOut(-face.descent()));
    f->min_bounds = XCharStruct{255, 255, 255, 255, 255};
    f->max_bounds = XCharStruct{0, 0, 0, 0, 0};
    const size_t entries = f->max_char_or_byte2 - f->min_char_or_byte2 + 2;
    f->per_char = static_cast<XCharStruct *>(calloc(entries, sizeof(XCharStruct)));
    if (!f->per_char) xshim_abort("abort in %s:%d", __func__, __LINE__);

    for (unsigned c = 32; c <= 255; c++) {
        // A character the face lacks gets its "missing" glyph, as drawn.
        const platform::Font::CharMetrics box = face.charMetrics((unsigned char)c);
        XCharStruct cs;
        cs.lbearing = int16_t(roundOut(box.x));
        cs.rbearing = int16_t(roundOut(box.x) + roundOut(box.width));
        cs.width = int16_t(roundOut(box.advance));
        cs.ascent = int16_t(roundOut(box.y) + roundOut(box.height));
        cs.descent = int16_t(roundOut(-box.y));
        if ((long long)cs.rbearing - cs.lbearing != roundOut(box.width)) xshim_abort("%s", "bbox w wrong");
        if ((long long)cs.ascent + cs.descent != roundOut(box.height)) xshim_abort("%s", "bbox h wrong");
        f->per_char[c - 32] = cs;
        f->max_bounds.lbearing = std::max(f->max_bounds.lbearing, cs.lbearing);
        f->max_bounds.rbearing = std::max(f->max_bounds.rbearing, cs.rbearing);
        f->max_bounds.width = std::max(f->max_bounds.width, cs.width);
        f->max_bounds.ascent = std::max(f->max_bounds.ascent, cs.ascent);
        f->max_bounds.descent = std::max(f->max_bounds.descent, cs.descent);
        f->min_bounds.lbearing = std::min(f->min_bounds.lbearing, cs.lbearing);
        f->min_bounds.rbearing = std::min(f->min_bounds.rbearing, cs.rbearing);
        f->min_bounds.width = std::min(f->min_bounds.width, cs.width);
        f->min_bounds.ascent = std::min(f->min_bounds.ascent, cs.ascent);
        f->min_bounds.descent = std::min(f->min_bounds.descent, cs.descent);
    }
}

// A copy of a per_char table (max - min + 2 entries).
XCharStruct *copyPerChar(const XFontStruct &src) {
    const size_t entries = src.max_char_or_byte2 - src.min_char_or_byte2 + 2;
    auto *pc = static_cast<XCharStruct *>(calloc(entries, sizeof(XCharStruct)));
    if (!pc) xshim_abort("abort in %s:%d", __func__, __LINE__);
    if (src.per_char) memcpy(pc, src.per_char, (entries - 1) * sizeof(XCharStruct));
    return pc;
}

char *dupString(const std::string &s) {
    char *p = strdup(s.c_str());
    if (!p) xshim_abort("abort in %s:%d", __func__, __LINE__);
    return p;
}

}  // namespace

extern "C" Font XLoadFont(Display *, const char *name) {
    std::shared_ptr<platform::Font> pf;
    std::string ps_name;
    float size = 0;

    if (name) {
        if (const char *blank = strrchr(name, ' ')) {
            long n;
            if (scanInt(blank + 1, &n) && n > 4) {
                std::string base;
                // Larger sizes are improbable: refused like a missing font
                // rather than stopping the hack on a user's typing error.
                if (n <= kMaxPlatformSize) pf = platform::Font::load(std::string(name, blank - name), float(n), &base);
                if (pf) {
                    ps_name = base;
                    size = float(n);
                }
            }
            if (!pf && !strchr(name, '*')) return nullptr;
        }
    }
    if (!pf) pf = parseXName(name, &ps_name, &size);
    if (pf->familyName().empty() || ps_name.empty()) xshim_abort("%s", "broken NSFont in fid");

    auto *fid = new xshim_font();
    fid->ps_name = dupString(ps_name);
    fid->nsfont = std::move(pf);
    fid->size = size;
    try {
        computeMetrics(fid);
    } catch (...) {
        XUnloadFont(nullptr, fid);
        throw;
    }
    return fid;
}

extern "C" XFontStruct *XQueryFont(Display *, Font font) {
    if (!font) xshim_abort("%s", "no NSFont in fid");
    auto *fs = static_cast<XFontStruct *>(calloc(1, sizeof(XFontStruct)));
    if (!fs) xshim_abort("abort in %s:%d", __func__, __LINE__);
    *fs = font->metrics;
    fs->per_char = copyPerChar(font->metrics);
    return fs;
}

extern "C" XFontStruct *XLoadQueryFont(Display *dpy, const char *name) {
    Font fid = XLoadFont(dpy, name);
    if (!fid) return nullptr;
    return XQueryFont(dpy, fid);
}

extern "C" int XFreeFontInfo(char **names, XFontStruct *info, int count) {
    if (names) {
        for (int i = 0; i < count; i++) free(names[i]);
        free(names);
    }
    if (info) {
        for (int i = 0; i < count; i++) free(info[i].per_char);
        free(info);
    }
    return 0;
}

extern "C" int XUnloadFont(Display *, Font fid) {
    if (!fid) return 0;
    free(fid->ps_name);
    free(fid->metrics.per_char);
    delete fid;
    return 0;
}

extern "C" int XFreeFont(Display *dpy, XFontStruct *fs) {
    if (!fs) return 0;
    Font fid = fs->fid;
    XFreeFontInfo(nullptr, fs, 1);
    XUnloadFont(dpy, fid);
    return 0;
}

extern "C" int XSetFont(Display *dpy, GC gc, Font font) {
    if (!gc) xshim_abort("%s", "no gc");
    XUnloadFont(dpy, gc->gcv.font);
    gc->gcv.font = nullptr;
    // No font: the next string is drawn in the default font.
    if (!font) return 0;
    auto *copy = new xshim_font();
    copy->ps_name = strdup(font->ps_name ? font->ps_name : "");
    copy->nsfont = font->nsfont;
    copy->size = font->size;
    copy->metrics = font->metrics;
    copy->metrics.fid = copy;
    copy->metrics.per_char = copyPerChar(font->metrics);
    gc->gcv.font = copy;
    return 0;
}

extern "C" int XTextExtents(XFontStruct *fs, const char *string, int nchars, int *dir, int *font_ascent,
                            int *font_descent, XCharStruct *overall_return) {
    if (!fs || !fs->per_char) xshim_abort("abort in %s:%d", "XTextExtents", __LINE__);
    if (nchars > 0 && !string) xshim_abort("abort in %s:%d", "XTextExtents", __LINE__);
    XCharStruct overall = {0, 0, 0, 0, 0};
    for (int i = 0; i < nchars; i++) {
        // Bytes, never signed chars: everything above 127 is in the table.
        unsigned c = (unsigned char)string[i];
        if (c < fs->min_char_or_byte2 || c > fs->max_char_or_byte2) c = fs->default_char;
        if (c < fs->min_char_or_byte2 || c > fs->max_char_or_byte2) c = fs->min_char_or_byte2;
        const XCharStruct &m = fs->per_char[c - fs->min_char_or_byte2];
        if (i == 0) {
            overall = m;
            continue;
        }
        overall.ascent = std::max(overall.ascent, m.ascent);
        overall.descent = std::max(overall.descent, m.descent);
        overall.lbearing = int16_t(std::min<int>(overall.lbearing, overall.width + m.lbearing));
        overall.rbearing = int16_t(std::max<int>(overall.rbearing, overall.width + m.rbearing));
        overall.width = int16_t(overall.width + m.width);
    }
    if (dir) *dir = FontLeftToRight;
    if (font_ascent) *font_ascent = fs->ascent;
    if (font_descent) *font_descent = fs->descent;
    if (overall_return) *overall_return = overall;
    return 0;
}

extern "C" int XTextWidth(XFontStruct *fs, const char *string, int count) {
    int dir, asc, desc;
    XCharStruct overall;
    XTextExtents(fs, string, count, &dir, &asc, &desc, &overall);
    return overall.width;
}

namespace {

// Draws a string with the GC's font and foreground; an image string first
// fills the box the text covers with the GC's background.
void draw_string(Display *dpy, Drawable d, GC gc, int x, int y, const char *string, int length, bool image) {
    if (!d) xshim_abort("abort in %s:%d", image ? "XDrawImageString" : "XDrawString", __LINE__);
    if (!gc) xshim_abort("%s", "no GC");
    if (length > 0 && !string)
        xshim_abort("abort in %s:%d", image ? "XDrawImageString" : "XDrawString", __LINE__);
    if (length < 0) length = 0;
    if (!gc->gcv.font) gc->gcv.font = XLoadFont(dpy, nullptr);
    Font f = gc->gcv.font;
    if (!f->nsfont || !f->nsfont->isValid()) xshim_abort("%s", "no NSFont in fid");

    if (image) {
        int dir, asc_return, desc_return;
        XCharStruct o;
        XTextExtents(&f->metrics, string, length, &dir, &asc_return, &desc_return, &o);
        const int x0 = std::min<int>(0, o.lbearing);
        const int asc = std::max<int>(0, f->metrics.ascent);
        int w = o.rbearing < 0 ? -x0 : o.rbearing - x0;
        w = std::max<int>(w, o.width);
        const int h = f->metrics.descent >= 0 ? asc + f->metrics.descent : asc;
        draw_rect(d, gc, x + x0, y - asc, unsigned(w), unsigned(h), false, true);
    }

    {
        platform::Painter2D p = gcBegin(d, gc, true);
        const platform::Point at = mapPoint(d, x, y);
        p.fillText(*f->nsfont, string, length, at.x, at.y);
    }
    gcEnd(d);
}

}  // namespace

extern "C" int XDrawString(Display *dpy, Drawable d, GC gc, int x, int y, const char *string, int length) {
    draw_string(dpy, d, gc, x, y, string, length, false);
    return 0;
}

extern "C" int XDrawImageString(Display *dpy, Drawable d, GC gc, int x, int y, const char *string,
                                int length) {
    draw_string(dpy, d, gc, x, y, string, length, true);
    return 0;
}
