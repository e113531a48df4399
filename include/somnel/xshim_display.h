/* Part of the Xlib subset offered to hacks (see xshim.h): the display, its
 * one screen and visual, and its one window (the saver view). */
#ifndef SOMNEL_XSHIM_DISPLAY_H
#define SOMNEL_XSHIM_DISPLAY_H

#include "somnel/xshim_types.h"

XSHIM_BEGIN_DECLS

/* The emulation's own, shorter layout of the window attributes. */
typedef struct {
    int x, y;
    int width, height;
    int border_width;
    int depth;
    Visual *visual;
    Colormap colormap;
    Screen *screen;
} XWindowAttributes;

/* Accepted by XLookupString and ignored. */
typedef struct {
    XPointer compose_ptr;
    int chars_matched;
} XComposeStatus;

/* Visual classes; the emulated visual is always TrueColor. */
enum { StaticGray = 0, GrayScale = 1, StaticColor = 2, PseudoColor = 3, TrueColor = 4, DirectColor = 5 };

/* The input-source table of a display (see xshim_timers.h). */
struct xshim_sources;

#define XRootWindow xshim_XRootWindow
Window XRootWindow(Display *display, int screen_number);
#define XDefaultScreenOfDisplay xshim_XDefaultScreenOfDisplay
Screen *XDefaultScreenOfDisplay(Display *display);
#define XDefaultVisualOfScreen xshim_XDefaultVisualOfScreen
Visual *XDefaultVisualOfScreen(Screen *screen);
#define XDisplayOfScreen xshim_XDisplayOfScreen
Display *XDisplayOfScreen(Screen *screen);
#define XDisplayNumberOfScreen xshim_XDisplayNumberOfScreen
int XDisplayNumberOfScreen(Screen *screen);
#define XScreenNumberOfScreen xshim_XScreenNumberOfScreen
int XScreenNumberOfScreen(Screen *screen);
#define XDisplayWidth xshim_XDisplayWidth
int XDisplayWidth(Display *display, int screen_number);
#define XDisplayHeight xshim_XDisplayHeight
int XDisplayHeight(Display *display, int screen_number);

#define XGetWindowAttributes xshim_XGetWindowAttributes
Status XGetWindowAttributes(Display *display, Window window, XWindowAttributes *attributes_return);
#define XGetGeometry xshim_XGetGeometry
Status XGetGeometry(Display *display, Drawable d, Window *root_return, int *x_return, int *y_return,
                    unsigned int *width_return, unsigned int *height_return,
                    unsigned int *border_width_return, unsigned int *depth_return);
#define XTranslateCoordinates xshim_XTranslateCoordinates
Bool XTranslateCoordinates(Display *display, Window src_window, Window dest_window, int src_x,
                           int src_y, int *dest_x_return, int *dest_y_return, Window *child_return);
#define XQueryPointer xshim_XQueryPointer
Bool XQueryPointer(Display *display, Window window, Window *root_return, Window *child_return,
                   int *root_x_return, int *root_y_return, int *win_x_return, int *win_y_return,
                   unsigned int *mask_return);

#define XSetWindowBackground xshim_XSetWindowBackground
int XSetWindowBackground(Display *display, Window window, unsigned long pixel);
#define XClearWindow xshim_XClearWindow
int XClearWindow(Display *display, Window window);
#define XClearArea xshim_XClearArea
int XClearArea(Display *display, Window window, int x, int y, unsigned int width,
               unsigned int height, Bool exposures);

/* Key events carry the key symbol itself in their keycode. */
#define XKeycodeToKeysym xshim_XKeycodeToKeysym
KeySym XKeycodeToKeysym(Display *display, unsigned int keycode, int index);
#define XLookupString xshim_XLookupString
int XLookupString(XKeyEvent *event, char *buffer, int buffer_length, KeySym *keysym_return,
                  XComposeStatus *status);

/* Drawing is immediate: these do nothing. */
#define XFlush xshim_XFlush
int XFlush(Display *display);
#define XSync xshim_XSync
int XSync(Display *display, Bool discard);

/* Visual queries asked by the colour-map code. */
Bool has_writable_cells(Screen *screen, Visual *visual);
int visual_depth(Screen *screen, Visual *visual);
int visual_cells(Screen *screen, Visual *visual);
int visual_class(Screen *screen, Visual *visual);
/* The bits of a pixel value that hold red, green and blue on the visual. */
void visual_rgb_masks(Screen *screen, Visual *visual, unsigned long *red_mask,
                      unsigned long *green_mask, unsigned long *blue_mask);
Bool use_subwindow_mode_p(Screen *screen, Window window);

XSHIM_END_DECLS


#endif
