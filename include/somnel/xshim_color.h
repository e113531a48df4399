/* Part of the Xlib subset offered to hacks (see xshim.h): colours. The
 * visual is a fixed 32-bit TrueColor one, so a colour's pixel is computed
 * from its components; colour maps are accepted and ignored. */
#ifndef SOMNEL_XSHIM_COLOR_H
#define SOMNEL_XSHIM_COLOR_H

#include "somnel/xshim_types.h"

XSHIM_BEGIN_DECLS

typedef struct {
    unsigned long pixel;
    unsigned short red, green, blue;
    char flags; /* DoRed | DoGreen | DoBlue */
    char pad;
} XColor;

enum { DoRed = 1, DoGreen = 2, DoBlue = 4 };

/* "#RRGGBB" or one of eight colour names (any case); 0 when not recognised. */
#define XParseColor xshim_XParseColor
Status XParseColor(Display *display, Colormap colormap, const char *spec, XColor *color);
#define XAllocColor xshim_XAllocColor
Status XAllocColor(Display *display, Colormap colormap, XColor *color);
#define XAllocNamedColor xshim_XAllocNamedColor
Status XAllocNamedColor(Display *display, Colormap colormap, const char *name,
                        XColor *screen_def_return, XColor *exact_def_return);
#define XQueryColor xshim_XQueryColor
int XQueryColor(Display *display, Colormap colormap, XColor *color);
#define XQueryColors xshim_XQueryColors
int XQueryColors(Display *display, Colormap colormap, XColor *colors, int count);
/* There are no writable cells: always fails. */
#define XAllocColorCells xshim_XAllocColorCells
Status XAllocColorCells(Display *display, Colormap colormap, Bool contiguous,
                        unsigned long *plane_masks_return, unsigned int nplanes,
                        unsigned long *pixels_return, unsigned int npixels);
/* Fatal: there are no writable cells to store into. */
#define XStoreColor xshim_XStoreColor
int XStoreColor(Display *display, Colormap colormap, XColor *color);
#define XStoreColors xshim_XStoreColors
int XStoreColors(Display *display, Colormap colormap, XColor *colors, int count);
#define XFreeColors xshim_XFreeColors
int XFreeColors(Display *display, Colormap colormap, unsigned long *pixels, int npixels,
                unsigned long planes);

XSHIM_END_DECLS

#endif
