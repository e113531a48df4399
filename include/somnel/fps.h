/* The frames-per-second meter: counts drawn frames and the time the host
 * slept between them, and shows the rate and the processor load in a corner
 * of the window when the "doFPS" resource is true. */
#ifndef SOMNEL_FPS_H
#define SOMNEL_FPS_H

#include <sys/time.h>

#include "somnel/xshim.h"

XSHIM_BEGIN_DECLS

struct TextureFont;

typedef struct fps_state {
    Display *display;
    Window window;
    int x, y;                 /* text origin: margins; y < 0 means "at the top" */
    XFontStruct *font;
    int solid_background;     /* "fpsSolid" */
    char text[1024];
    struct TextureFont *texture_font; /* the GL path's font, made on first use */
    GC text_gc;
    GC background_gc;
    int last_whole_fps;       /* also: frames to let pass before reading the clock */
    double last_fps;
    int frame_count;
    unsigned long slept_usecs;
    struct timeval prev_frame_end;
    struct timeval this_frame_end;
} fps_state;

/* A new meter for the window, or null when "doFPS" is off. */
fps_state *fps_init(Display *dpy, Window window);
/* Adds time the host is about to sleep. */
void fps_slept(fps_state *st, unsigned long usecs);
/* Counts one frame; about once a second recomputes the rate and the text.
 * polys 0 and a negative depth leave those lines out. The clock (the
 * platform's, which tests replace) is read only once per last_whole_fps
 * frames. */
double fps_compute(fps_state *st, unsigned long polys, double depth);
/* Draws the text with Xlib calls (hacks that do not use GL): its last line
 * ends ten pixels above the bottom edge, or with "fpsTop" its first line
 * starts ten pixels below the top edge. */
void fps_draw(fps_state *st);
/* Frees the GCs, the X font and the record. The texture font stays: its
 * textures belong to a GL context that need not be current here. */
void fps_free(fps_state *st);
/* The default FPS callback of the function table. */
void screenhack_do_fps(Display *dpy, Window window, fps_state *st, void *closure);

XSHIM_END_DECLS

#endif
