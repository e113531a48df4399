/* Part of the Xlib subset offered to hacks (see xshim.h): client-side
 * images, pixmaps, and moving pixels between them and drawables. */
#ifndef SOMNEL_XSHIM_IMAGE_H
#define SOMNEL_XSHIM_IMAGE_H

#include "somnel/xshim_types.h"
#include "somnel/xshim_gc.h"

XSHIM_BEGIN_DECLS

enum { XYBitmap = 0, XYPixmap = 1, ZPixmap = 2 };
enum { LSBFirst = 0, MSBFirst = 1 };
#ifndef AllPlanes
#define AllPlanes (~0UL)
#endif

/* A client-side image. Depth 1: rows of bytes_per_line bytes, pixel x in bit
 * (x & 7) of byte x >> 3 counted from the least significant bit. Depth 24
 * or 32: one native-order 32-bit word 0xAARRGGBB per pixel. The image owns
 * its data (XDestroyImage frees it with free()). */
typedef struct xshim_XImage {
    int width, height;
    int xoffset;
    int format;
    char *data;
    int byte_order;
    int bitmap_unit;
    int bitmap_bit_order;
    int bitmap_pad;
    int depth;
    int bytes_per_line;
    int bits_per_pixel;
    unsigned long red_mask, green_mask, blue_mask;
    unsigned long (*get_pixel)(struct xshim_XImage *image, int x, int y);
    int (*put_pixel)(struct xshim_XImage *image, int x, int y, unsigned long pixel);
} XImage;

typedef struct {
    int depth;
    int bits_per_pixel;
    int scanline_pad;
} XPixmapFormatValues;

#define XCreateImage xshim_XCreateImage
XImage *XCreateImage(Display *display, Visual *visual, unsigned int depth, int format, int offset,
                     char *data, unsigned int width, unsigned int height, int bitmap_pad,
                     int bytes_per_line);
#define XInitImage xshim_XInitImage
Status XInitImage(XImage *image);
#define XSubImage xshim_XSubImage
XImage *XSubImage(XImage *image, int x, int y, unsigned int width, unsigned int height);
#define XPutPixel xshim_XPutPixel
int XPutPixel(XImage *image, int x, int y, unsigned long pixel);
#define XGetPixel xshim_XGetPixel
unsigned long XGetPixel(XImage *image, int x, int y);
#define XDestroyImage xshim_XDestroyImage
int XDestroyImage(XImage *image);
/* A malloc'ed array of *count_return entries; release it with free(). */
#define XListPixmapFormats xshim_XListPixmapFormats
XPixmapFormatValues *XListPixmapFormats(Display *display, int *count_return);

#define XCreatePixmap xshim_XCreatePixmap
Pixmap XCreatePixmap(Display *display, Drawable d, unsigned int width, unsigned int height,
                     unsigned int depth);
#define XFreePixmap xshim_XFreePixmap
int XFreePixmap(Display *display, Pixmap pixmap);
#define XCreatePixmapFromBitmapData xshim_XCreatePixmapFromBitmapData
Pixmap XCreatePixmapFromBitmapData(Display *display, Drawable d, char *data, unsigned int width,
                                   unsigned int height, unsigned long foreground,
                                   unsigned long background, unsigned int depth);

#define XPutImage xshim_XPutImage
int XPutImage(Display *display, Drawable d, GC gc, XImage *image, int src_x, int src_y, int dest_x,
              int dest_y, unsigned int width, unsigned int height);
#define XGetImage xshim_XGetImage
XImage *XGetImage(Display *display, Drawable d, int x, int y, unsigned int width, unsigned int height,
                  unsigned long plane_mask, int format);
#define XCopyArea xshim_XCopyArea
int XCopyArea(Display *display, Drawable src, Drawable dst, GC gc, int src_x, int src_y,
              unsigned int width, unsigned int height, int dst_x, int dst_y);
#define XCopyPlane xshim_XCopyPlane
int XCopyPlane(Display *display, Drawable src, Drawable dst, GC gc, int src_x, int src_y,
               unsigned int width, unsigned int height, int dst_x, int dst_y, unsigned long plane);

/* Draws a picture scaled to fit the drawable, centred, after clearing it.
 * `image` is a QImage (passed as an opaque pointer); is_platform_object_image
 * says it may be in any pixel format and is converted first. orientation is
 * the picture's orientation code (1-8). When geometry_return is given it
 * receives the rectangle drawn. */
int xshim_draw_NSImage_or_CGImage(Display *display, Drawable d, Bool is_platform_object_image,
                                  void *image, XRectangle *geometry_return, int orientation);

XSHIM_END_DECLS

#endif
