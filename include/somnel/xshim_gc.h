/* Part of the Xlib subset offered to hacks (see xshim.h): graphics contexts
 * and the drawing primitives. */
#ifndef SOMNEL_XSHIM_GC_H
#define SOMNEL_XSHIM_GC_H

#include "somnel/xshim_types.h"

XSHIM_BEGIN_DECLS

/* Raster operations. Only GXclear, GXand, GXcopy, GXxor, GXor and GXset
 * draw; the others are rejected when the GC is next used. */
enum {
    GXclear = 0x0, GXand = 0x1, GXandReverse = 0x2, GXcopy = 0x3,
    GXandInverted = 0x4, GXnoop = 0x5, GXxor = 0x6, GXor = 0x7,
    GXnor = 0x8, GXequiv = 0x9, GXinvert = 0xa, GXorReverse = 0xb,
    GXcopyInverted = 0xc, GXorInverted = 0xd, GXnand = 0xe, GXset = 0xf
};

enum { LineSolid = 0, LineOnOffDash = 1, LineDoubleDash = 2 };
enum { CapNotLast = 0, CapButt = 1, CapRound = 2, CapProjecting = 3 };
enum { JoinMiter = 0, JoinRound = 1, JoinBevel = 2 };
enum { EvenOddRule = 0, WindingRule = 1 };
enum { Complex = 0, Nonconvex = 1, Convex = 2 };
enum { CoordModeOrigin = 0, CoordModePrevious = 1 };
enum { ClipByChildren = 0, IncludeInferiors = 1 };
enum { ArcChord = 0, ArcPieSlice = 1 };

/* GC value mask bits. */
#define GCFunction (1L << 0)
#define GCPlaneMask (1L << 1)
#define GCForeground (1L << 2)
#define GCBackground (1L << 3)
#define GCLineWidth (1L << 4)
#define GCLineStyle (1L << 5)
#define GCCapStyle (1L << 6)
#define GCJoinStyle (1L << 7)
#define GCFillStyle (1L << 8)
#define GCFillRule (1L << 9)
#define GCTile (1L << 10)
#define GCStipple (1L << 11)
#define GCTileStipXOrigin (1L << 12)
#define GCTileStipYOrigin (1L << 13)
#define GCFont (1L << 14)
#define GCSubwindowMode (1L << 15)
#define GCGraphicsExposures (1L << 16)
#define GCClipXOrigin (1L << 17)
#define GCClipYOrigin (1L << 18)
#define GCClipMask (1L << 19)
#define GCDashOffset (1L << 20)
#define GCDashList (1L << 21)
#define GCArcMode (1L << 22)

/* The GC values a hack sets with XCreateGC and XChangeGC; only the fields
 * named by the value mask are read. */
typedef struct {
    int function;
    unsigned long foreground;
    unsigned long background;
    int line_width;
    int cap_style;
    int join_style;
    int fill_rule;
    Font font;
    int subwindow_mode;
    int clip_x_origin, clip_y_origin;
    Pixmap clip_mask;
    int alpha_allowed_p;
    int antialias_p;
} XGCValues;

typedef struct {
    short x, y;
} XPoint;

typedef struct {
    short x1, y1, x2, y2;
} XSegment;

typedef struct {
    short x, y;
    unsigned short width, height;
} XRectangle;

/* Angles in 1/64 degree, counter-clockwise from three o'clock. */
typedef struct {
    short x, y;
    unsigned short width, height;
    short angle1, angle2;
} XArc;

#define XCreateGC xshim_XCreateGC
GC XCreateGC(Display *display, Drawable d, unsigned long mask, XGCValues *values);
#define XChangeGC xshim_XChangeGC
int XChangeGC(Display *display, GC gc, unsigned long mask, XGCValues *values);
#define XFreeGC xshim_XFreeGC
int XFreeGC(Display *display, GC gc);
#define XSetForeground xshim_XSetForeground
int XSetForeground(Display *display, GC gc, unsigned long pixel);
#define XSetBackground xshim_XSetBackground
int XSetBackground(Display *display, GC gc, unsigned long pixel);
#define XSetFunction xshim_XSetFunction
int XSetFunction(Display *display, GC gc, int function);
#define XSetLineAttributes xshim_XSetLineAttributes
int XSetLineAttributes(Display *display, GC gc, unsigned int line_width, int line_style, int cap_style,
                       int join_style);
#define XSetSubwindowMode xshim_XSetSubwindowMode
int XSetSubwindowMode(Display *display, GC gc, int mode);
#define XSetGraphicsExposures xshim_XSetGraphicsExposures
int XSetGraphicsExposures(Display *display, GC gc, Bool flag);
#define XSetClipOrigin xshim_XSetClipOrigin
int XSetClipOrigin(Display *display, GC gc, int x, int y);
#define XSetClipMask xshim_XSetClipMask
int XSetClipMask(Display *display, GC gc, Pixmap pixmap);
/* Lets the GC's pixels carry an alpha other than 0xFF. */
int xshim_XSetAlphaAllowed(Display *display, GC gc, Bool allowed);
/* Turns antialiasing of the GC's primitives on (the default) or off. */
int xshim_XSetAntiAliasing(Display *display, GC gc, Bool antialias);

#define XDrawPoint xshim_XDrawPoint
int XDrawPoint(Display *display, Drawable d, GC gc, int x, int y);
#define XDrawPoints xshim_XDrawPoints
int XDrawPoints(Display *display, Drawable d, GC gc, XPoint *points, int count, int mode);
#define XDrawLine xshim_XDrawLine
int XDrawLine(Display *display, Drawable d, GC gc, int x1, int y1, int x2, int y2);
#define XDrawLines xshim_XDrawLines
int XDrawLines(Display *display, Drawable d, GC gc, XPoint *points, int count, int mode);
#define XDrawSegments xshim_XDrawSegments
int XDrawSegments(Display *display, Drawable d, GC gc, XSegment *segments, int count);
#define XDrawRectangle xshim_XDrawRectangle
int XDrawRectangle(Display *display, Drawable d, GC gc, int x, int y, unsigned int width,
                   unsigned int height);
#define XFillRectangle xshim_XFillRectangle
int XFillRectangle(Display *display, Drawable d, GC gc, int x, int y, unsigned int width,
                   unsigned int height);
#define XFillRectangles xshim_XFillRectangles
int XFillRectangles(Display *display, Drawable d, GC gc, XRectangle *rectangles, int count);
#define XFillPolygon xshim_XFillPolygon
int XFillPolygon(Display *display, Drawable d, GC gc, XPoint *points, int count, int shape, int mode);
#define XDrawArc xshim_XDrawArc
int XDrawArc(Display *display, Drawable d, GC gc, int x, int y, unsigned int width, unsigned int height,
             int angle1, int angle2);
#define XFillArc xshim_XFillArc
int XFillArc(Display *display, Drawable d, GC gc, int x, int y, unsigned int width, unsigned int height,
             int angle1, int angle2);
#define XDrawArcs xshim_XDrawArcs
int XDrawArcs(Display *display, Drawable d, GC gc, XArc *arcs, int count);
#define XFillArcs xshim_XFillArcs
int XFillArcs(Display *display, Drawable d, GC gc, XArc *arcs, int count);

XSHIM_END_DECLS

#endif
