// HSV <-> RGB on the hexagonal colour model, in the integer-hue, 16-bit
// channel forms the colour-map makers use.
#include "somnel/hsv.h"

extern "C" void hsv_to_rgb(int h, double s, double v, unsigned short *r, unsigned short *g,
                           unsigned short *b) {
    if (s < 0) s = 0;
    if (v < 0) v = 0;
    if (s > 1) s = 1;
    if (v > 1) v = 1;

    // A negative remainder would select no sector and leave the channels
    // unset; fold it into 0 ... 359 instead.
    int deg = h % 360;
    if (deg < 0) deg += 360;
    double hh = deg / 60.0;
    int i = static_cast<int>(hh);
    double f = hh - i;
    double p = v * (1 - s);
    double q = v * (1 - s * f);
    double t = v * (1 - s * (1 - f));

    double rr = 0, gg = 0, bb = 0;
    switch (i) {
    case 0: rr = v; gg = t; bb = p; break;
    case 1: rr = q; gg = v; bb = p; break;
    case 2: rr = p; gg = v; bb = t; break;
    case 3: rr = p; gg = q; bb = v; break;
    case 4: rr = t; gg = p; bb = v; break;
    default: rr = v; gg = p; bb = q; break;  // sector 5
    }
    *r = static_cast<unsigned short>(rr * 65535);
    *g = static_cast<unsigned short>(gg * 65535);
    *b = static_cast<unsigned short>(bb * 65535);
}

extern "C" void rgb_to_hsv(unsigned short r, unsigned short g, unsigned short b, int *h,
                           double *s, double *v) {
    double R = r / 65535.0, G = g / 65535.0, B = b / 65535.0;
    double cmax = R, cmin = R;
    if (G > cmax) cmax = G;
    if (B > cmax) cmax = B;
    if (G < cmin) cmin = G;
    if (B < cmin) cmin = B;
    double delta = cmax - cmin;

    *v = cmax;
    if (delta == 0) {
        *h = 0;
        *s = 0;
        return;
    }
    *s = delta / cmax;

    // Red wins ties with green; both win ties with blue.
    double H;
    if (R == cmax)
        H = (G - B) / delta;
    else if (G == cmax)
        H = (B - R) / delta + 2;
    else
        H = (R - G) / delta + 4;
    if (H < 0) H += 6;
    *h = static_cast<int>(H * 60);
}
