/* Part of the Xlib subset offered to hacks (see xshim.h): fonts and text.
 * Fonts are named the X way ("fixed", "9x15", "-*-courier-bold-r-*-*-*-140-*")
 * or as an installed font with a size ("DejaVu Sans 18"); strings are
 * single bytes read as ISO Latin-1, measured for characters 32 to 255. */
#ifndef SOMNEL_XSHIM_FONT_H
#define SOMNEL_XSHIM_FONT_H

#include "somnel/xshim_types.h"

XSHIM_BEGIN_DECLS

/* Metrics of one character, in pixels: bearings from the origin, the
 * advance, and the extent above and below the baseline. */
typedef struct {
    int16_t lbearing;
    int16_t rbearing;
    int16_t width;
    int16_t ascent;
    int16_t descent;
} XCharStruct;

/* A font's X metrics. per_char[c - min_char_or_byte2] describes character
 * c; it has room for max - min + 2 entries (the last one unused). */
typedef struct {
    Font fid;
    uint32_t min_char_or_byte2;
    uint32_t max_char_or_byte2;
    uint32_t default_char;
    XCharStruct min_bounds;
    XCharStruct max_bounds;
    XCharStruct *per_char;
    int32_t ascent;
    int32_t descent;
} XFontStruct;

enum { FontLeftToRight = 0, FontRightToLeft = 1 };

#define XLoadFont xshim_XLoadFont
#define XLoadQueryFont xshim_XLoadQueryFont
#define XQueryFont xshim_XQueryFont
#define XFreeFontInfo xshim_XFreeFontInfo
#define XFreeFont xshim_XFreeFont
#define XUnloadFont xshim_XUnloadFont
#define XSetFont xshim_XSetFont
#define XTextExtents xshim_XTextExtents
#define XTextWidth xshim_XTextWidth
#define XDrawString xshim_XDrawString
#define XDrawImageString xshim_XDrawImageString

/* Loads a font by X name or "<installed font> <size>"; None when a font
 * named with a size is not installed. */
Font XLoadFont(Display *dpy, const char *name);
/* XLoadFont, then XQueryFont; NULL when the font could not be loaded. */
XFontStruct *XLoadQueryFont(Display *dpy, const char *name);
/* A new metrics record (with its own per_char) describing font. */
XFontStruct *XQueryFont(Display *dpy, Font font);
/* Frees count names and count metrics records (either may be NULL). */
int XFreeFontInfo(char **names, XFontStruct *info, int count);
/* Frees a record from XLoadQueryFont and unloads its font. */
int XFreeFont(Display *dpy, XFontStruct *fs);
int XUnloadFont(Display *dpy, Font font);
/* Gives the GC its own copy of font; later changes to font do not reach it. */
int XSetFont(Display *dpy, GC gc, Font font);
/* Measures the first nchars bytes of string. ascent and descent are the
 * font's, overall covers the ink and advance of the string. */
int XTextExtents(XFontStruct *fs, const char *string, int nchars, int *direction_return,
                 int *font_ascent_return, int *font_descent_return, XCharStruct *overall_return);
int XTextWidth(XFontStruct *fs, const char *string, int count);
/* Draws length bytes with the baseline starting at (x, y), in the GC's
 * font and foreground. The image form paints the text's box in the
 * background first. */
int XDrawString(Display *dpy, Drawable d, GC gc, int x, int y, const char *string, int length);
int XDrawImageString(Display *dpy, Drawable d, GC gc, int x, int y, const char *string, int length);

XSHIM_END_DECLS

#endif
