// Strings in OpenGL window coordinates: tabs, newlines, "[n]" subscripts
// and a black outline, drawn with a texture font; the GL state touched is
// put back afterwards.
#include "somnel/glxfonts.h"

#include <cstring>

#include "support/texfont_private.h"

namespace {

// Enables or disables cap.
void setEnabled(GLenum cap, bool on) {
    if (on)
        glEnable(cap);
    else
        glDisable(cap);
}

// Draws one character with the model-view origin moved to (x, y).
void printCharAt(TextureFont *tf, const char *one, float x, float y) {
    glPushMatrix();
    glTranslatef(x, y, 0);
    print_texture_string(tf, one);
    glPopMatrix();
}

}  // namespace

extern "C" void print_gl_string(Display *, TextureFont *tf, int width, int height, const char *string,
                                Bool outline, float x, float y) {
    int lh = 0;
    const int tab = 7 * texture_string_width(tf, "m", &lh);
    const float sub = float(lh) * 0.3f;

    const bool tex_on = glIsEnabled(GL_TEXTURE_2D);
    const bool gen_s_on = glIsEnabled(GL_TEXTURE_GEN_S);
    const bool gen_t_on = glIsEnabled(GL_TEXTURE_GEN_T);
    const bool lighting_on = glIsEnabled(GL_LIGHTING);
    const bool blend_on = glIsEnabled(GL_BLEND);
    const bool depth_on = glIsEnabled(GL_DEPTH_TEST);
    const bool cull_on = glIsEnabled(GL_CULL_FACE);
    const bool fog_on = glIsEnabled(GL_FOG);
    GLint polygon_mode[2] = {GL_FILL, GL_FILL};
    glGetIntegerv(GL_POLYGON_MODE, polygon_mode);
    GLint blend_dst = GL_ZERO;
    glGetIntegerv(GL_BLEND_DST, &blend_dst);
    GLfloat color[4] = {1, 1, 1, 1};
    glGetFloatv(GL_CURRENT_COLOR, color);

    glEnable(GL_TEXTURE_2D);
    glDisable(GL_TEXTURE_GEN_S);
    glDisable(GL_TEXTURE_GEN_T);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_LIGHTING);
    y -= float(lh);

    if (width != 0) {
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glDisable(GL_FOG);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glLoadIdentity();
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        glOrtho(0, width, 0, height, -1, 1);
    } else {
        glDisable(GL_CULL_FACE);
        glDisable(GL_FOG);
        glMatrixMode(GL_PROJECTION);
        glPushMatrix();
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
    }

    if (string && *string) {
        const bool draw_outline = outline || width != 0;
        const int x0 = int(x);
        int pen = x0;
        bool in_sub = false;
        for (const char *c = string; *c; c++) {
            if (*c == '\t') {
                int d = int(float(pen) - x) + tab;
                if (tab > 0) d = d / tab * tab;
                pen = int(x + float(d));
                continue;
            }
            if (*c == '\n') {
                y -= float(lh);
                pen = x0;
                continue;
            }
            if (*c == '[' && c[1] >= '0' && c[1] <= '9') {
                y -= sub;
                in_sub = true;
                continue;
            }
            if (*c == ']' && in_sub) {
                y += sub;
                in_sub = false;
                continue;
            }
            const char one[2] = {*c, 0};
            glColor3f(0, 0, 0);
            if (draw_outline) {
                static const int offsets[4][2] = {{-1, -1}, {-1, 1}, {1, 1}, {1, -1}};
                for (const auto &o : offsets) printCharAt(tf, one, float(pen + o[0]), y + float(o[1]));
            }
            glColor4fv(color);
            printCharAt(tf, one, float(pen), y);
            pen += texture_string_width(tf, one, nullptr);
        }
    }

    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);

    setEnabled(GL_TEXTURE_2D, tex_on);
    setEnabled(GL_BLEND, blend_on);
    setEnabled(GL_DEPTH_TEST, depth_on);
    if (gen_s_on) glEnable(GL_TEXTURE_GEN_S);
    if (gen_t_on) glEnable(GL_TEXTURE_GEN_T);
    if (lighting_on) glEnable(GL_LIGHTING);
    if (cull_on) glEnable(GL_CULL_FACE);
    if (fog_on) glEnable(GL_FOG);
    // NOTE: the two faces can have different modes; setting both to the
    // front's would lose the back's.
    if (polygon_mode[0] == polygon_mode[1]) {
        glPolygonMode(GL_FRONT_AND_BACK, GLenum(polygon_mode[0]));
    } else {
        glPolygonMode(GL_FRONT, GLenum(polygon_mode[0]));
        glPolygonMode(GL_BACK, GLenum(polygon_mode[1]));
    }
    glBlendFunc(GL_SRC_ALPHA, GLenum(blend_dst));
}
