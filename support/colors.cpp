// Colour-map makers. Every random choice comes from ya_random, so a seeded
// generator reproduces the same map.
#include "somnel/colors.h"

#include "somnel/hsv.h"
#include "somnel/somnel_function_table.h"  // progname
#include "somnel/yarandom.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

extern "C" {
colors_test_hook_fn colors_test_hook = nullptr;
}

namespace {

const int kMaxPathPoints = 49;
const unsigned char kAllChannels = 7;  // DoRed | DoGreen | DoBlue

enum colors_test_verdict askHook(colors_test_op op, int count, int index) {
    return colors_test_hook ? colors_test_hook(op, count, index) : COLORS_HOOK_PASS;
}

// XAllocColor behind the test hook; `count` and `index` only inform it.
bool allocColor(Display *dpy, Colormap cmap, XColor *c, int count, int index) {
    switch (askHook(COLORS_OP_ALLOC_COLOR, count, index)) {
    case COLORS_HOOK_FAIL: return false;
    case COLORS_HOOK_SUCCEED: return true;
    default: return XAllocColor(dpy, cmap, c) != 0;
    }
}

// One request for n writable cells into pixels (XAllocColorCells behind the
// test hook); `offset` is where pixels lies in the caller's whole array.
bool allocCells(Display *dpy, Colormap cmap, unsigned long *pixels, int n, int offset) {
    switch (askHook(COLORS_OP_ALLOC_CELLS, n, offset)) {
    case COLORS_HOOK_FAIL: return false;
    case COLORS_HOOK_SUCCEED:
        for (int i = 0; i < n; i++) pixels[i] = static_cast<unsigned long>(offset + i + 1);
        return true;
    default: return XAllocColorCells(dpy, cmap, False, nullptr, 0, pixels, n) != 0;
    }
}

void storeColors(Display *dpy, Colormap cmap, XColor *colors, int n) {
    if (askHook(COLORS_OP_STORE, n, 0) == COLORS_HOOK_PASS) XStoreColors(dpy, cmap, colors, n);
}

// The next, smaller number of colours to try after an allocation failed:
// big steps while many are wanted, single steps near the bottom.
int reduceCount(int n) {
    if (n >= 171) return n - 20;
    if (n >= 101) return n - 10;
    if (n >= 76) return n - 5;
    if (n >= 26) return n - 3;
    if (n >= 11) return n - 2;
    if (n >= 3) return n - 1;
    return 0;
}

// Allocates the first n entries: all as writable cells in one request, or
// read-only one by one; a partial read-only allocation is given back.
bool allocateEntries(Display *dpy, Colormap cmap, XColor *colors, int n, bool writable) {
    if (writable) {
        std::vector<unsigned long> pixels(n);
        if (!allocCells(dpy, cmap, pixels.data(), n, 0)) return false;
        for (int i = 0; i < n; i++) colors[i].pixel = pixels[i];
        storeColors(dpy, cmap, colors, n);
        return true;
    }
    for (int i = 0; i < n; i++) {
        XColor c = colors[i];
        if (!allocColor(dpy, cmap, &c, n, i)) {
            free_colors(dpy, cmap, colors, i);
            return false;
        }
        colors[i].pixel = c.pixel;
    }
    return true;
}

// The shortfall line, when 10 or more of the wanted colours are missing.
void complain(int wanted, int got, bool wanted_writable, bool got_writable) {
    if (got > wanted - 10) return;
    if (wanted_writable && !got_writable)
        fprintf(stderr, "%s: wanted %d writable colors; got %d read-only colors.\n", progname, wanted,
                got);
    else
        fprintf(stderr, "%s: wanted %d%s colors; got %d.\n", progname, wanted,
                wanted_writable ? " writable" : "", got);
}

bool screenHasWritableCells(Display *dpy, Visual *visual) {
    return has_writable_cells(XDefaultScreenOfDisplay(dpy), visual);
}

void setHsv(XColor *c, int h, double s, double v) {
    hsv_to_rgb(h, s, v, &c->red, &c->green, &c->blue);
    c->flags = kAllChannels;
}

}  // namespace

extern "C" void free_colors(Display *dpy, Colormap cmap, XColor *colors, int ncolors) {
    if (ncolors <= 0) return;
    std::vector<unsigned long> pixels(ncolors);
    for (int i = 0; i < ncolors; i++) pixels[i] = colors[i].pixel;
    XFreeColors(dpy, cmap, pixels.data(), ncolors, 0);
}

extern "C" void allocate_writable_colors(Display *dpy, Colormap cmap, unsigned long *pixels,
                                         int *ncolorsP) {
    int desired = *ncolorsP;
    int got = 0;
    int requested = desired;
    while (got < desired && requested > 0) {
        if (requested > desired - got) requested = desired - got;
        if (allocCells(dpy, cmap, pixels + got, requested, got))
            got += requested;
        else
            requested /= 2;
    }
    *ncolorsP = got;
}

extern "C" void make_color_ramp(Display *dpy, Colormap cmap, int h1, double s1, double v1, int h2,
                                double s2, double v2, XColor *colors, int *ncolorsP, Bool closed_p,
                                Bool allocate_p, Bool writable_p) {
    const int wanted = *ncolorsP;
    // NOTE: with no colours wanted a closed ramp would still compute one
    // entry, past the end of an empty array; there is nothing to do.
    if (wanted <= 0) return;

    int ncolors = wanted;
    while (ncolors > 0) {
        const int total = closed_p ? ncolors / 2 + 1 : ncolors;
        memset(colors, 0, sizeof(XColor) * ncolors);
        const double dh = static_cast<double>(h2 - h1) / total;
        const double ds = (s2 - s1) / total;
        const double dv = (v2 - v1) / total;
        for (int i = 0; i < total; i++)
            setHsv(&colors[i], static_cast<int>(dh * i + h1), ds * i + s1, dv * i + v1);
        if (closed_p)
            for (int i = total; i < ncolors; i++) colors[i] = colors[ncolors - i];

        if (!allocate_p) return;
        if (allocateEntries(dpy, cmap, colors, ncolors, writable_p)) break;
        ncolors = reduceCount(ncolors);
        *ncolorsP = ncolors;
    }

    if (ncolors == 0 && writable_p) return;
    complain(wanted, ncolors, writable_p && allocate_p, writable_p);
}

extern "C" void make_color_path(Display *dpy, Colormap cmap, int npoints, const int *h,
                                const double *s, const double *v, XColor *colors, int *ncolorsP,
                                Bool allocate_p, Bool writable_p) {
    if (npoints <= 0) {
        *ncolorsP = 0;
        return;
    }
    if (npoints == 2) {
        make_color_ramp(dpy, cmap, h[0], s[0], v[0], h[1], s[1], v[1], colors, ncolorsP, True,
                        allocate_p, writable_p);
        return;
    }
    if (npoints > kMaxPathPoints) npoints = kMaxPathPoints;
    if (*ncolorsP <= 0) return;

    int ncolors = *ncolorsP;
    while (ncolors > 0) {
        double dh[kMaxPathPoints], length[kMaxPathPoints], ratio[kMaxPathPoints];
        int n[kMaxPathPoints];

        double total = 0;
        for (int i = 0; i < npoints; i++) {
            const int j = (i + 1 == npoints) ? 0 : i + 1;
            double d = std::fabs(static_cast<double>(h[i]) - h[j]) / 360;
            if (d > 0.5) d = 1 - d;  // the shorter way round
            dh[i] = d;
            const double ds = s[j] - s[i], dv = v[j] - v[i];
            length[i] = std::sqrt(ds * ds + d * d + dv * dv);
            total += length[i];
        }

        // NOTE: written so that a NaN total goes on to the fatal sum check.
        if (!(total < 0.0001)) {
            double sum = 0;
            for (int i = 0; i < npoints; i++) {
                ratio[i] = length[i] / total;
                sum += ratio[i];
            }
            // Only a NaN among the points can get here.
            if (!(sum >= 0.99999 && sum <= 1.00001))
                xshim_abort("abort in %s:%d", "make_color_path", 304);
            for (int i = 0; i < npoints; i++) n[i] = static_cast<int>(ratio[i] * ncolors);

            memset(colors, 0, sizeof(XColor) * ncolors);
            int filled = 0;
            for (int i = 0; i < npoints; i++) {
                if (n[i] <= 0) continue;
                const int j = (i + 1 == npoints) ? 0 : i + 1;
                const double hstep = dh[i] / n[i] * 360;
                const double sstep = (s[j] - s[i]) / n[i];
                const double vstep = (v[j] - v[i]) / n[i];
                const int diff = h[j] - h[i];
                int direction;
                if (diff >= -180 && diff <= 180)
                    direction = diff < 0 ? -1 : 1;
                else
                    direction = diff > 0 ? -1 : 1;
                for (int k = 0; k < n[i] && filled < ncolors; k++) {
                    double hue = h[i] + k * hstep * direction;
                    if (hue < 0) hue += 360;
                    setHsv(&colors[filled++], static_cast<int>(hue), s[i] + k * sstep,
                            v[i] + k * vstep);
                }
            }

            if (filled < ncolors) {
                ncolors = filled;
                *ncolorsP = ncolors;
            }
            if (ncolors == 0 || !allocate_p) return;
            if (allocateEntries(dpy, cmap, colors, ncolors, writable_p)) return;
        }
        // A path of no length, or one that could not be allocated: fewer.
        ncolors = reduceCount(ncolors);
        *ncolorsP = ncolors;
    }
}

extern "C" void make_color_loop(Display *dpy, Colormap cmap, int h0, double s0, double v0, int h1,
                                double s1, double v1, int h2, double s2, double v2, XColor *colors,
                                int *ncolorsP, Bool allocate_p, Bool writable_p) {
    const int h[3] = {h0, h1, h2};
    const double s[3] = {s0, s1, s2};
    const double v[3] = {v0, v1, v2};
    make_color_path(dpy, cmap, 3, h, s, v, colors, ncolorsP, allocate_p, writable_p);
}

extern "C" void make_smooth_colormap(Display *dpy, Visual *visual, Colormap cmap, XColor *colors,
                                     int *ncolorsP, Bool allocate_p, Bool *writable_p,
                                     Bool verbose_p) {
    const int wanted = *ncolorsP;
    const bool wanted_writable = allocate_p && *writable_p;
    if (wanted <= 0) return;

    int npoints;
    const unsigned r = ya_random() % 20;
    if (r < 6)
        npoints = 2;
    else if (r < 16)
        npoints = 3;
    else if (r < 19)
        npoints = 4;
    else
        npoints = 5;

    int h[5];
    double s[5], v[5];
    int draws = 0;
    for (;;) {
        double total_s = 0, total_v = 0;
        for (int i = 0; i < npoints; i++) {
            for (;;) {
                if (++draws > 10000) xshim_abort("abort in %s:%d", "make_smooth_colormap", 494);
                h[i] = static_cast<int>(ya_random() % 360);
                s[i] = ya_random() / 4294967295.0;
                v[i] = ya_random() * 0.8 / 4294967295.0 + 0.2;
                if (i == 0) break;
                // Neighbouring points must not be too alike.
                const int j = (i + 1 == npoints) ? 0 : i - 1;
                double dh = std::fabs(static_cast<double>(h[j]) - h[i]) / 360;
                if (dh > 0.5) dh = 1 - dh;
                const double ds = s[j] - s[i], dv = v[j] - v[i];
                if (std::sqrt(ds * ds + dh * dh + dv * dv) >= 0.2) break;
            }
            total_s += s[i];
            total_v += v[i];
        }
        if (total_s / npoints >= 0.2 && total_v / npoints >= 0.3) break;
    }

    if (wanted_writable && !screenHasWritableCells(dpy, visual)) *writable_p = False;
    int ncolors = wanted;
    make_color_path(dpy, cmap, npoints, h, s, v, colors, &ncolors, allocate_p, *writable_p);
    if (ncolors == 0 && allocate_p && *writable_p) {
        // No writable cells to be had: settle for read-only colours.
        *writable_p = False;
        ncolors = wanted;
        make_color_path(dpy, cmap, npoints, h, s, v, colors, &ncolors, allocate_p, False);
    }
    if (verbose_p) complain(wanted, ncolors, wanted_writable, wanted_writable && *writable_p);
    *ncolorsP = ncolors;
}

extern "C" void make_uniform_colormap(Display *dpy, Visual *visual, Colormap cmap, XColor *colors,
                                      int *ncolorsP, Bool allocate_p, Bool *writable_p,
                                      Bool verbose_p) {
    const int wanted = *ncolorsP;
    const bool wanted_writable = allocate_p && *writable_p;
    const unsigned S = ya_random();
    const unsigned V = ya_random();
    if (wanted <= 0) return;
    const double s = (S % 34 + 66) / 100.0;
    const double v = (V % 34 + 66) / 100.0;

    if (wanted_writable && !screenHasWritableCells(dpy, visual)) *writable_p = False;
    int ncolors = wanted;
    make_color_ramp(dpy, cmap, 0, s, v, 359, s, v, colors, &ncolors, False, allocate_p, *writable_p);
    if (ncolors == 0 && allocate_p && *writable_p) {
        // No writable cells to be had: settle for read-only colours.
        *writable_p = False;
        ncolors = wanted;
        make_color_ramp(dpy, cmap, 0, s, v, 359, s, v, colors, &ncolors, False, allocate_p, False);
    }
    if (verbose_p) complain(wanted, ncolors, wanted_writable, wanted_writable && *writable_p);
    *ncolorsP = ncolors;
}

extern "C" void make_random_colormap(Display *dpy, Visual *visual, Colormap cmap, XColor *colors,
                                     int *ncolorsP, Bool bright_p, Bool allocate_p,
                                     Bool *writable_p, Bool verbose_p) {
    const int wanted = *ncolorsP;
    const bool wanted_writable = allocate_p && *writable_p;
    if (wanted <= 0) return;
    if (wanted_writable && !screenHasWritableCells(dpy, visual)) *writable_p = False;

    for (int i = 0; i < wanted; i++) {
        XColor *c = &colors[i];
        if (bright_p) {
            const int h = static_cast<int>(ya_random() % 360);
            const double s = (ya_random() % 70 + 30) / 100.0;
            const double v = (ya_random() % 34 + 66) / 100.0;
            setHsv(c, h, s, v);
        } else {
            c->red = static_cast<unsigned short>(ya_random() % 65535);
            c->green = static_cast<unsigned short>(ya_random() % 65535);
            c->blue = static_cast<unsigned short>(ya_random() % 65535);
            c->flags = kAllChannels;
        }
    }
    if (!allocate_p) return;

    int got;
    for (;;) {
        if (*writable_p) {
            std::vector<unsigned long> pixels(wanted);
            got = wanted;
            allocate_writable_colors(dpy, cmap, pixels.data(), &got);
            for (int i = 0; i < got; i++) colors[i].pixel = pixels[i];
            if (got > 0) storeColors(dpy, cmap, colors, got);
        } else {
            for (got = 0; got < wanted; got++) {
                XColor c = colors[got];
                if (!allocColor(dpy, cmap, &c, wanted, got)) break;
                colors[got].pixel = c.pixel;
            }
        }
        if (got == 0 && *writable_p) {
            *writable_p = False;  // try again, read-only
            continue;
        }
        break;
    }
    if (verbose_p) complain(wanted, got, wanted_writable, wanted_writable && *writable_p);
    *ncolorsP = got;
}

extern "C" void rotate_colors(Display *dpy, Colormap cmap, XColor *colors, int ncolors,
                              int distance) {
    if (ncolors < 2) return;
    std::vector<XColor> rotated(colors, colors + ncolors);
    for (int i = 0; i < ncolors; i++) {
        long long from = (static_cast<long long>(i) - distance) % ncolors;
        if (from < 0) from += ncolors;
        rotated[i].red = colors[from].red;
        rotated[i].green = colors[from].green;
        rotated[i].blue = colors[from].blue;
    }
    storeColors(dpy, cmap, rotated.data(), ncolors);
    XFlush(dpy);
    memcpy(colors, rotated.data(), sizeof(XColor) * ncolors);
}
