/* The real X server's side of the differential drawing test: a pixmap on
 * the server and a GC, driven through a tiny plain-C interface so that the
 * real Xlib header never meets the emulation's. Pixels are 0xRRGGBB. */
#ifndef SOMNEL_TEST_REAL_X_H
#define SOMNEL_TEST_REAL_X_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct realx realx;

/* A width x height pixmap of the default depth, cleared to black, with a GC
 * (GXcopy, foreground white, background black, line width 0). Null when no
 * server is reachable or its default depth is not 24. */
realx *realx_open(int width, int height);
void realx_close(realx *r);

void realx_set_colors(realx *r, uint32_t fg, uint32_t bg);
void realx_set_function(realx *r, int function);
void realx_fill_rect(realx *r, int x, int y, unsigned w, unsigned h);
void realx_draw_rect(realx *r, int x, int y, unsigned w, unsigned h);
/* xy holds n (x, y) pairs, absolute coordinates. */
void realx_draw_points(realx *r, const short *xy, int n);
void realx_fill_polygon(realx *r, const short *xy, int n, int winding);
/* The pixmap onto itself. */
void realx_copy_area(realx *r, int sx, int sy, unsigned w, unsigned h, int dx, int dy);
/* A depth-24 image of iw x ih words (0xRRGGBB), placed like XPutImage. */
void realx_put_image(realx *r, const uint32_t *words, int iw, int ih, int sx, int sy, int dx, int dy,
                     unsigned w, unsigned h);
/* A depth-1 image, rows of (iw + 7) / 8 bytes, leftmost pixel in bit 0. */
void realx_put_bitmap(realx *r, const unsigned char *bits, int iw, int ih, int dx, int dy);
/* The whole pixmap into out (width * height words, 0xRRGGBB). */
void realx_read(realx *r, uint32_t *out);

#ifdef __cplusplus
}
#endif

#endif
