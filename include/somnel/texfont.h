/* Texture fonts: an X font rendered once into intensity textures, so that
 * OpenGL hacks can draw text as one textured quad per character. Plain C. */
#ifndef SOMNEL_TEXFONT_H
#define SOMNEL_TEXFONT_H

#include <GL/gl.h>

#include "somnel/xshim.h"

XSHIM_BEGIN_DECLS

/* One loaded font. The 16 x 16 grid of characters 0 ... 255 is split into
 * grid_mag x grid_mag textures; texture k holds the characters
 * k * (256 / ntextures) up to the next multiple. */
typedef struct TextureFont {
    Display *display;
    XFontStruct *font;  /* the X font the textures were made from */
    int cell_width;     /* max_bounds.rbearing - min_bounds.lbearing */
    int cell_height;    /* max_bounds.ascent + max_bounds.descent */
    int tex_width, tex_height; /* of each texture, powers of two */
    int grid_mag;       /* 1, 2, 4 or 8 */
    int ntextures;      /* grid_mag squared */
    GLuint texids[64];
} TextureFont;

/* Loads the font named by the string resource res_name ("fpsFont") and
 * builds its textures in the current GL context. Falls back through a chain
 * of default fonts; exits the process when not even "fixed" loads. */
TextureFont *load_texture_font(Display *dpy, const char *res_name);

/* The smallest power of two from 1 to 65536 that is at least n; a larger n
 * is a programming error. */
unsigned int to_pow2(unsigned int n);

/* Width of the widest line of string in font f; *height_ret (when given)
 * receives the number of lines times the line height. */
int string_width(XFontStruct *f, const char *string, int *height_ret);

/* Width in pixels of the widest line of string; *height_ret (when given)
 * receives the number of lines times the line height. */
int texture_string_width(TextureFont *tf, const char *string, int *height_ret);

/* Draws string at the model-view origin, one unit per pixel, with the
 * baseline of its first line at y = 0. Newlines and tabs move the pen. */
void print_texture_string(TextureFont *tf, const char *string);

/* Frees the X font, the textures and the record. */
void free_texture_font(TextureFont *tf);

XSHIM_END_DECLS

#endif
