/* Conversions between HSV triples and 16-bit RGB channels. Plain C.
 * Hue is an integer in degrees; saturation and value are 0 ... 1. */
#ifndef SOMNEL_HSV_H
#define SOMNEL_HSV_H

#ifdef __cplusplus
extern "C" {
#endif

/* Saturation and value are clamped to 0 ... 1; any hue is taken modulo 360
 * (negative hues count backwards from 360). Channels are 0 ... 65535. */
void hsv_to_rgb(int h, double s, double v,
                unsigned short *r, unsigned short *g, unsigned short *b);

/* Hue in 0 ... 359 degrees (0 for greys), saturation and value in 0 ... 1. */
void rgb_to_hsv(unsigned short r, unsigned short g, unsigned short b,
                int *h, double *s, double *v);

#ifdef __cplusplus
}
#endif

#endif
