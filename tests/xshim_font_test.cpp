// Fonts and text of the X11 emulation: name parsing and family mapping,
// metrics traced from glyph outlines, extents, copies, and drawn text.
#include "tests/support/test_support.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QPainterPath>
#include <QRawFont>
#include <QSet>

#include "xshim/xshim_font_private.h"
#include "somnel/yarandom.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

using testsupport::abortReason;

namespace {

struct Loaded {
    std::string ps_name;
    float size = 0;
    QString family, style;
    bool ok = false;
};

Loaded load(const char *name) {
    Loaded l;
    Font f = XLoadFont(nullptr, name);
    if (!f) return l;
    l.ok = true;
    l.ps_name = f->ps_name;
    l.size = f->size;
    l.family = f->nsfont->raw().familyName();
    l.style = f->nsfont->raw().styleName();
    XUnloadFont(nullptr, f);
    return l;
}

int round_out(double v) { return int(v >= 0 ? std::ceil(v) : std::floor(v)); }

}  // namespace

TEST(XshimFont, XNamesChooseFamilyFaceAndSize) {
    struct Case {
        const char *name;
        const char *ps_name;
        float size;
    } cases[] = {
        {"-*-courier-bold-r-*-*-*-140-*-*-*-*-*-*", "Courier-Bold", 14},
        {"-*-times-medium-r-*-*-14-*", "Georgia", 12},  // 1.4 is too small
        {"fixed", "Courier", 12},
        {"6x10bold", "Courier-Bold", 8},
        {"9x15", "Courier", 12},
        {"9X15BOLD", "Courier-Bold", 12},
        {"", "Verdana", 12},
        {nullptr, "Verdana", 12},
        {"-*-helvetica-*-o-*-*-*-180-*", "Verdana-Italic", 18},
        {"-*-times-bold-i-*-*-*-240-*", "Georgia-BoldItalic", 24},
        {"-*-*-*-*-*-*-*-99999-*", "Verdana", 12},                 // 9999.9: too large
        {"-*-*-*-*-*-*-*-99999999999999999999-*", "Verdana", 12},  // beyond any integer
        {"-*-*-*-*-*-*-*-0-*-*-100-*", "Verdana", 10},             // 0 leaves the size unset
        {"console", "Courier", 12},
        {"m", "Courier", 12},
        {"italic", "Verdana", 12},  // only the whole token "i" counts
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name ? c.name : "(null)");
        Loaded l = load(c.name);
        ASSERT_TRUE(l.ok);
        EXPECT_EQ(l.ps_name, c.ps_name);
        EXPECT_EQ(l.size, c.size);
    }
}

TEST(XshimFont, FamiliesMapToInstalledFaces) {
    // The three family names stand for installed faces of the right kind.
    EXPECT_EQ(load("Courier-Bold 12").family, "DejaVu Sans Mono");
    EXPECT_EQ(load("Courier-Bold 12").style, "Bold");
    EXPECT_EQ(load("Georgia-Italic 12").family, "DejaVu Serif");
    EXPECT_EQ(load("Georgia-Italic 12").style, "Italic");
    EXPECT_EQ(load("Verdana-BoldItalic 12").style, "Bold Oblique");
    EXPECT_EQ(load("Verdana 12").family, "DejaVu Sans");
    EXPECT_EQ(load("Verdana 12").style, "Book");
}

TEST(XshimFont, PlatformNamesWithSize) {
    Loaded l = load("DejaVu Serif 18");
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.ps_name, "DejaVu Serif");
    EXPECT_EQ(l.size, 18);
    EXPECT_EQ(l.family, "DejaVu Serif");

    l = load("LiberationMono-BoldItalic 20");  // a PostScript-style name
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.family, "Liberation Mono");
    EXPECT_EQ(l.style, "Bold Italic");
    EXPECT_EQ(load("DejaVuSans-Oblique 9").style, "Oblique");

    // A font-configuration alias that resolves to a real family counts.
    // Which family depends on the fonts a machine has (Liberation Sans,
    // Nimbus Sans, ...): it must be installed, and never the family that
    // every unknown name falls back to.
    l = load("Helvetica 18");
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.ps_name, "Helvetica");
    // NOTE: a family that several foundries provide is listed as
    // "Family [Foundry]".
    const QStringList families = QFontDatabase::families();
    EXPECT_TRUE(std::any_of(families.begin(), families.end(), [&](const QString &f) {
        return f == l.family || f.startsWith(l.family + " [");
    })) << l.family.toStdString();
    const QString fallback = QFontInfo(QFont(QStringLiteral("No Such Family Anywhere"))).family();
    EXPECT_NE(l.family, fallback) << "an unknown name's fallback is no match";

    // Not installed, or not a size: none, never a silent substitute.
    EXPECT_EQ(XLoadFont(nullptr, "NoSuchFont 18"), nullptr);
    EXPECT_EQ(XLoadFont(nullptr, "DejaVu Sans Fancy 18"), nullptr);
    EXPECT_EQ(XLoadFont(nullptr, "Helvetica 3"), nullptr);
    EXPECT_EQ(XLoadFont(nullptr, "Helvetica 4"), nullptr);
    EXPECT_EQ(XLoadFont(nullptr, "Helvetica x"), nullptr);
    EXPECT_EQ(XLoadFont(nullptr, "Helvetica "), nullptr);
    EXPECT_EQ(XLoadFont(nullptr, "Helvetica 99999999999"), nullptr);
    // Improbably large: refused rather than overflowing the metrics.
    EXPECT_EQ(XLoadFont(nullptr, "Helvetica 1001"), nullptr);
    EXPECT_EQ(XLoadQueryFont(nullptr, "NoSuchFont 18"), nullptr);
    // A name that is not valid UTF-8 (a user's preference can hold any
    // bytes) is at most a missing font, never a broken one that stops the
    // saver. Found by the fonts fuzzer.
    EXPECT_EQ(abortReason([] {
                  if (Font f = XLoadFont(nullptr, "fi\x85\x9a\x9b\xf5\xb5\x9a_\x93lor, 9x15ld")) XUnloadFont(nullptr, f);
              }),
              "<no exception>");
    EXPECT_TRUE(load("Helvetica 1000").ok);

    // With a '*' a failed platform name is read as X tokens instead, and
    // blanks belong to the tokens: "fixed bold" is no family.
    l = load("-*-fixed bold-*-*-*-*-*-150 x-*");
    ASSERT_TRUE(l.ok);
    EXPECT_EQ(l.ps_name, "Verdana");
    EXPECT_EQ(l.size, 15);
}

TEST(XshimFont, RandomPicksAnInstalledLatin1Face) {
    for (int i = 0; i < 8; i++) {
        Font f = XLoadFont(nullptr, "-*-random-bold-r-*-*-*-200-*");
        ASSERT_NE(f, nullptr);
        const QRawFont &raw = f->nsfont->raw();
        EXPECT_GE(raw.weight(), int(QFont::DemiBold)) << f->ps_name;
        EXPECT_EQ(raw.style(), QFont::StyleNormal) << f->ps_name;
        EXPECT_TRUE(raw.supportsCharacter(QChar(0xE9)));
        EXPECT_EQ(f->size, 20);
        // The name it keeps loads the same face again.
        auto again = platform::Font::load(f->ps_name, 20);
        ASSERT_TRUE(again) << f->ps_name;
        const QList<quint32> g = raw.glyphIndexesForString("Mi.");
        EXPECT_EQ(again->raw().advancesForGlyphIndexes(again->raw().glyphIndexesForString("Mi.")),
                  raw.advancesForGlyphIndexes(g))
            << f->ps_name;
        EXPECT_EQ(again->raw().weight(), raw.weight());
        XUnloadFont(nullptr, f);
    }
    // The pick follows the process-wide generator.
    ya_rand_state st;
    ya_rand_get_state(&st);
    std::string first = load("random").ps_name, again;
    ya_rand_set_state(&st);
    again = load("random").ps_name;
    EXPECT_EQ(first, again);
}

TEST(XshimFont, MetricsComeFromGlyphOutlines) {
    Font f = XLoadFont(nullptr, "Verdana 40");
    ASSERT_NE(f, nullptr);
    const XFontStruct &m = f->metrics;
    const QRawFont &raw = f->nsfont->raw();
    EXPECT_EQ(m.fid, f);
    EXPECT_EQ(m.min_char_or_byte2, 32u);
    EXPECT_EQ(m.max_char_or_byte2, 255u);
    EXPECT_EQ(m.default_char, 77u);
    EXPECT_EQ(m.ascent, round_out(raw.ascent()));
    EXPECT_EQ(m.descent, round_out(raw.descent()));

    for (unsigned c : {65u, 103u, 0xE9u, 0xFFu}) {
        SCOPED_TRACE(c);
        const quint32 g = raw.glyphIndexesForString(QString(QChar(c)))[0];
        const QRectF r = raw.pathForGlyph(g).boundingRect();  // y down
        const XCharStruct &cs = m.per_char[c - 32];
        EXPECT_EQ(cs.lbearing, round_out(r.left()));
        EXPECT_EQ(cs.rbearing - cs.lbearing, round_out(r.width()));
        EXPECT_EQ(cs.descent, round_out(r.bottom()));
        EXPECT_EQ(cs.ascent + cs.descent, round_out(r.height()));
        EXPECT_EQ(cs.width, round_out(raw.advancesForGlyphIndexes(QList<quint32>{g})[0].x()));
    }
    // 'g' descends, 'A' sits on the baseline; a blank has an advance but no ink.
    EXPECT_GT(m.per_char['g' - 32].descent, 0);
    EXPECT_LE(m.per_char['A' - 32].descent, 1);
    EXPECT_GT(m.per_char['A' - 32].ascent, 25);
    const XCharStruct &blank = m.per_char[0];
    EXPECT_GT(blank.width, 5);
    EXPECT_EQ(blank.lbearing, 0);
    EXPECT_EQ(blank.rbearing, 0);
    EXPECT_EQ(blank.ascent, 0);

    // The bounds fold every character.
    short maxw = 0, minlb = 255;
    for (int i = 0; i < 224; i++) {
        maxw = std::max(maxw, m.per_char[i].width);
        minlb = std::min(minlb, m.per_char[i].lbearing);
    }
    EXPECT_EQ(m.max_bounds.width, maxw);
    EXPECT_EQ(m.min_bounds.lbearing, minlb);
    EXPECT_LT(m.min_bounds.ascent, 0);  // '_' lies wholly below the baseline
    // Characters the face lacks (the soft controls 127-159) get its
    // "missing" glyph, which is drawn for them too.
    EXPECT_GT(m.per_char[0x80 - 32].width, 0);
    XUnloadFont(nullptr, f);
}

TEST(XshimFont, TextExtents) {
    XFontStruct *fs = XLoadQueryFont(nullptr, "-*-times-*-*-*-*-*-300-*");
    ASSERT_NE(fs, nullptr);
    int dir = -1, asc = -1, desc = -1;
    XCharStruct o;
    memset(&o, 0x55, sizeof o);
    XTextExtents(fs, "", 0, &dir, &asc, &desc, &o);
    EXPECT_EQ(dir, 0);
    EXPECT_EQ(asc, fs->ascent);
    EXPECT_EQ(desc, fs->descent);
    EXPECT_EQ(o.lbearing, 0);
    EXPECT_EQ(o.rbearing, 0);
    EXPECT_EQ(o.width, 0);
    EXPECT_EQ(o.ascent, 0);
    EXPECT_EQ(o.descent, 0);

    const XCharStruct &A = fs->per_char['A' - 32], &b = fs->per_char['b' - 32];
    XTextExtents(fs, "Ab", 2, &dir, &asc, &desc, &o);
    EXPECT_EQ(o.width, A.width + b.width);
    EXPECT_EQ(o.lbearing, std::min<int>(A.lbearing, A.width + b.lbearing));
    EXPECT_EQ(o.rbearing, std::max<int>(A.rbearing, A.width + b.rbearing));
    EXPECT_EQ(o.ascent, std::max(A.ascent, b.ascent));
    EXPECT_EQ(o.descent, std::max(A.descent, b.descent));
    EXPECT_EQ(XTextWidth(fs, "Ab", 2), A.width + b.width);
    EXPECT_EQ(XTextWidth(fs, "Abcdef", 2), A.width + b.width);  // only count bytes

    // Bytes outside 32..255 count as M; bytes above 127 are not negative.
    const XCharStruct &M = fs->per_char['M' - 32];
    XTextExtents(fs, "\n", 1, &dir, &asc, &desc, &o);
    EXPECT_EQ(o.width, M.width);
    EXPECT_EQ(o.rbearing, M.rbearing);
    EXPECT_EQ(XTextWidth(fs, "\xE9\xFF", 2), fs->per_char[0xE9 - 32].width + fs->per_char[0xFF - 32].width);
    XFreeFont(nullptr, fs);
}

TEST(XshimFont, CopiesAreIndependent) {
    Font f = XLoadFont(nullptr, "-*-courier-*-*-*-*-*-160-*");
    ASSERT_NE(f, nullptr);
    XFontStruct *q = XQueryFont(nullptr, f);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(q->fid, f);
    EXPECT_NE(q->per_char, f->metrics.per_char);
    EXPECT_EQ(0, memcmp(q->per_char, f->metrics.per_char, 224 * sizeof(XCharStruct)));
    EXPECT_EQ(q->max_bounds.width, f->metrics.max_bounds.width);

    xshim_gc gc{};
    XSetFont(nullptr, &gc, f);
    Font copy = gc.gcv.font;
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, f);
    EXPECT_EQ(copy->metrics.fid, copy);
    EXPECT_STREQ(copy->ps_name, "Courier");
    EXPECT_NE(copy->ps_name, f->ps_name);
    EXPECT_EQ(copy->size, 16);
    f->metrics.per_char['x' - 32].width = 99;
    EXPECT_NE(copy->metrics.per_char['x' - 32].width, 99);
    // The caller may free its font: the GC keeps its own.
    XFreeFontInfo(nullptr, q, 1);
    XUnloadFont(nullptr, f);
    EXPECT_EQ(XTextWidth(&copy->metrics, "x", 1), copy->metrics.per_char['x' - 32].width);
    XSetFont(nullptr, &gc, nullptr);  // back to no font
    EXPECT_EQ(gc.gcv.font, nullptr);

    // XFreeFontInfo frees names and records alike.
    char **names = static_cast<char **>(malloc(2 * sizeof(char *)));
    names[0] = strdup("a");
    names[1] = strdup("b");
    EXPECT_EQ(XFreeFontInfo(names, nullptr, 2), 0);
}

TEST(XshimFont, AbortTexts) {
    EXPECT_EQ(abortReason([] { XQueryFont(nullptr, nullptr); }), "no NSFont in fid");
    EXPECT_EQ(abortReason([] { XSetFont(nullptr, nullptr, nullptr); }), "no gc");
    EXPECT_EQ(abortReason([] { XTextWidth(nullptr, "a", 1); }).rfind("abort in XTextExtents:", 0), 0u);
}

// ------------------------------------------------------------ drawn text

namespace {

struct Canvas {
    Pixmap pm;
    GC gc;
    Canvas(unsigned w, unsigned h, unsigned depth = 32) {
        pm = XCreatePixmap(nullptr, nullptr, w, h, depth);
        gc = XCreateGC(nullptr, pm, 0, nullptr);
        XSetForeground(nullptr, gc, depth == 1 ? 0 : 0xFF000000);
        XFillRectangle(nullptr, pm, gc, 0, 0, w, h);
        XSetForeground(nullptr, gc, depth == 1 ? 1 : 0xFFFFFFFF);
    }
    ~Canvas() {
        XFreeGC(nullptr, gc);
        XFreePixmap(nullptr, pm);
    }
    int width() const { return int(pm->frame[2]); }
    int height() const { return int(pm->frame[3]); }
    uint32_t at(int x, int y) const { return pm->context->image().pixel(x, y) | 0xFF000000u; }
    // The rectangle of pixels that differ from `ground`, X coordinates.
    QRect ink(uint32_t ground = 0xFF000000u) const {
        QRect r;
        for (int y = 0; y < height(); y++)
            for (int x = 0; x < width(); x++)
                if (at(x, y) != ground) r |= QRect(x, y, 1, 1);
        return r;
    }
    int litInRow(int y) const {
        int n = 0;
        for (int x = 0; x < width(); x++) n += at(x, y) != 0xFF000000u;
        return n;
    }
};

}  // namespace

TEST(XshimFontDraw, TextIsUprightOnItsBaselineWhereTheMetricsSay) {
    Canvas c(120, 80);
    XFontStruct *fs = XLoadQueryFont(nullptr, "-*-times-*-*-*-*-*-400-*");
    ASSERT_NE(fs, nullptr);
    XSetFont(nullptr, c.gc, fs->fid);
    xshim_XSetAntiAliasing(nullptr, c.gc, False);

    const int x = 20, y = 50;
    XDrawString(nullptr, c.pm, c.gc, x, y, "T", 1);
    const XCharStruct &T = fs->per_char['T' - 32];
    QRect ink = c.ink();
    ASSERT_FALSE(ink.isEmpty());
    // Metrics round outwards: the ink lies inside them, within a pixel.
    EXPECT_NEAR(ink.top(), y - T.ascent, 1);
    EXPECT_NEAR(ink.bottom(), y + T.descent - 1, 1);
    EXPECT_NEAR(ink.left(), x + T.lbearing, 1);
    EXPECT_NEAR(ink.right(), x + T.rbearing - 1, 1);
    // Upright: the bar is at the top, the stem stands on the baseline.
    EXPECT_GT(c.litInRow(ink.top() + 1), 3 * c.litInRow(ink.center().y()));
    EXPECT_EQ(c.litInRow(ink.bottom() + 1), 0);

    // A descender reaches below the baseline by its descent.
    Canvas d(120, 80);
    XSetFont(nullptr, d.gc, fs->fid);
    XDrawString(nullptr, d.pm, d.gc, x, y, "g", 1);
    const XCharStruct &g = fs->per_char['g' - 32];
    EXPECT_GT(g.descent, 5);
    EXPECT_NEAR(d.ink().bottom(), y + g.descent - 1, 1);
    EXPECT_NEAR(d.ink().top(), y - g.ascent, 1);

    // Bytes above 127 are drawn as the Latin-1 characters they are measured as.
    Canvas e(120, 80);
    XSetFont(nullptr, e.gc, fs->fid);
    XDrawString(nullptr, e.pm, e.gc, x, y, "\xC9", 1);  // E acute
    const XCharStruct &E = fs->per_char[0xC9 - 32];
    EXPECT_NEAR(e.ink().top(), y - E.ascent, 1);
    EXPECT_NEAR(e.ink().left(), x + E.lbearing, 1);
    EXPECT_NEAR(e.ink().right(), x + E.rbearing - 1, 1);
    XFreeFont(nullptr, fs);
}

// Glyph outlines are traced once per face and reused: a string drawn after
// others that share its glyphs at other places, and after the same face at
// another size, must come out exactly as when drawn first.
TEST(XshimFontDraw, AStringDrawsTheSameWhateverWasDrawnBefore) {
    XFontStruct *fs = XLoadQueryFont(nullptr, "-*-helvetica-*-*-*-*-*-240-*");
    XFontStruct *big = XLoadQueryFont(nullptr, "-*-helvetica-*-*-*-*-*-480-*");
    ASSERT_NE(fs, nullptr);
    ASSERT_NE(big, nullptr);
    Canvas first(200, 60), later(200, 60);
    XSetFont(nullptr, first.gc, fs->fid);
    XDrawString(nullptr, first.pm, first.gc, 10, 40, "Wave", 4);

    XSetFont(nullptr, later.gc, big->fid);
    XDrawString(nullptr, later.pm, later.gc, 0, 50, "evaW", 4);
    XSetFont(nullptr, later.gc, fs->fid);
    XDrawString(nullptr, later.pm, later.gc, 57, 20, "aWe vW", 6);
    XSetForeground(nullptr, later.gc, 0xFF000000);
    XFillRectangle(nullptr, later.pm, later.gc, 0, 0, 200, 60);
    XSetForeground(nullptr, later.gc, 0xFFFFFFFF);
    XDrawString(nullptr, later.pm, later.gc, 10, 40, "Wave", 4);

    ASSERT_FALSE(first.ink().isEmpty());
    EXPECT_EQ(first.ink(), later.ink());
    int differ = 0;
    for (int y = 0; y < 60; y++)
        for (int x = 0; x < 200; x++) differ += first.at(x, y) != later.at(x, y);
    EXPECT_EQ(differ, 0);
    XFreeFont(nullptr, fs);
    XFreeFont(nullptr, big);
}

TEST(XshimFontDraw, ColourAndAntialiasingComeFromTheGC) {
    Canvas c(100, 40);
    XSetFont(nullptr, c.gc, nullptr);
    XSetForeground(nullptr, c.gc, 0xFFFF0000);
    xshim_XSetAntiAliasing(nullptr, c.gc, False);
    XDrawString(nullptr, c.pm, c.gc, 5, 30, "Wave", 4);
    QSet<uint32_t> colours;
    for (int y = 0; y < c.height(); y++)
        for (int x = 0; x < c.width(); x++) colours.insert(c.at(x, y));
    EXPECT_EQ(colours, (QSet<uint32_t>{0xFF000000u, 0xFFFF0000u}));

    Canvas a(100, 40);
    XSetForeground(nullptr, a.gc, 0xFFFF0000);
    XDrawString(nullptr, a.pm, a.gc, 5, 30, "Wave", 4);  // antialiased by default
    colours.clear();
    for (int y = 0; y < a.height(); y++)
        for (int x = 0; x < a.width(); x++) colours.insert(a.at(x, y));
    EXPECT_GT(colours.size(), 4);
    for (uint32_t v : colours) {
        EXPECT_EQ(qGreen(v), 0);
        EXPECT_EQ(qBlue(v), 0);
    }

    // A GC without a font draws in the default one, which it then keeps.
    ASSERT_NE(a.gc->gcv.font, nullptr);
    EXPECT_STREQ(a.gc->gcv.font->ps_name, "Verdana");
    EXPECT_EQ(a.gc->gcv.font->size, 12);
    const QRect ink = a.ink();
    EXPECT_NEAR(ink.left(), 5, 2);
    EXPECT_NEAR(ink.width(), XTextWidth(&a.gc->gcv.font->metrics, "Wave", 4), 3);

    // Depth 1: pixel 1 is white.
    Canvas m(60, 30, 1);
    xshim_XSetAntiAliasing(nullptr, m.gc, False);
    XDrawString(nullptr, m.pm, m.gc, 2, 20, "M", 1);
    EXPECT_FALSE(m.ink().isEmpty());
    bool white = false;
    for (int y = 0; y < m.height(); y++)
        for (int x = 0; x < m.width(); x++) white |= m.at(x, y) == 0xFFFFFFFFu;
    EXPECT_TRUE(white);
}

TEST(XshimFontDraw, TheGCFunctionApplies) {
    // Difference blending twice gives the ground back.
    Canvas c(80, 40);
    xshim_XSetAntiAliasing(nullptr, c.gc, False);
    XSetFunction(nullptr, c.gc, GXxor);
    XDrawString(nullptr, c.pm, c.gc, 4, 30, "Xor", 3);
    EXPECT_FALSE(c.ink().isEmpty());
    XDrawString(nullptr, c.pm, c.gc, 4, 30, "Xor", 3);
    EXPECT_TRUE(c.ink().isEmpty());
}

TEST(XshimFontDraw, ImageStringsPaintTheirBoxFirst) {
    XFontStruct *fs = XLoadQueryFont(nullptr, "-*-courier-*-*-*-*-*-200-*");
    ASSERT_NE(fs, nullptr);
    const int x = 10, y = 30;
    const char *text = "Hi, j";
    int dir, asc, desc;
    XCharStruct o;
    XTextExtents(fs, text, 5, &dir, &asc, &desc, &o);
    const int x0 = std::min<int>(0, o.lbearing);
    const QRect box(x + x0, y - fs->ascent, std::max<int>(o.rbearing - x0, o.width), fs->ascent + fs->descent);

    Canvas c(120, 60);
    XSetFont(nullptr, c.gc, fs->fid);
    XSetForeground(nullptr, c.gc, 0xFFFFFF00);
    XSetBackground(nullptr, c.gc, 0xFF0000FF);
    XDrawImageString(nullptr, c.pm, c.gc, x, y, text, 5);
    EXPECT_EQ(c.ink(), box);
    EXPECT_EQ(c.at(box.left(), box.top()), 0xFF0000FFu);
    EXPECT_EQ(c.at(box.right(), box.bottom()), 0xFF0000FFu);
    bool text_drawn = false;
    for (int yy = box.top(); yy <= box.bottom(); yy++)
        for (int xx = box.left(); xx <= box.right(); xx++) text_drawn |= qRed(c.at(xx, yy)) > 200;
    EXPECT_TRUE(text_drawn);

    // The plain form leaves the ground alone.
    Canvas p(120, 60);
    XSetFont(nullptr, p.gc, fs->fid);
    XSetBackground(nullptr, p.gc, 0xFF0000FF);
    XDrawString(nullptr, p.pm, p.gc, x, y, text, 5);
    for (int yy = 0; yy < p.height(); yy++)
        for (int xx = 0; xx < p.width(); xx++) ASSERT_NE(p.at(xx, yy), 0xFF0000FFu);

    // An empty image string paints nothing; nor does a negative length.
    Canvas e(40, 40);
    XSetFont(nullptr, e.gc, fs->fid);
    XSetBackground(nullptr, e.gc, 0xFF0000FF);
    XDrawImageString(nullptr, e.pm, e.gc, x, y, "", 0);
    XDrawString(nullptr, e.pm, e.gc, x, y, "abc", -3);
    EXPECT_TRUE(e.ink().isEmpty());
    XFreeFont(nullptr, fs);
}

TEST(XshimFontDraw, AbortTexts) {
    Canvas c(10, 10);
    EXPECT_EQ(abortReason([&] { XDrawString(nullptr, c.pm, nullptr, 0, 0, "a", 1); }), "no GC");
    EXPECT_EQ(abortReason([&] { XDrawString(nullptr, c.pm, c.gc, 0, 0, nullptr, 1); })
                  .rfind("abort in XDrawString:", 0),
              0u);
    EXPECT_EQ(abortReason([&] { XDrawImageString(nullptr, c.pm, c.gc, 0, 0, "abc", 0); }), "<no exception>");
}
