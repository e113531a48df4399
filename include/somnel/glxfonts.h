/* Strings drawn in OpenGL window coordinates with a texture font, and
 * strings measured in an X font. Plain C. */
#ifndef SOMNEL_GLXFONTS_H
#define SOMNEL_GLXFONTS_H

#include "somnel/texfont.h"

XSHIM_BEGIN_DECLS

/* Draws string with its first line's top at (x, y), origin at the bottom
 * left of a window of width x height pixels. Tabs, newlines and subscripts
 * written "[2]" are honoured; with outline (or a non-zero width) each glyph
 * gets a black outline. With width 0 the caller's projection stays in force.
 * Every GL state it changes is put back, except that the blend source factor
 * is left at GL_SRC_ALPHA and the matrix mode at model-view. */
void print_gl_string(Display *dpy, TextureFont *tf, int width, int height, const char *string,
                     Bool outline, float x, float y);

XSHIM_END_DECLS

#endif
