// Texture fonts and GL strings, drawn into an off-screen GL context and read
// back: the textures a font becomes, where each glyph's ink lands, and the
// GL state a string leaves behind.
#include "tests/support/in_program_saver.h"

#include "framework/somnel_view.h"
#include "somnel/somnel_function_table.h"
#include "platform/geometry.h"
#include "platform/gl.h"

#include <QImage>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "xshim/xshim_view.h"
#include "somnel/glxfonts.h"
#include "somnel/texfont.h"

using testsupport::abortReason;
using testsupport::captureStderr;

// The fonts these tests name, as the defaults of a saver living in this
// program; a test may store other values over them.
namespace {
const char *const glyphs_defaults[] = {
    "*bigFont: -*-helvetica-medium-r-normal-*-1400-*",
    "*midFont: -*-helvetica-medium-r-normal-*-500-*",
    nullptr,
};
}  // namespace
SOMNEL_TEST_SAVER(glyphs, "Glyphs", glyphs_defaults)

namespace {

const int W = 256, H = 128;

// Ink of one colour channel above a threshold: its bounding box in GL
// window coordinates (y up), empty when there is none.
struct Box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    bool empty() const { return x1 < 0; }
};

class GLText : public testsupport::InProgramSaver {
protected:
    void SetUp() override {
        ASSERT_TRUE(makeView("Glyphs", W, H));
        ASSERT_TRUE(makeGLContext());
        makeDisplay();
        clear(0, 0, 0);
    }
    void TearDown() override {
        for (TextureFont *tf : fonts) free_texture_font(tf);
        InProgramSaver::TearDown();
    }

    TextureFont *load(const char *res = "fpsFont") {
        TextureFont *tf = load_texture_font(dpy, res);
        fonts.push_back(tf);
        return tf;
    }
    void clear(float r, float g, float b) {
        glClearColor(r, g, b, 1);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }
    // Window-sized orthographic projection, identity model-view.
    void windowCoordinates() {
        glMatrixMode(GL_PROJECTION);
        glLoadIdentity();
        glOrtho(0, W, 0, H, -1, 1);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
    }
    // Box of pixels whose channel (0 red, 1 green, 2 blue) satisfies pred.
    template <class Pred>
    Box ink(Pred pred) {
        QImage img = ctx->readPixels();
        Box b;
        for (int row = 0; row < img.height(); row++) {
            for (int x = 0; x < img.width(); x++) {
                if (!pred(img.pixel(x, row))) continue;
                int y = img.height() - 1 - row;
                b.x0 = std::min(b.x0, x);
                b.x1 = std::max(b.x1, x);
                b.y0 = std::min(b.y0, y);
                b.y1 = std::max(b.y1, y);
            }
        }
        return b;
    }
    Box whiteInk() {
        return ink([](QRgb p) { return qRed(p) > 128 && qGreen(p) > 128; });
    }
    const XCharStruct &metrics(TextureFont *tf, unsigned char c) {
        return tf->font->per_char[c - tf->font->min_char_or_byte2];
    }

    std::vector<TextureFont *> fonts;
};

// Level 0 of texture id as one byte per texel (the intensity).
std::vector<unsigned char> texels(GLuint id, int w, int h) {
    std::vector<unsigned char> out(size_t(w) * size_t(h));
    glBindTexture(GL_TEXTURE_2D, id);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_UNSIGNED_BYTE, out.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return out;
}

// Whether any texel in [x0, x1) x [y0, y1) (rows from the top) is lit.
bool lit(const std::vector<unsigned char> &t, int tw, int x0, int y0, int x1, int y1) {
    for (int y = y0; y < y1; y++)
        for (int x = x0; x < x1; x++)
            if (t[size_t(y) * size_t(tw) + size_t(x)] > 64) return true;
    return false;
}

TEST(ToPow2, SmallestPowerOfTwoAtLeastN) {
    EXPECT_EQ(to_pow2(0), 1u);
    EXPECT_EQ(to_pow2(1), 1u);
    EXPECT_EQ(to_pow2(2), 2u);
    EXPECT_EQ(to_pow2(3), 4u);
    EXPECT_EQ(to_pow2(512), 512u);
    EXPECT_EQ(to_pow2(513), 1024u);
    EXPECT_EQ(to_pow2(65536), 65536u);
    EXPECT_EQ(abortReason([] { to_pow2(65537); }).rfind("abort in to_pow2:", 0), 0u);
}

TEST_F(GLText, SmallFontIsOneTextureWithEachGlyphAtItsCellCorner) {
    GLuint outer = 0;
    glGenTextures(1, &outer);
    glBindTexture(GL_TEXTURE_2D, outer);
    TextureFont *tf = load();
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), outer) << "the caller's texture is bound again";

    XFontStruct *f = tf->font;
    EXPECT_EQ(tf->cell_width, f->max_bounds.rbearing - f->min_bounds.lbearing);
    EXPECT_EQ(tf->cell_height, f->max_bounds.ascent + f->max_bounds.descent);
    ASSERT_LE(16 * tf->cell_height, 512);
    EXPECT_EQ(tf->grid_mag, 1);
    EXPECT_EQ(tf->ntextures, 1);
    EXPECT_NE(tf->texids[0], 0u);
    EXPECT_EQ(tf->texids[1], 0u);
    EXPECT_EQ(unsigned(tf->tex_width), to_pow2(unsigned(16 * tf->cell_width)));
    EXPECT_EQ(unsigned(tf->tex_height), to_pow2(unsigned(16 * tf->cell_height)));

    glBindTexture(GL_TEXTURE_2D, tf->texids[0]);
    GLint filter = 0, internal = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_LINEAR_MIPMAP_LINEAR);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &internal);
    EXPECT_TRUE(internal == GL_INTENSITY || internal == GL_INTENSITY8) << std::hex << internal;

    auto t = texels(tf->texids[0], tf->tex_width, tf->tex_height);
    const int cw = tf->cell_width, ch = tf->cell_height;
    auto cell = [&](int c) { return std::pair<int, int>((c % 16) * cw, (c / 16) * ch); };
    // 'M': ink in the box its metrics give, starting at the cell's corner.
    const XCharStruct &m = metrics(tf, 'M');
    auto [mx, my] = cell('M');
    int iw = m.rbearing - m.lbearing, ih = m.ascent + m.descent;
    EXPECT_TRUE(lit(t, tf->tex_width, mx, my, mx + 2, my + ih)) << "left column of the ink box";
    EXPECT_TRUE(lit(t, tf->tex_width, mx, my, mx + iw, my + 2)) << "top row of the ink box";
    // NOTE: the rasteriser's hinting can put a glyph's ink one pixel past
    // the box its outline gives, into the neighbouring cell: leave a
    // one-pixel margin at the cell edges.
    EXPECT_FALSE(lit(t, tf->tex_width, mx + iw + 1, my + 1, mx + cw - 1, my + ch - 1)) << "nothing right of it";
    EXPECT_FALSE(lit(t, tf->tex_width, mx + 1, my + ih + 1, mx + cw - 1, my + ch - 1)) << "nothing below it";
    // No glyph for a blank or the control characters, nothing outside the grid.
    auto [sx, sy] = cell(' ');
    EXPECT_FALSE(lit(t, tf->tex_width, sx + 1, sy + 1, sx + cw - 1, sy + ch - 1));
    EXPECT_FALSE(lit(t, tf->tex_width, 0, 0, 16 * cw, 2 * ch - 1));
    EXPECT_FALSE(lit(t, tf->tex_width, 16 * cw, 0, tf->tex_width, tf->tex_height));
    EXPECT_FALSE(lit(t, tf->tex_width, 0, 16 * ch, tf->tex_width, tf->tex_height));
    glDeleteTextures(1, &outer);
}

TEST_F(GLText, LargeFontIsSplitIntoSixtyFourTextures) {
    TextureFont *tf = load("bigFont");
    ASSERT_GT(16 * tf->cell_height, 2048);
    EXPECT_EQ(tf->grid_mag, 8);
    EXPECT_EQ(tf->ntextures, 64);
    EXPECT_EQ(unsigned(tf->tex_width), to_pow2(unsigned(2 * tf->cell_width)));
    EXPECT_EQ(unsigned(tf->tex_height), to_pow2(unsigned(2 * tf->cell_height)));
    for (int k = 0; k < 64; k++) {
        EXPECT_NE(tf->texids[k], 0u);
        for (int j = 0; j < k; j++) EXPECT_NE(tf->texids[j], tf->texids[k]);
    }
    // Texture 16 holds 'A' ... 'D' in a 2 x 2 grid; 'B' is its top-right cell.
    auto t = texels(tf->texids['B' / 4], tf->tex_width, tf->tex_height);
    const int cw = tf->cell_width, ch = tf->cell_height;
    const XCharStruct &b = metrics(tf, 'B');
    EXPECT_TRUE(lit(t, tf->tex_width, cw, 0, cw + 3, b.ascent + b.descent));
    EXPECT_TRUE(lit(t, tf->tex_width, 0, ch, cw, 2 * ch)) << "'C' below 'A'";
    EXPECT_FALSE(lit(t, tf->tex_width, 2 * cw, 0, tf->tex_width, tf->tex_height));
}

TEST_F(GLText, FontFallbacksAndTheirMessages) {
    setResource("fpsFont", std::string("NoSuchFont 18"));
    TextureFont *tf = nullptr;
    std::string err = captureStderr([&] { tf = load("fpsFont"); });
    EXPECT_EQ(err, "Glyphs: unable to load font \"NoSuchFont 18\", using \"-*-courier-bold-r-normal-*-180-*\"\n");
    ASSERT_NE(tf, nullptr);
    EXPECT_EQ(tf->font->ascent + tf->font->descent > 0, true);

    // Another resource falls back to its own default, which loads at once.
    err = captureStderr([&] { tf = load("titleFont"); });
    EXPECT_EQ(err, "");
    EXPECT_GT(tf->cell_height, 20);  // the 24-pixel default

    EXPECT_EQ(abortReason([&] { load_texture_font(dpy, ""); }).rfind("abort in load_texture_font:", 0), 0u);
    EXPECT_EQ(abortReason([&] { load_texture_font(dpy, nullptr); }).rfind("abort in load_texture_font:", 0), 0u);
}

TEST_F(GLText, MeasuredWidthsAndHeights) {
    TextureFont *tf = load();
    XFontStruct *f = tf->font;
    const int lh = f->ascent + f->descent;
    int h = 0;
    EXPECT_EQ(string_width(f, "", &h), 0);
    EXPECT_EQ(h, lh);
    int wa = metrics(tf, 'a').width, wb = metrics(tf, 'b').width, wc = metrics(tf, 'c').width;
    EXPECT_EQ(string_width(f, "ab\nabc", &h), wa + wb + wc);
    EXPECT_EQ(h, 2 * lh);
    EXPECT_EQ(texture_string_width(tf, "abc\nab\n", &h), wa + wb + wc);
    EXPECT_EQ(h, 3 * lh);
    EXPECT_EQ(texture_string_width(tf, "a\x01\tb", nullptr), wa + wb) << "control characters have no width";
    EXPECT_EQ(string_width(f, "\xe9", nullptr), metrics(tf, 0xe9).width);
}

TEST_F(GLText, PrintedGlyphInkLandsWhereItsMetricsSay) {
    TextureFont *tf = load();
    windowCoordinates();
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glColor3f(1, 1, 1);
    glTranslatef(40, 60, 0);
    print_texture_string(tf, "M");
    const XCharStruct &m = metrics(tf, 'M');
    Box b = whiteInk();
    ASSERT_FALSE(b.empty());
    EXPECT_NEAR(b.x0, 40 + m.lbearing, 1);
    EXPECT_NEAR(b.x1 + 1, 40 + m.rbearing, 1);
    EXPECT_NEAR(b.y1 + 1, 60 + m.ascent, 1);
    EXPECT_NEAR(b.y0, 60 - m.descent, 1);

    // A blank advances the pen without ink; a newline goes one line down.
    clear(0, 0, 0);
    print_texture_string(tf, " M\nM");
    Box two = whiteInk();
    const int lh = tf->font->ascent + tf->font->descent;
    EXPECT_NEAR(two.x0, 40 + m.lbearing, 1) << "second line starts at x = 0";
    EXPECT_NEAR(two.x1 + 1, 40 + metrics(tf, ' ').width + m.rbearing, 1);
    EXPECT_NEAR(two.y0, 60 - lh - m.descent, 1);
    GLint mode = 0;
    glGetIntegerv(GL_FRONT_FACE, &mode);
    EXPECT_EQ(mode, GL_CCW);
}

// Every state print_gl_string saves, and the two matrix stacks.
struct GLStateSnapshot {
    std::map<GLenum, bool> enabled;
    GLint polygon[2] = {0, 0}, blend_src = 0, blend_dst = 0, matrix_mode = 0, texture = 0;
    GLint modelview_depth = 0, projection_depth = 0;
    GLfloat modelview[16] = {}, projection[16] = {}, color[4] = {};

    static GLStateSnapshot take() {
        GLStateSnapshot s;
        for (GLenum cap : {GL_TEXTURE_2D, GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_LIGHTING, GL_BLEND,
                           GL_DEPTH_TEST, GL_CULL_FACE, GL_FOG})
            s.enabled[cap] = glIsEnabled(cap);
        glGetIntegerv(GL_POLYGON_MODE, s.polygon);
        glGetIntegerv(GL_BLEND_SRC, &s.blend_src);
        glGetIntegerv(GL_BLEND_DST, &s.blend_dst);
        glGetIntegerv(GL_MATRIX_MODE, &s.matrix_mode);
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &s.texture);
        glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &s.modelview_depth);
        glGetIntegerv(GL_PROJECTION_STACK_DEPTH, &s.projection_depth);
        glGetFloatv(GL_MODELVIEW_MATRIX, s.modelview);
        glGetFloatv(GL_PROJECTION_MATRIX, s.projection);
        glGetFloatv(GL_CURRENT_COLOR, s.color);
        return s;
    }
};

void expectSameState(const GLStateSnapshot &a, const GLStateSnapshot &b) {
    for (auto &[cap, on] : a.enabled) EXPECT_EQ(b.enabled.at(cap), on) << "capability 0x" << std::hex << cap;
    EXPECT_EQ(b.polygon[0], a.polygon[0]);
    EXPECT_EQ(b.polygon[1], a.polygon[1]);
    EXPECT_EQ(b.blend_dst, a.blend_dst);
    EXPECT_EQ(b.blend_src, GL_SRC_ALPHA);
    EXPECT_EQ(b.matrix_mode, GL_MODELVIEW);
    EXPECT_EQ(b.texture, a.texture);
    EXPECT_EQ(b.modelview_depth, a.modelview_depth);
    EXPECT_EQ(b.projection_depth, a.projection_depth);
    for (int i = 0; i < 16; i++) {
        EXPECT_FLOAT_EQ(b.modelview[i], a.modelview[i]) << i;
        EXPECT_FLOAT_EQ(b.projection[i], a.projection[i]) << i;
    }
    for (int i = 0; i < 4; i++) EXPECT_FLOAT_EQ(b.color[i], a.color[i]);
}

TEST_F(GLText, PrintGlStringPutsBackTheStateItFound) {
    TextureFont *tf = load();
    GLuint tex = 0;
    glGenTextures(1, &tex);
    for (int variant = 0; variant < 3; variant++) {
        SCOPED_TRACE(variant);
        bool on = variant != 1;
        for (GLenum cap : {GL_TEXTURE_GEN_S, GL_TEXTURE_GEN_T, GL_LIGHTING, GL_DEPTH_TEST, GL_CULL_FACE, GL_FOG})
            on ? glEnable(cap) : glDisable(cap);
        // The two that print_gl_string turns on go the other way.
        for (GLenum cap : {GL_TEXTURE_2D, GL_BLEND}) on ? glDisable(cap) : glEnable(cap);
        if (variant == 2) {
            glPolygonMode(GL_FRONT, GL_LINE);
            glPolygonMode(GL_BACK, GL_POINT);
        } else {
            glPolygonMode(GL_FRONT_AND_BACK, on ? GL_LINE : GL_FILL);
        }
        glBlendFunc(GL_ONE, on ? GL_ONE : GL_DST_COLOR);
        glBindTexture(GL_TEXTURE_2D, on ? tex : 0);
        glColor4f(0.25f, 0.5f, 0.75f, 1.0f);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glFrustum(-1, 1, -1, 1, 1, 10);
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glPushMatrix();
        glLoadIdentity();
        glTranslatef(1, 2, -3);
        glRotatef(30, 0, 0, 1);

        GLStateSnapshot before = GLStateSnapshot::take();
        print_gl_string(dpy, tf, variant == 0 ? W : 0, H, "Hi\tthere [2] [x]\nH[2]O", variant == 1, 10, 100);
        GLStateSnapshot after = GLStateSnapshot::take();
        expectSameState(before, after);
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));

        glPopMatrix();
        glPopMatrix();
        glMatrixMode(GL_PROJECTION);
        glPopMatrix();
        glMatrixMode(GL_MODELVIEW);
    }
    glDeleteTextures(1, &tex);
}

TEST_F(GLText, PrintGlStringPlacesLinesTabsAndSubscripts) {
    TextureFont *tf = load();
    int lh = 0;
    const int wm = texture_string_width(tf, "m", &lh);
    const XCharStruct &M = metrics(tf, 'M');
    glColor3f(1, 1, 1);

    // y is the top of the first line: the baseline is one line height lower.
    clear(0.5f, 0.5f, 0.5f);
    print_gl_string(dpy, tf, W, H, "M", False, 20, 100);
    Box b = whiteInk();
    ASSERT_FALSE(b.empty());
    EXPECT_NEAR(b.x0, 20 + M.lbearing, 1);
    EXPECT_NEAR(b.y1 + 1, 100 - lh + M.ascent, 1);
    EXPECT_NEAR(b.y0, 100 - lh - M.descent, 1);
    // With a window width the outline is drawn: black around the white.
    Box dark = ink([](QRgb p) { return qRed(p) < 40; });
    ASSERT_FALSE(dark.empty());
    EXPECT_NEAR(dark.x0, b.x0 - 1, 1);
    EXPECT_NEAR(dark.x1, b.x1 + 1, 1);
    EXPECT_NEAR(dark.y0, b.y0 - 1, 1);
    EXPECT_NEAR(dark.y1, b.y1 + 1, 1);

    // A tab moves to the next multiple of seven 'm' widths.
    clear(0, 0, 0);
    print_gl_string(dpy, tf, W, H, "\tM", False, 0, 100);
    EXPECT_NEAR(whiteInk().x0, 7 * wm + M.lbearing, 1);

    // "[2]" is a subscript: the 2 alone, 0.3 line heights lower.
    clear(0, 0, 0);
    print_gl_string(dpy, tf, W, H, "2", False, 20, 100);
    Box plain = whiteInk();
    clear(0, 0, 0);
    print_gl_string(dpy, tf, W, H, "[2]", False, 20, 100);
    Box sub = whiteInk();
    EXPECT_EQ(sub.x0, plain.x0) << "no bracket drawn";
    EXPECT_EQ(sub.x1, plain.x1);
    EXPECT_NEAR(plain.y0 - sub.y0, 0.3 * lh, 1);
    // Brackets around a non-digit are drawn.
    clear(0, 0, 0);
    print_gl_string(dpy, tf, W, H, "[x]", False, 20, 100);
    Box bracketed = whiteInk();
    EXPECT_NEAR(bracketed.x0, 20 + metrics(tf, '[').lbearing, 1);
    EXPECT_NEAR(bracketed.x1 + 1, 20 + texture_string_width(tf, "[x", nullptr) + metrics(tf, ']').rbearing, 1);

    // With width 0 the caller's projection places the text.
    clear(0, 0, 0);
    windowCoordinates();
    glTranslatef(30, 0, 0);
    print_gl_string(dpy, tf, 0, 0, "M\nM", True, 20, 100);
    Box two = whiteInk();
    EXPECT_NEAR(two.x0, 50 + M.lbearing, 1);
    EXPECT_NEAR(two.y0, 100 - 2 * lh - M.descent, 1);
}

TEST_F(GLText, FreeingDeletesTheTextures) {
    TextureFont *tf = load_texture_font(dpy, "midFont");
    EXPECT_EQ(tf->ntextures, 4);
    std::vector<GLuint> ids(tf->texids, tf->texids + tf->ntextures);
    for (GLuint id : ids) EXPECT_TRUE(glIsTexture(id));
    free_texture_font(tf);
    for (GLuint id : ids) EXPECT_FALSE(glIsTexture(id));
    free_texture_font(nullptr);
}

}  // namespace
