/* The FPS meter of OpenGL mode-table hacks: the function table's FPS
 * callback, and the GL drawing of the meter's text that the hack calls
 * before it swaps buffers. Plain C. */
#ifndef SOMNEL_FPS_GL_H
#define SOMNEL_FPS_GL_H

#include "somnel/fps.h"
#include "somnel/modehost.h"

XSHIM_BEGIN_DECLS

/* The FPS callback (mi is the hack's ModeRecord): on the first call it
 * hands the meter to the record and builds the meter's texture font in the
 * current GL context; every call counts a frame with the record's polygon
 * count and depth. Its type is the function table's FPS callback's, so a
 * hack's table can hold it as is; the rate is in the meter's last_fps. */
void modehost_gl_compute_fps(Display *dpy, Window window, fps_state *fps, void *mi);

/* Draws the meter's text over the frame in the current GL context; does
 * nothing until the FPS callback has run. */
void modehost_gl_draw_fps(ModeRecord *mi);

XSHIM_END_DECLS

#endif
