// Texture fonts: glyphs of an X font rasterised once into a grid, read back
// and uploaded as mipmapped intensity textures; strings drawn as one quad
// per character.
#include "somnel/texfont.h"

#include <GL/glu.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "somnel/resources.h"
#include "somnel/somnel_function_table.h"
#include "support/texfont_private.h"
#include "somnel/xshim_glx.h"

namespace {

const char *const kFpsFontDefault = "-*-courier-bold-r-normal-*-180-*";
const char *const kFontDefault = "-*-helvetica-medium-r-normal-*-240-*";
const char *const kFontSecondFallback = "-*-helvetica-medium-r-normal-*-180-*";
const char *const kFontLastFallback = "fixed";

const XCharStruct kNoMetrics = {0, 0, 0, 0, 0};

}  // namespace

// Characters outside the font's table (the control characters below 32)
// have no glyph: zero metrics, so they neither draw nor advance.
const XCharStruct *somnel::support::texfontCharMetrics(const XFontStruct *f, unsigned char c) {
    if (!f || !f->per_char || c < f->min_char_or_byte2 || c > f->max_char_or_byte2) return &kNoMetrics;
    return &f->per_char[c - f->min_char_or_byte2];
}

extern "C" unsigned int to_pow2(unsigned int n) {
    for (unsigned int p = 1; p <= 65536; p <<= 1)
        if (p >= n) return p;
    // A texture this large is a size computed from a broken font.
    xshim_abort("abort in %s:%d", "to_pow2", __LINE__);
}

namespace {

// Loads the font the resource names, falling back to the defaults and then
// "fixed" with a message before each try; exits when nothing loads.
XFontStruct *loadFontWithFallbacks(Display *dpy, const char *res_name) {
    const char *def = strcmp(res_name, "fpsFont") == 0 ? kFpsFontDefault : kFontDefault;
    char *resource = get_string_resource(dpy, res_name, "Font");
    const char *name = resource && *resource ? resource : def;

    XFontStruct *f = XLoadQueryFont(dpy, name);
    const char *tried = name;
    const char *const chain[] = {def, kFontSecondFallback, kFontLastFallback};
    for (const char *next : chain) {
        if (f) break;
        if (strcmp(next, tried) == 0) continue;
        fprintf(stderr, "%s: unable to load font \"%s\", using \"%s\"\n", progname, tried, next);
        f = XLoadQueryFont(dpy, next);
        tried = next;
    }
    if (!f) {
        fprintf(stderr, "%s: unable to load fallback font \"%s\" either!\n", progname, kFontLastFallback);
        exit(1);
    }
    free(resource);
    return f;
}

// Rasterises the glyphs of texture k into a pixmap of the root's depth and
// uploads them as a mipmapped intensity texture bound to tf->texids[k].
void buildTexture(TextureFont *tf, int k, const XWindowAttributes &root_attrs) {
    Display *dpy = tf->display;
    XFontStruct *f = tf->font;
    const int per_row = 16 / tf->grid_mag;
    const int per_tex = 256 / tf->ntextures;
    const int w = per_row * tf->cell_width;
    const int h = per_row * tf->cell_height;

    Pixmap p = XCreatePixmap(dpy, XRootWindow(dpy, 0), unsigned(w), unsigned(h), unsigned(root_attrs.depth));
    XGCValues gcv;
    memset(&gcv, 0, sizeof gcv);
    gcv.font = f->fid;
    gcv.foreground = 0xFF000000UL;
    gcv.background = 0xFF000000UL;
    GC gc = XCreateGC(dpy, p, GCFont | GCForeground | GCBackground, &gcv);
    XFillRectangle(dpy, p, gc, 0, 0, unsigned(w), unsigned(h));
    XSetForeground(dpy, gc, 0xFFFFFFFFUL);
    for (int i = 0; i < per_tex; i++) {
        int c = k * per_tex + i;
        const XCharStruct *m = somnel::support::texfontCharMetrics(f, (unsigned char)c);
        if (m->width == 0) continue;
        int col = i % per_row, row = i / per_row;
        char s = char(c);
        // The ink box starts at the cell's top-left corner.
        XDrawString(dpy, p, gc, col * tf->cell_width - m->lbearing, row * tf->cell_height + m->ascent, &s, 1);
    }
    XFreeGC(dpy, gc);

    glGenTextures(1, &tf->texids[k]);
    glBindTexture(GL_TEXTURE_2D, tf->texids[k]);
    check_gl_error("texture font load");

    const int w2 = int(to_pow2(unsigned(w)));
    const int h2 = int(to_pow2(unsigned(h)));
    XImage *image = XGetImage(dpy, p, 0, 0, unsigned(w), unsigned(h), ~0UL, ZPixmap);
    unsigned char *texels = static_cast<unsigned char *>(calloc(size_t(w2) * size_t(h2), 1));
    unsigned long red_mask = 0, green_mask = 0, blue_mask = 0;
    visual_rgb_masks(root_attrs.screen, root_attrs.visual, &red_mask, &green_mask, &blue_mask);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            unsigned long v = XGetPixel(image, x, y) & red_mask;
            texels[size_t(y) * size_t(w2) + size_t(x)] = (unsigned char)(v | v >> 8 | v >> 16 | v >> 24);
        }
    }
    XDestroyImage(image);

    // NOTE: rows of one byte per texel are not 4-byte aligned for narrow
    // textures; unpack them tightly and put the caller's alignment back.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gluBuild2DMipmaps(GL_TEXTURE_2D, GL_INTENSITY, w2, h2, GL_LUMINANCE, GL_UNSIGNED_BYTE, texels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    char context[100];
    snprintf(context, sizeof context, "texture font %s (%d x %d)", "gluBuild2DMipmaps", w2, h2);
    check_gl_error(context);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    free(texels);
    tf->tex_width = w2;
    tf->tex_height = h2;
    XFreePixmap(dpy, p);
}

}  // namespace

extern "C" TextureFont *load_texture_font(Display *dpy, const char *res_name) {
    GLint old_texture = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &old_texture);
    XWindowAttributes xgwa;
    XGetWindowAttributes(dpy, XRootWindow(dpy, 0), &xgwa);
    // The caller names a font resource such as "fpsFont"; none is a mistake.
    if (!res_name || !*res_name) xshim_abort("abort in %s:%d", "load_texture_font", __LINE__);

    XFontStruct *f = loadFontWithFallbacks(dpy, res_name);

    TextureFont *tf = static_cast<TextureFont *>(calloc(1, sizeof(TextureFont)));
    tf->display = dpy;
    tf->font = f;
    tf->cell_width = f->max_bounds.rbearing - f->min_bounds.lbearing;
    tf->cell_height = f->max_bounds.ascent + f->max_bounds.descent;
    unsigned int sw = to_pow2(unsigned(16 * tf->cell_width));
    unsigned int sh = to_pow2(unsigned(16 * tf->cell_height));
    unsigned int s = sw > sh ? sw : sh;
    tf->grid_mag = s <= 512 ? 1 : s <= 1024 ? 2 : s <= 2048 ? 4 : 8;
    tf->ntextures = tf->grid_mag * tf->grid_mag;

    for (int k = 0; k < tf->ntextures; k++) buildTexture(tf, k, xgwa);

    glBindTexture(GL_TEXTURE_2D, GLuint(old_texture));
    return tf;
}

extern "C" int string_width(XFontStruct *f, const char *string, int *height_ret) {
    const int lh = f->ascent + f->descent;
    int widest = 0, line = 0, height = lh;
    for (const unsigned char *s = reinterpret_cast<const unsigned char *>(string); *s; s++) {
        if (*s == '\n') {
            if (line > widest) widest = line;
            line = 0;
            height += lh;
        } else {
            line += somnel::support::texfontCharMetrics(f, *s)->width;
        }
    }
    if (line > widest) widest = line;
    if (height_ret) *height_ret = height;
    return widest;
}

extern "C" int texture_string_width(TextureFont *tf, const char *string, int *height_ret) {
    return string_width(tf->font, string, height_ret);
}

extern "C" void print_texture_string(TextureFont *tf, const char *string) {
    GLint old_texture = 0, old_front_face = GL_CCW;
    GLfloat old_texture_matrix[16];
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &old_texture);
    glGetIntegerv(GL_FRONT_FACE, &old_front_face);
    glGetFloatv(GL_TEXTURE_MATRIX, old_texture_matrix);
    clear_gl_error();

    glPushMatrix();
    glNormal3f(0, 0, 1);
    glFrontFace(GL_CW);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);

    XFontStruct *f = tf->font;
    const int lh = f->ascent + f->descent;
    const int tab = 7 * texture_string_width(tf, "m", nullptr);
    const int per_tex = 256 / tf->ntextures;
    const int per_row = 16 / tf->grid_mag;
    int x = 0, y = 0;
    for (const unsigned char *s = reinterpret_cast<const unsigned char *>(string); *s; s++) {
        unsigned char c = *s;
        if (c == '\t') {
            if (tab > 0) x = (x + tab) / tab * tab;
            continue;
        }
        if (c == '\n') {
            y -= lh;
            x = 0;
            continue;
        }
        const XCharStruct *m = somnel::support::texfontCharMetrics(f, c);
        if (m->width > 0 && c != ' ') {
            int t = c / per_tex;
            // Only a record whose texture count was changed after loading
            // can send a character past the last texture.
            if (t >= tf->ntextures) xshim_abort("abort in %s:%d", "print_texture_string", __LINE__);
            int i = c % per_tex;
            int col = i % per_row, row = i / per_row;
            float s0 = float(col * tf->cell_width) / float(tf->tex_width);
            float s1 = float(col * tf->cell_width + m->rbearing - m->lbearing) / float(tf->tex_width);
            float t0 = float(row * tf->cell_height) / float(tf->tex_height);
            float t1 = float(row * tf->cell_height + m->ascent + m->descent) / float(tf->tex_height);
            glBindTexture(GL_TEXTURE_2D, tf->texids[t]);
            glBegin(GL_QUADS);
            glTexCoord2f(s0, t0);
            glVertex3f(float(x + m->lbearing), float(y + m->ascent), 0);
            glTexCoord2f(s1, t0);
            glVertex3f(float(x + m->rbearing), float(y + m->ascent), 0);
            glTexCoord2f(s1, t1);
            glVertex3f(float(x + m->rbearing), float(y - m->descent), 0);
            glTexCoord2f(s0, t1);
            glVertex3f(float(x + m->lbearing), float(y - m->descent), 0);
            glEnd();
        }
        x += m->width;
    }

    glPopMatrix();
    glBindTexture(GL_TEXTURE_2D, GLuint(old_texture));
    glFrontFace(GLenum(old_front_face));
    glMatrixMode(GL_TEXTURE);
    glMultMatrixf(old_texture_matrix);
    glMatrixMode(GL_MODELVIEW);
    check_gl_error("texture font print");
}

extern "C" void free_texture_font(TextureFont *tf) {
    if (!tf) return;
    if (tf->font) XFreeFont(tf->display, tf->font);
    for (int k = 0; k < tf->ntextures && k < 64; k++)
        if (tf->texids[k]) glDeleteTextures(1, &tf->texids[k]);
    free(tf);
}
