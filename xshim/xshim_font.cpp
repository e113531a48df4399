// Fonts and text of the X11 emulation: X font names mapped onto installed
// faces, per-character X metrics traced from glyph outlines, and strings
// drawn through a GC.
#include "xshim/xshim_font_private.h"

#include "somnel/yarandom.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QGlyphRun>
#include <QPainterPath>

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

// Sizes a font named "<font> <size>" may have: 5 points and up (smaller
// numbers are taken as part of the name), and at most this many, beyond
// which the metrics would no longer fit their 16-bit fields.
constexpr long kMaxPlatformSize = 1000;

enum FamilyKind { kFixed = 0, kSerif = 1, kDefault = 2 };

// The three families a parsed X name chooses from, by face: plain, bold,
// italic, bold italic.
const char *const kFamilyNames[3][4] = {
    {"Courier", "Courier-Bold", "Courier-Oblique", "Courier-BoldOblique"},
    {"Georgia", "Georgia-Bold", "Georgia-Italic", "Georgia-BoldItalic"},
    {"Verdana", "Verdana-Bold", "Verdana-Italic", "Verdana-BoldItalic"},
};

// The installed families that stand in for them, in order of preference.
const char *const kStandIns[3][2] = {
    {"DejaVu Sans Mono", "Liberation Mono"},
    {"DejaVu Serif", "Liberation Serif"},
    {"DejaVu Sans", "Liberation Sans"},
};

// v rounded away from zero.
long long round_out(double v) { return (long long)(v >= 0 ? std::ceil(v) : std::floor(v)); }

// A name reduced for loose comparison: lower case, without blanks, dashes
// and underscores, "oblique" read as "italic".
QString squash(const QString &s) {
    QString out;
    for (QChar c : s)
        if (c != u' ' && c != u'-' && c != u'_') out += c.toLower();
    out.replace(QStringLiteral("oblique"), QStringLiteral("italic"));
    return out;
}

bool is_plain_style_word(const QString &squashed) {
    static const char *const words[] = {"", "regular", "roman", "book", "medium", "normal", "plain"};
    for (const char *w : words)
        if (squashed == QLatin1String(w)) return true;
    return false;
}

std::shared_ptr<xshim_platform_font> make_font(QFont f, float size) {
    f.setHintingPreference(QFont::PreferNoHinting);
    f.setPixelSize(std::max(1, int(std::lround(size))));
    QRawFont raw = QRawFont::fromFont(f);
    if (!raw.isValid()) return nullptr;
    raw.setPixelSize(size);
    auto pf = std::make_shared<xshim_platform_font>();
    pf->font = f;
    pf->raw = raw;
    return pf;
}

// The family the font database settles on for a name it does not know.
const QString &substitute_family() {
    static const QString family =
        QFontInfo(QFont(QStringLiteral("Somnel Font That Is Not Installed"))).family();
    return family;
}

// An installed family and style whose names, run together, make `name`
// ("DejaVuSans-Bold", "DejaVu Sans Mono", "LiberationSerif-Italic").
std::shared_ptr<xshim_platform_font> load_installed(const QString &name, float size) {
    const QString n = squash(name);
    const QStringList families = QFontDatabase::families();
    QString bestFamily, bestStyle;
    qsizetype bestLen = 0;
    for (const QString &family : families) {
        const QString sf = squash(family);
        if (sf.isEmpty() || !n.startsWith(sf) || sf.size() <= bestLen) continue;
        const QString rest = n.mid(sf.size());
        QString style;
        bool found = false;
        for (const QString &s : QFontDatabase::styles(family)) {
            if (squash(s) == rest) {
                style = s;
                found = true;
                break;
            }
        }
        if (!found && !is_plain_style_word(rest)) continue;
        bestFamily = family;
        bestStyle = style;
        bestLen = sf.size();
    }
    if (bestFamily.isEmpty()) return nullptr;
    QFont f = bestStyle.isEmpty() ? QFont(bestFamily)
                                  : QFontDatabase::font(bestFamily, bestStyle, std::max(1, int(size)));
    if (bestStyle.isEmpty()) f.setStyleName(QString());
    return make_font(f, size);
}

// A name the font configuration maps onto an installed family of its own
// ("Helvetica", "Times-Bold"): accepted when what was really matched is
// not the family every unknown name ends up with.
std::shared_ptr<xshim_platform_font> load_alias(const QString &name, float size) {
    QString family = name;
    bool bold = false, italic = false;
    if (QFontDatabase::families().contains(name, Qt::CaseInsensitive)) return nullptr;
    const qsizetype dash = name.lastIndexOf(u'-');
    if (dash > 0) {
        QString style = squash(name.mid(dash + 1));
        family = name.left(dash);
        bold = style.contains(QStringLiteral("bold"));
        italic = style.contains(QStringLiteral("italic"));
        style.remove(QStringLiteral("bold"));
        style.remove(QStringLiteral("italic"));
        if (!is_plain_style_word(style)) return nullptr;
    }
    if (family.trimmed().isEmpty()) return nullptr;
    QFont f(family);
    f.setBold(bold);
    f.setItalic(italic);
    const QString matched = QFontInfo(f).family();
    if (matched.isEmpty() || matched.compare(substitute_family(), Qt::CaseInsensitive) == 0)
        return nullptr;
    return make_font(f, size);
}

// The face standing in for one of the three families' names.
std::shared_ptr<xshim_platform_font> load_family_name(const QString &name, float size) {
    for (int kind = 0; kind < 3; kind++) {
        for (int face = 0; face < 4; face++) {
            if (name.compare(QLatin1String(kFamilyNames[kind][face]), Qt::CaseInsensitive) != 0) continue;
            const QStringList installed = QFontDatabase::families();
            for (const char *standIn : kStandIns[kind]) {
                if (!installed.contains(QLatin1String(standIn))) continue;
                QFont f{QString::fromLatin1(standIn)};
                f.setBold(face & 1);
                f.setItalic(face & 2);
                auto pf = make_font(f, size);
                if (pf && pf->raw.familyName() == QLatin1String(standIn)) return pf;
            }
            return nullptr;
        }
    }
    return nullptr;
}

bool covers_latin1(const QRawFont &raw) {
    for (uint c = 0x20; c <= 0xFF; c++) {
        if (c >= 0x7F && c < 0xA0) continue;
        if (!raw.supportsCharacter(c)) return false;
    }
    return true;
}

// One installed face with the asked traits that covers Latin-1, picked at
// random (as many tries as there are candidates); null when none is found.
std::shared_ptr<xshim_platform_font> random_font(bool bold, bool italic, float size, QString *name) {
    struct Face {
        QString family, style;
    };
    std::vector<Face> faces;
    for (const QString &family : QFontDatabase::families()) {
        if (QFontDatabase::isPrivateFamily(family)) continue;
        for (const QString &style : QFontDatabase::styles(family)) {
            // NOTE: the database's italic() says no to oblique faces.
            const QFont f = QFontDatabase::font(family, style, 12);
            if ((f.weight() >= QFont::DemiBold) == bold && (f.style() != QFont::StyleNormal) == italic)
                faces.push_back({family, style});
        }
    }
    const size_t n = faces.size();
    for (size_t i = 0; i < n; i++) {
        const Face &face = faces[ya_random() % n];
        auto pf = make_font(QFontDatabase::font(face.family, face.style, std::max(1, int(size))), size);
        // Font-configuration aliases ("Monospace") list another family's
        // faces: only real ones count.
        if (!pf || pf->raw.familyName() != face.family || !covers_latin1(pf->raw)) continue;
        QString style = face.style;
        style.remove(u' ');
        *name = QString(face.family).remove(u' ') + u'-' + style;
        return pf;
    }
    return nullptr;
}

// Reads a leading integer the way "%d" would (blanks, a sign, digits);
// false when there is none. Out-of-range numbers are clamped.
bool scan_number(const char *s, long long *out) {
    while (*s && isspace((unsigned char)*s)) s++;
    const char *p = s;
    if (*p == '+' || *p == '-') p++;
    if (!isdigit((unsigned char)*p)) return false;
    *out = strtoll(s, nullptr, 10);
    return true;
}

// As scan_number, but false for numbers that do not fit an int.
bool scan_int(const char *s, long *out) {
    long long v;
    if (!scan_number(s, &v) || v > INT_MAX || v < INT_MIN) return false;
    *out = long(v);
    return true;
}

// The face for a family choice; sets *name to the family name used.
std::shared_ptr<xshim_platform_font> try_font(bool fixed, bool bold, bool italic, bool serif,
                                              QString *name, float size) {
    if (!(size > 0)) xshim_abort("%s", "zero font size");
    const int kind = fixed ? kFixed : serif ? kSerif : kDefault;
    const int face = (bold ? 1 : 0) | (italic ? 2 : 0);
    const QString n = QLatin1String(kFamilyNames[kind][face]);
    auto pf = load_platform_font(n, size);
    if (pf) *name = n;
    return pf;
}

// The face an X name (tokens, or missing) chooses, through the fallback
// chain; aborts when even the plainest family is missing.
std::shared_ptr<xshim_platform_font> parse_x_name(const char *name, QString *ps_name, float *size_out) {
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
                if (scan_number(t, &n)) size = float(n) / 10.0f;
            }
        }
        if (size < 6 || size > 1000) size = 12;
    }

    std::shared_ptr<xshim_platform_font> pf;
    if (rand) pf = random_font(bold, italic, size, ps_name);
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
void compute_metrics(Font fid) {
    if (!fid || !fid->nsfont || !fid->nsfont->raw.isValid()) xshim_abort("%s", "no NSFont in fid");
    const QRawFont &raw = fid->nsfont->raw;
    XFontStruct *f = &fid->metrics;
    f->fid = fid;
    f->min_char_or_byte2 = 32;
    f->max_char_or_byte2 = 255;
    f->default_char = 77;
    f->ascent = int32_t(round_out(raw.ascent()));
    f->descent = int32_t(-round_out(-raw.descent()));
    f->min_bounds = XCharStruct{255, 255, 255, 255, 255};
    f->max_bounds = XCharStruct{0, 0, 0, 0, 0};
    const size_t entries = f->max_char_or_byte2 - f->min_char_or_byte2 + 2;
    f->per_char = static_cast<XCharStruct *>(calloc(entries, sizeof(XCharStruct)));
    if (!f->per_char) xshim_abort("abort in %s:%d", __func__, __LINE__);

    for (unsigned c = 32; c <= 255; c++) {
        // A character the face lacks gets its "missing" glyph, as drawn.
        const QList<quint32> glyphs = raw.glyphIndexesForString(QString(QChar(char16_t(c))));
        QRectF box;
        double advance = 0;
        if (!glyphs.isEmpty()) {
            // Outline coordinates grow downwards; the metrics' upwards.
            const QRectF r = raw.pathForGlyph(glyphs[0]).boundingRect();
            box = QRectF(r.x(), -r.bottom(), r.width(), r.height());
            const QList<QPointF> adv = raw.advancesForGlyphIndexes(glyphs);
            if (!adv.isEmpty()) advance = adv[0].x();
        }
        XCharStruct cs;
        cs.lbearing = int16_t(round_out(box.x()));
        cs.rbearing = int16_t(round_out(box.x()) + round_out(box.width()));
        cs.width = int16_t(round_out(advance));
        cs.ascent = int16_t(round_out(box.y()) + round_out(box.height()));
        cs.descent = int16_t(round_out(-box.y()));
        if ((long long)cs.rbearing - cs.lbearing != round_out(box.width())) xshim_abort("%s", "bbox w wrong");
        if ((long long)cs.ascent + cs.descent != round_out(box.height())) xshim_abort("%s", "bbox h wrong");
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
XCharStruct *copy_per_char(const XFontStruct &src) {
    const size_t entries = src.max_char_or_byte2 - src.min_char_or_byte2 + 2;
    auto *pc = static_cast<XCharStruct *>(calloc(entries, sizeof(XCharStruct)));
    if (!pc) xshim_abort("abort in %s:%d", __func__, __LINE__);
    if (src.per_char) memcpy(pc, src.per_char, (entries - 1) * sizeof(XCharStruct));
    return pc;
}

char *dup_string(const QString &s) {
    const QByteArray utf8 = s.toUtf8();
    char *p = strdup(utf8.constData());
    if (!p) xshim_abort("abort in %s:%d", __func__, __LINE__);
    return p;
}

}  // namespace

// A face the font database hands back without a family name (for some
// names that are not valid UTF-8) is no match: such a name is a missing
// font, not a broken one.
std::shared_ptr<xshim_platform_font> load_platform_font(const QString &name, float size) {
    if (name.trimmed().isEmpty() || !(size > 0)) return nullptr;
    auto named = [](std::shared_ptr<xshim_platform_font> pf) {
        return pf && !pf->raw.familyName().isEmpty() ? pf : nullptr;
    };
    if (auto pf = named(load_family_name(name, size))) return pf;
    if (auto pf = named(load_installed(name, size))) return pf;
    return named(load_alias(name, size));
}

extern "C" Font XLoadFont(Display *, const char *name) {
    std::shared_ptr<xshim_platform_font> pf;
    QString ps_name;
    float size = 0;

    if (name) {
        if (const char *blank = strrchr(name, ' ')) {
            long n;
            if (scan_int(blank + 1, &n) && n > 4) {
                const QString base = QString::fromUtf8(name, blank - name);
                // Larger sizes are improbable: refused like a missing font
                // rather than stopping the hack on a user's typing error.
                if (n <= kMaxPlatformSize) pf = load_platform_font(base, float(n));
                if (pf) {
                    ps_name = base;
                    size = float(n);
                }
            }
            if (!pf && !strchr(name, '*')) return nullptr;
        }
    }
    if (!pf) pf = parse_x_name(name, &ps_name, &size);
    if (pf->raw.familyName().isEmpty() || ps_name.isEmpty()) xshim_abort("%s", "broken NSFont in fid");

    auto *fid = new xshim_font();
    fid->ps_name = dup_string(ps_name);
    fid->nsfont = std::move(pf);
    fid->size = size;
    try {
        compute_metrics(fid);
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
    fs->per_char = copy_per_char(font->metrics);
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
    copy->metrics.per_char = copy_per_char(font->metrics);
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

// The outline of a string in font f, baseline at the origin, y down:
// each byte is its Latin-1 character, placed by the face's advances.
QPainterPath string_path(Font f, const char *string, int length) {
    QPainterPath path;
    xshim_platform_font &face = *f->nsfont;
    const QRawFont &raw = face.raw;
    const QList<quint32> glyphs = raw.glyphIndexesForString(QString::fromLatin1(string, length));
    const QList<QPointF> advances = raw.advancesForGlyphIndexes(glyphs);
    QPointF pen(0, 0);
    for (qsizetype i = 0; i < glyphs.size(); i++) {
        auto cached = face.glyph_paths.find(glyphs[i]);
        if (cached == face.glyph_paths.end())
            cached = face.glyph_paths.emplace(glyphs[i], raw.pathForGlyph(glyphs[i])).first;
        path.addPath(cached->second.translated(pen));
        if (i < advances.size()) pen += advances[i];
    }
    return path;
}

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
    if (!f->nsfont || !f->nsfont->raw.isValid()) xshim_abort("%s", "no NSFont in fid");

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

    const QPainterPath path = string_path(f, string, length);
    {
        std::unique_ptr<QPainter> p = gc_begin(d, gc, true);
        const QBrush brush = p->brush();
        p->setRenderHint(QPainter::Antialiasing, gc->gcv.antialias_p);
        // The context is y-up; outlines are y-down: flip about the baseline
        // so the text comes out upright.
        p->translate(map_point(d, x, y));
        p->scale(1, -1);
        p->fillPath(path, brush);
    }
    gc_end(d);
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
