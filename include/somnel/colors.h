/* Colour maps: ramps, paths and loops through HSV space, and the random,
 * uniform and smooth maps built from them, optionally allocated in a
 * colour map of the display; their rotation and release. Plain C.
 *
 * Common parameters: `ncolorsP` holds the wanted number of colours on entry
 * and the number got on return; `allocate_p` asks for the colours to be
 * allocated (otherwise they are only computed); `writable_p` asks for
 * writable cells (the map makers clear *writable_p when the screen has
 * none); `verbose_p` reports a shortfall of 10 or more colours on standard
 * error. Every computed entry has flags DoRed | DoGreen | DoBlue (7). */
#ifndef SOMNEL_COLORS_H
#define SOMNEL_COLORS_H

#include "somnel/xshim.h"

#ifdef __cplusplus
extern "C" {
#endif

void free_colors(Display *dpy, Colormap cmap, XColor *colors, int ncolors);

/* Allocates up to *ncolorsP writable cells into `pixels`, in smaller
 * requests when a large one fails; *ncolorsP becomes the number got. */
void allocate_writable_colors(Display *dpy, Colormap cmap, unsigned long *pixels, int *ncolorsP);

/* A ramp from the start colour towards (never reaching) the end colour;
 * closed_p makes it run there and back. */
void make_color_ramp(Display *dpy, Colormap cmap,
                     int h1, double s1, double v1,
                     int h2, double s2, double v2,
                     XColor *colors, int *ncolorsP,
                     Bool closed_p, Bool allocate_p, Bool writable_p);

/* A closed path through npoints HSV points (at most 49 are used), each
 * segment getting colours in proportion to its length. */
void make_color_path(Display *dpy, Colormap cmap,
                     int npoints, const int *h, const double *s, const double *v,
                     XColor *colors, int *ncolorsP,
                     Bool allocate_p, Bool writable_p);

/* A closed path through three points. */
void make_color_loop(Display *dpy, Colormap cmap,
                     int h0, double s0, double v0,
                     int h1, double s1, double v1,
                     int h2, double s2, double v2,
                     XColor *colors, int *ncolorsP,
                     Bool allocate_p, Bool writable_p);

/* A path through 2 to 5 random, well-separated HSV points. */
void make_smooth_colormap(Display *dpy, Visual *visual, Colormap cmap,
                          XColor *colors, int *ncolorsP,
                          Bool allocate_p, Bool *writable_p, Bool verbose_p);

/* A ring of evenly spaced hues at one random saturation and value. */
void make_uniform_colormap(Display *dpy, Visual *visual, Colormap cmap,
                           XColor *colors, int *ncolorsP,
                           Bool allocate_p, Bool *writable_p, Bool verbose_p);

/* Independent random colours; bright_p keeps them saturated and light. */
void make_random_colormap(Display *dpy, Visual *visual, Colormap cmap,
                          XColor *colors, int *ncolorsP,
                          Bool bright_p, Bool allocate_p, Bool *writable_p, Bool verbose_p);

/* Shifts the colours `distance` places along the cells (writable cells
 * only: each entry keeps its pixel and takes another entry's colour). */
void rotate_colors(Display *dpy, Colormap cmap, XColor *colors, int ncolors, int distance);

/* Test hook. When set, it is asked before every allocation and store the
 * routines above make: `op` says which, `count` is the number of colours
 * the current attempt wants (for cells, the size of the request) and
 * `index` the entry about to be allocated (for cells, the first slot the
 * request fills; 0 for stores). */
enum colors_test_op { COLORS_OP_ALLOC_COLOR, COLORS_OP_ALLOC_CELLS, COLORS_OP_STORE };
enum colors_test_verdict {
    COLORS_HOOK_PASS = 0,    /* make the real call */
    COLORS_HOOK_FAIL = 1,    /* the allocation fails */
    COLORS_HOOK_SUCCEED = 2  /* it succeeds without the real call (cells get
                                pixels index + 1, index + 2 ...; a store
                                is skipped) */
};
typedef enum colors_test_verdict (*colors_test_hook_fn)(enum colors_test_op op, int count, int index);
extern colors_test_hook_fn colors_test_hook;

#ifdef __cplusplus
}
#endif

#endif
