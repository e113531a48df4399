/* The emulated Xlib calls Isobars makes, wrapped for the frame benchmark:
 * each wrapper times the real call by kind and, while a frame is being
 * recorded, keeps its arguments for the bare replay. Plain C. */
#ifndef SOMNEL_BENCH_ISOBARS_CALLS_H
#define SOMNEL_BENCH_ISOBARS_CALLS_H

#include "somnel/xshim.h"

XSHIM_BEGIN_DECLS

enum bench_call_kind {
    BENCH_RECTANGLES,
    BENCH_POLYGON,
    BENCH_SEGMENTS,
    BENCH_STRING,
    BENCH_ARC,
    BENCH_COPY,
    BENCH_KINDS
};

int bench_XFillRectangle(Display *, Drawable, GC, int, int, unsigned, unsigned);
int bench_XFillRectangles(Display *, Drawable, GC, XRectangle *, int);
int bench_XFillPolygon(Display *, Drawable, GC, XPoint *, int, int, int);
int bench_XDrawSegments(Display *, Drawable, GC, XSegment *, int);
int bench_XDrawString(Display *, Drawable, GC, int, int, const char *, int);
int bench_XFillArc(Display *, Drawable, GC, int, int, unsigned, unsigned, int, int);
int bench_XCopyArea(Display *, Drawable, Drawable, GC, int, int, unsigned, unsigned, int, int);
int bench_XSetForeground(Display *, GC, unsigned long);
int bench_XSetLineAttributes(Display *, GC, unsigned, int, int, int);
int bench_XSetFont(Display *, GC, Font);

XSHIM_END_DECLS

#endif
