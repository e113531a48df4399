/* Isobars compiled into the frame benchmark with its drawing calls
 * wrapped (calls.h) and its function table under the benchmark's own
 * bundle name, so that the benchmark's view finds it in the program. */
#include "bench/isobars_frame/calls.h"

#include "somnel/colors.h"
#include "somnel/modehost.h"
#include "somnel/principal.h"
#include "somnel/yarandom.h"

#undef XFillRectangle
#undef XFillRectangles
#undef XFillPolygon
#undef XDrawSegments
#undef XDrawString
#undef XFillArc
#undef XCopyArea
#undef XSetForeground
#undef XSetLineAttributes
#undef XSetFont
#define XFillRectangle bench_XFillRectangle
#define XFillRectangles bench_XFillRectangles
#define XFillPolygon bench_XFillPolygon
#define XDrawSegments bench_XDrawSegments
#define XDrawString bench_XDrawString
#define XFillArc bench_XFillArc
#define XCopyArea bench_XCopyArea
#define XSetForeground bench_XSetForeground
#define XSetLineAttributes bench_XSetLineAttributes
#define XSetFont bench_XSetFont
#define isobars_somnel_function_table isobarsbench_somnel_function_table

#include "savers/isobars/isobars.c"
