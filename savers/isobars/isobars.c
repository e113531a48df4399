/* Isobars: a surface-pressure chart whose weather never stops. Highs and
 * lows drift across the window on a slow westerly, grow, merge and fade;
 * the pressure between them is shaded in bands from a smooth colour map,
 * the isobars are drawn between the bands, and the centres are marked H
 * and L with their pressure. Written to the mode layer, in plain C, and
 * drawn through the emulated Xlib calls into a pixmap that is copied to
 * the window once a frame. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "somnel/colors.h"
#include "somnel/modehost.h"
#include "somnel/principal.h"
#include "somnel/yarandom.h"

SOMNEL_PRINCIPAL_CLASS(SomnelIsobarsView, SOMNEL_2D_VIEW);

/* ---- options -------------------------------------------------------- */

static const char isobars_defaults[] =
    "*delay:   33333\n"
    "*count:   10\n"
    "*ncolors: 64\n";

static int opt_spacing; /* hPa between isobars */
static float opt_speed; /* how fast the weather goes: 1 is the natural pace */
static char *opt_chart; /* "shaded", "lines" or "bands" */
static int opt_labels;  /* mark the highs and lows */

static XrmOptionDescRec isobars_opts[] = {
    {"-spacing", ".isobars.spacing", XrmoptionSepArg, 0},
    {"-speed", ".isobars.speed", XrmoptionSepArg, 0},
    {"-chart", ".isobars.chart", XrmoptionSepArg, 0},
    {"-labels", ".isobars.labels", XrmoptionNoArg, "True"},
    {"+labels", ".isobars.labels", XrmoptionNoArg, "False"},
};

static ModeVar isobars_vars[] = {
    {&opt_spacing, "spacing", "Spacing", "4", ModeVarInt},
    {&opt_speed, "speed", "Speed", "1.0", ModeVarFloat},
    {&opt_chart, "chart", "Chart", "shaded", ModeVarText},
    {&opt_labels, "labels", "Labels", "True", ModeVarBool},
};

static ModeOptionDesc isobars_desc[] = {
    {"-spacing hPa", "pressure between two isobars"},
    {"-speed num", "pace of the weather, 1 natural"},
    {"-chart shaded|lines|bands", "shaded bands with isobars, isobars alone, or bands alone"},
    {"-[no-]labels", "mark the highs and lows"},
};

static ModeOptions isobars_options = MODEHOST_OPTIONS(isobars_opts, isobars_vars, isobars_desc);

/* ---- state ---------------------------------------------------------- */

/* One pressure system. Positions and sizes are in chart units, where the
 * window's height is 1, so that a chart looks the same at any size. */
struct system {
    double x, y;    /* centre */
    double vx, vy;  /* drift, units a second */
    double amp;     /* hPa at the centre at full strength: + high, - low */
    double radius;  /* units */
    double age;     /* seconds since it formed */
    double life;    /* seconds it lasts */
    double wobble;  /* phase of its north-south meander */
};

enum { CHART_SHADED, CHART_LINES, CHART_BANDS };

/* One screen's chart. */
struct chart {
    int width, height;
    Pixmap buffer;  /* the frame is drawn here, then copied to the window */
    int style;
    int spacing;
    double speed;
    Bool labels;
    double clock;   /* seconds of weather so far */

    int nsystems;
    struct system *systems;

    int cell;       /* pixels between grid points */
    int cols, rows; /* cells across and down */
    double *field;  /* hPa at the (cols + 1) x (rows + 1) grid points */
    double *across, *down; /* one factor of the field per column and per row */

    /* The colours: the map the bands are shaded from, and, while the
     * season turns, the next map it fades into. */
    int ncolors;
    XColor *map, *next_map;
    double fade;                /* 0 .. 1 of the way from map to next_map */
    int fade_step;              /* the fade's step the pixels below are for */
    unsigned long *fill_pixels; /* per map entry: the band's shade */
    unsigned long *line_pixels; /* per map entry: the isobar's, darker */

    /* Scratch lists for one frame, sized for the grid. */
    XRectangle *rects;
    int *rect_bands;
    XRectangle *sorted;
    XSegment *segs;
    int *seg_levels;
    XSegment *sorted_segs;
    int *bucket;
    int nbuckets;

    XFontStruct *letter_font;
    XFontStruct *figure_font;
};

/* Charts by screen number; the mode layer hands the numbers out. */
static struct chart **charts;
static int ncharts;

/* ---- random numbers ------------------------------------------------- */

static double frand(double lo, double hi) {
    return lo + (hi - lo) * ((double)(ya_random() & 0xFFFFFF) / (double)0x1000000);
}

/* ---- the weather ---------------------------------------------------- */

/* 0 before a, 1 after b, smooth between. */
static double smoothstep(double a, double b, double x) {
    double t = (x - a) / (b - a);
    if (t <= 0) return 0;
    if (t >= 1) return 1;
    return t * t * (3 - 2 * t);
}

/* How strong a system is at its age: it deepens, holds, and fills. */
static double strength(const struct system *s) {
    return smoothstep(0, 0.3 * s->life, s->age) * (1 - smoothstep(0.65 * s->life, s->life, s->age));
}

/* A new system somewhere upwind of the window's right edge. `high` picks
 * the sign; `age` lets the first chart start with systems at every stage. */
static void form_system(struct system *s, double aspect, int high, double age) {
    s->radius = frand(0.14, 0.34);
    s->x = frand(-0.3, aspect * 0.85);
    s->y = frand(0.08, 0.92);
    s->vx = frand(0.004, 0.010);
    s->vy = frand(-0.0015, 0.0015);
    s->amp = (high ? 1 : -1) * frand(9, 24);
    if (!high) s->amp *= 1.2; /* lows run deeper than highs run high */
    s->life = frand(180, 480);
    s->age = age * s->life;
    s->wobble = frand(0, 6.2832);
}

static void move_systems(struct chart *c, double dt) {
    double aspect = (double)c->width / c->height;
    int i;
    for (i = 0; i < c->nsystems; i++) {
        struct system *s = &c->systems[i];
        s->age += dt;
        s->x += s->vx * dt;
        s->y += (s->vy + 0.002 * sin(s->wobble + s->age * 0.013)) * dt;
        if (s->age >= s->life || s->x - 2.5 * s->radius > aspect || s->y < -0.4 || s->y > 1.4)
            form_system(s, aspect, s->amp > 0, 0);
    }
}

/* The pressure at every grid point: 1013 hPa, a gentle swell, and each
 * system's bell. Both are products of a term along x and one along y, so
 * a frame needs exponentials per column and per row, not per point. */
static void sample_field(struct chart *c) {
    int i, j, k, stride = c->cols + 1;
    double unit = (double)c->cell / c->height; /* chart units between grid points */
    for (i = 0; i <= c->cols; i++) c->across[i] = 3.0 * sin(i * unit * 2.1 + c->clock * 0.004);
    for (j = 0; j <= c->rows; j++) c->down[j] = cos(j * unit * 2.7 - c->clock * 0.003);
    for (j = 0; j <= c->rows; j++)
        for (i = 0; i <= c->cols; i++) c->field[j * stride + i] = 1013.0 + c->across[i] * c->down[j];
    for (k = 0; k < c->nsystems; k++) {
        const struct system *s = &c->systems[k];
        double a = s->amp * strength(s), w = 1.0 / (2 * s->radius * s->radius);
        if (a == 0) continue;
        for (i = 0; i <= c->cols; i++) {
            double du = i * unit - s->x;
            c->across[i] = a * exp(-du * du * w);
        }
        for (j = 0; j <= c->rows; j++) {
            double dv = j * unit - s->y;
            c->down[j] = exp(-dv * dv * w);
        }
        for (j = 0; j <= c->rows; j++) {
            double *row = c->field + j * stride, dj = c->down[j];
            if (dj < 1e-7) continue;
            for (i = 0; i <= c->cols; i++) row[i] += c->across[i] * dj;
        }
    }
}

/* ---- colours -------------------------------------------------------- */

/* Seconds of weather between two changes of the colour map, and the length
 * of the fade from one map to the next. */
#define SEASON 480.0
#define FADE 90.0
#define FADE_STEPS 48

static int band_of(const struct chart *c, double p) { return (int)floor(p / c->spacing); }

/* The map entry of a band: neighbouring bands sit a few steps apart on the
 * smooth map (a chart's twenty-odd bands span most of it), and the whole
 * chart creeps along it as the weather goes. A map's steps are not even to
 * the eye: a change of shade within one hue takes few of them, so the
 * stride stays short. */
static int color_index(const struct chart *c, int band) {
    int n = c->ncolors;
    int stride = n >= 48 ? n / 24 : 1;
    long k = (long)band * stride + (long)(c->clock / 12.0);
    return (int)(((k % n) + n) % n);
}

static unsigned long fill_pixel(const struct chart *c, int band) {
    return c->fill_pixels[color_index(c, band)];
}

static unsigned long line_pixel(const struct chart *c, int level) {
    return (c->style == CHART_LINES ? c->fill_pixels : c->line_pixels)[color_index(c, level)];
}

static unsigned long alloc_rgb(ModeRecord *mi, double r, double g, double b) {
    XColor x;
    x.red = (unsigned short)(r * 65535);
    x.green = (unsigned short)(g * 65535);
    x.blue = (unsigned short)(b * 65535);
    x.flags = DoRed | DoGreen | DoBlue;
    return XAllocColor(mi->display, mi->window_attributes.colormap, &x) ? x.pixel : mi->black_pixel;
}

/* The shades of every map entry at the fade's current step. Bands are
 * printed a little toned down towards a dark slate, which keeps the
 * brightest maps calm, and isobars in a darker shade of the band above. */
static void make_pixels(ModeRecord *mi, struct chart *c) {
    double f = smoothstep(0, 1, (double)c->fade_step / FADE_STEPS);
    int k;
    for (k = 0; k < c->ncolors; k++) {
        const XColor *a = &c->map[k], *b = c->next_map ? &c->next_map[k] : a;
        double r = (a->red + f * (b->red - a->red)) / 65535.0;
        double g = (a->green + f * (b->green - a->green)) / 65535.0;
        double u = (a->blue + f * (b->blue - a->blue)) / 65535.0;
        r = 0.82 * r + 0.18 * 0.16;
        g = 0.82 * g + 0.18 * 0.18;
        u = 0.82 * u + 0.18 * 0.22;
        c->fill_pixels[k] = alloc_rgb(mi, r, g, u);
        c->line_pixels[k] = alloc_rgb(mi, r * 0.6, g * 0.6, u * 0.6);
    }
}

/* Turns the seasons: a new smooth map every SEASON seconds, faded into
 * over FADE seconds in FADE_STEPS steps. */
static void turn_season(ModeRecord *mi, struct chart *c) {
    double into = fmod(c->clock, SEASON);
    int step;
    if (c->clock >= SEASON && into < FADE && !c->next_map) {
        int n = c->ncolors;
        Bool writable = False;
        c->next_map = (XColor *)calloc((size_t)n, sizeof *c->next_map);
        make_smooth_colormap(mi->display, mi->window_attributes.visual, mi->window_attributes.colormap,
                             c->next_map, &n, False, &writable, False);
        if (n < c->ncolors) memcpy(c->next_map + n, c->map + n, (size_t)(c->ncolors - n) * sizeof *c->map);
    }
    if (!c->next_map) return;
    step = into >= FADE ? FADE_STEPS : (int)(into / FADE * FADE_STEPS);
    if (step == c->fade_step) return;
    c->fade_step = step;
    make_pixels(mi, c);
    if (step == FADE_STEPS) {
        free(c->map);
        c->map = c->next_map;
        c->next_map = 0;
        c->fade_step = 0;
    }
}

/* ---- drawing the bands and the isobars ------------------------------ */

/* Where the isobar of pressure p crosses the grid edge from point a to
 * point b. Both cells that share the edge ask with a before b, so they
 * agree on the very pixel. */
static XPoint crossing(const struct chart *c, int ia, int ja, int ib, int jb, double p) {
    double va = c->field[ja * (c->cols + 1) + ia], vb = c->field[jb * (c->cols + 1) + ib];
    double t = (p - va) / (vb - va);
    XPoint pt;
    pt.x = (short)floor((ia + t * (ib - ia)) * c->cell + 0.5);
    pt.y = (short)floor((ja + t * (jb - ja)) * c->cell + 0.5);
    return pt;
}

/* The part of a cell at or above pressure p, as a convex polygon whose
 * points run round the cell's edge; the isobar's pieces inside the cell
 * (from where the walk leaves the region to where it comes back) go to
 * segs. Returns the number of points. */
static int cell_region(const struct chart *c, int i, int j, double p, XPoint *pts, XSegment *segs,
                       int *nsegs) {
    /* The corners clockwise from the top left. */
    static const int ci[4] = {0, 1, 1, 0}, cj[4] = {0, 0, 1, 1};
    int n = 0, k, exits = 0, first_exit = -1;
    XPoint leave[2], enter[2];
    int nleave = 0, nenter = 0;
    for (k = 0; k < 4; k++) {
        int ia = i + ci[k], ja = j + cj[k], ib = i + ci[(k + 1) % 4], jb = j + cj[(k + 1) % 4];
        double va = c->field[ja * (c->cols + 1) + ia], vb = c->field[jb * (c->cols + 1) + ib];
        int ina = va >= p, inb = vb >= p;
        if (ina) {
            pts[n].x = (short)(ia * c->cell);
            pts[n].y = (short)(ja * c->cell);
            n++;
        }
        if (ina != inb) {
            /* The edge's lower grid point first, as its neighbour asks. */
            XPoint x = (ja < jb || (ja == jb && ia < ib)) ? crossing(c, ia, ja, ib, jb, p)
                                                          : crossing(c, ib, jb, ia, ja, p);
            pts[n++] = x;
            if (ina) {
                if (first_exit < 0) first_exit = nleave + nenter;
                if (nleave < 2) leave[nleave++] = x;
                exits++;
            } else if (nenter < 2) {
                enter[nenter++] = x;
            }
        }
    }
    /* Each exit joins the next entry along the walk. */
    if (segs && nleave == nenter) {
        for (k = 0; k < nleave; k++) {
            /* The walk met them in the order exit, entry, ... when the
             * first crossing was an exit; otherwise the first entry
             * belongs to the last exit. */
            XPoint a = leave[k];
            XPoint b = first_exit == 0 ? enter[k] : enter[(k + 1) % nenter];
            segs[*nsegs].x1 = a.x;
            segs[*nsegs].y1 = a.y;
            segs[*nsegs].x2 = b.x;
            segs[*nsegs].y2 = b.y;
            (*nsegs)++;
        }
    }
    (void)exits;
    return n;
}

static void draw_chart(ModeRecord *mi, struct chart *c) {
    Display *dpy = mi->display;
    GC gc = mi->gc;
    int stride = c->cols + 1;
    int i, j, k, nrects = 0, nsegs = 0, bmin = 1 << 30, bmax = -(1 << 30);
    int show_fill = c->style != CHART_LINES, show_lines = c->style != CHART_BANDS;

    for (k = 0; k < stride * (c->rows + 1); k++) {
        int b = band_of(c, c->field[k]);
        if (b < bmin) bmin = b;
        if (b > bmax) bmax = b;
    }
    if (bmax - bmin + 1 > c->nbuckets) bmax = bmin + c->nbuckets - 1; /* cannot happen in weather */

    if (!show_fill) {
        XSetForeground(dpy, gc, mi->black_pixel);
        XFillRectangle(dpy, c->buffer, gc, 0, 0, (unsigned)c->width, (unsigned)c->height);
    }

    /* Cells wholly inside one band join into runs along each row; a cell
     * that isobars cross is first filled with its lowest band, and the
     * higher bands are laid over it. */
    for (j = 0; j < c->rows; j++) {
        int run_start = 0, run_band = 0, in_run = 0;
        for (i = 0; i <= c->cols; i++) {
            int b0 = 0, lo = 0, hi = 0;
            if (i < c->cols) {
                double v[4];
                v[0] = c->field[j * stride + i];
                v[1] = c->field[j * stride + i + 1];
                v[2] = c->field[(j + 1) * stride + i + 1];
                v[3] = c->field[(j + 1) * stride + i];
                lo = hi = band_of(c, v[0]);
                for (k = 1; k < 4; k++) {
                    int b = band_of(c, v[k]);
                    if (b < lo) lo = b;
                    if (b > hi) hi = b;
                }
                b0 = lo;
            }
            if (in_run && (i == c->cols || lo != hi || b0 != run_band)) {
                XRectangle *r = &c->rects[nrects];
                r->x = (short)(run_start * c->cell);
                r->y = (short)(j * c->cell);
                r->width = (unsigned short)((i - run_start) * c->cell);
                r->height = (unsigned short)c->cell;
                c->rect_bands[nrects++] = run_band;
                in_run = 0;
            }
            if (i == c->cols) break;
            if (lo == hi) {
                if (!in_run) {
                    in_run = 1;
                    run_start = i;
                    run_band = lo;
                }
                continue;
            }
            {
                XRectangle *r = &c->rects[nrects];
                r->x = (short)(i * c->cell);
                r->y = (short)(j * c->cell);
                r->width = r->height = (unsigned short)c->cell;
                c->rect_bands[nrects++] = lo;
            }
        }
    }

    if (show_fill) {
        /* One call per band for the rectangles: a counting sort by band. */
        memset(c->bucket, 0, sizeof(int) * (size_t)(c->nbuckets + 1));
        for (k = 0; k < nrects; k++) c->bucket[c->rect_bands[k] - bmin + 1]++;
        for (k = 0; k < c->nbuckets; k++) c->bucket[k + 1] += c->bucket[k];
        for (k = 0; k < nrects; k++) c->sorted[c->bucket[c->rect_bands[k] - bmin]++] = c->rects[k];
        for (k = 0, i = 0; k <= bmax - bmin; k++) {
            int end = c->bucket[k];
            if (end > i) {
                XSetForeground(dpy, gc, fill_pixel(c, bmin + k));
                XFillRectangles(dpy, c->buffer, gc, c->sorted + i, end - i);
            }
            i = end;
        }
    }

    /* The higher bands inside the crossed cells, and the isobars. */
    for (j = 0; j < c->rows; j++) {
        for (i = 0; i < c->cols; i++) {
            double v0 = c->field[j * stride + i], v1 = c->field[j * stride + i + 1];
            double v2 = c->field[(j + 1) * stride + i + 1], v3 = c->field[(j + 1) * stride + i];
            int lo = band_of(c, v0), hi = lo, b;
            b = band_of(c, v1); if (b < lo) lo = b; if (b > hi) hi = b;
            b = band_of(c, v2); if (b < lo) lo = b; if (b > hi) hi = b;
            b = band_of(c, v3); if (b < lo) lo = b; if (b > hi) hi = b;
            for (b = lo + 1; b <= hi; b++) {
                XPoint pts[8];
                int before = nsegs, n, s;
                n = cell_region(c, i, j, (double)b * c->spacing, pts, show_lines ? c->segs : 0, &nsegs);
                for (s = before; s < nsegs; s++) c->seg_levels[s] = b;
                if (show_fill && n >= 3) {
                    XSetForeground(dpy, gc, fill_pixel(c, b));
                    XFillPolygon(dpy, c->buffer, gc, pts, n, Convex, CoordModeOrigin);
                }
            }
        }
    }

    if (show_lines && nsegs) {
        memset(c->bucket, 0, sizeof(int) * (size_t)(c->nbuckets + 1));
        for (k = 0; k < nsegs; k++) c->bucket[c->seg_levels[k] - bmin + 1]++;
        for (k = 0; k < c->nbuckets; k++) c->bucket[k + 1] += c->bucket[k];
        for (k = 0; k < nsegs; k++) c->sorted_segs[c->bucket[c->seg_levels[k] - bmin]++] = c->segs[k];
        XSetLineAttributes(dpy, gc, (unsigned)(c->height >= 1000 ? 2 : 1), LineSolid, CapRound, JoinRound);
        for (k = 0, i = 0; k <= bmax - bmin; k++) {
            int end = c->bucket[k];
            if (end > i) {
                XSetForeground(dpy, gc, line_pixel(c, bmin + k));
                XDrawSegments(dpy, c->buffer, gc, c->sorted_segs + i, end - i);
            }
            i = end;
        }
        XSetLineAttributes(dpy, gc, 0, LineSolid, CapButt, JoinMiter);
    }
}

/* ---- the centres ---------------------------------------------------- */

static void draw_text_centred(ModeRecord *mi, struct chart *c, XFontStruct *font, int x, int y,
                              const char *text) {
    int len = (int)strlen(text), w = XTextWidth(font, text, len);
    XSetFont(mi->display, mi->gc, font->fid);
    XSetForeground(mi->display, mi->gc, mi->black_pixel);
    XDrawString(mi->display, c->buffer, mi->gc, x - w / 2 + 1, y + 1, text, len);
    XSetForeground(mi->display, mi->gc, mi->white_pixel);
    XDrawString(mi->display, c->buffer, mi->gc, x - w / 2, y, text, len);
}

/* The grid point where the field peaks (or bottoms out, for a low) that
 * a climb from (i, j) reaches, one neighbour at a time. */
static int climb(const struct chart *c, int i, int j, int high) {
    int stride = c->cols + 1;
    for (;;) {
        int bi = i, bj = j, di, dj;
        double best = c->field[j * stride + i];
        for (dj = -1; dj <= 1; dj++)
            for (di = -1; di <= 1; di++) {
                int ni = i + di, nj = j + dj;
                double v;
                if (ni < 0 || nj < 0 || ni > c->cols || nj > c->rows) continue;
                v = c->field[nj * stride + ni];
                if (high ? v > best : v < best) {
                    best = v;
                    bi = ni;
                    bj = nj;
                }
            }
        if (bi == i && bj == j) return j * stride + i;
        i = bi;
        j = bj;
    }
}

/* Marks each centre that a strong system makes, where the field is most
 * extreme, with H or L and the pressure there. Systems that have merged
 * climb to one centre and mark it once; a centre on the window's edge is
 * not marked, since the true one lies beyond it. */
static void draw_centres(ModeRecord *mi, struct chart *c) {
    int marked[64], nmarked = 0, k, q;
    int stride = c->cols + 1;
    for (k = 0; k < c->nsystems && nmarked < 64; k++) {
        const struct system *s = &c->systems[k];
        int high = s->amp > 0, at, x, y, i, j, dup = 0;
        int letter_h = c->letter_font->ascent;
        double p;
        char figure[16];
        i = (int)floor(s->x * c->height / c->cell + 0.5);
        j = (int)floor(s->y * c->height / c->cell + 0.5);
        if (fabs(s->amp) * strength(s) < 2 * c->spacing) continue;
        if (i < 1 || j < 1 || i >= c->cols || j >= c->rows) continue;
        at = climb(c, i, j, high);
        i = at % stride;
        j = at / stride;
        x = i * c->cell;
        y = j * c->cell;
        /* A centre whose mark would run off the window is left unmarked. */
        if (x < letter_h || x > c->width - letter_h || y < letter_h * 3 / 2 ||
            y > c->height - letter_h)
            continue;
        for (q = 0; q < nmarked; q++)
            if (marked[q] == at) dup = 1;
        if (dup) continue;
        marked[nmarked++] = at;
        p = c->field[at];
        XSetForeground(mi->display, mi->gc, mi->white_pixel);
        XFillArc(mi->display, c->buffer, mi->gc, x - 3, y - 3, 7, 7, 0, 360 * 64);
        draw_text_centred(mi, c, c->letter_font, x, y - letter_h / 4, high ? "H" : "L");
        snprintf(figure, sizeof figure, "%d", (int)floor(p + 0.5));
        draw_text_centred(mi, c, c->figure_font, x, y + c->figure_font->ascent + letter_h / 5, figure);
    }
}

/* ---- lifecycle ------------------------------------------------------ */

static XFontStruct *load_font(Display *dpy, int pixels) {
    char name[128];
    XFontStruct *f;
    /* The emulation reads the first number of an X font name as tenths of
     * a point, and a point is a pixel. */
    snprintf(name, sizeof name, "-*-helvetica-bold-r-normal-*-%d-*", pixels * 10);
    f = XLoadQueryFont(dpy, name);
    return f ? f : XLoadQueryFont(dpy, "fixed");
}

static void free_sized(ModeRecord *mi, struct chart *c) {
    if (c->buffer) XFreePixmap(mi->display, c->buffer);
    if (c->letter_font) XFreeFont(mi->display, c->letter_font);
    if (c->figure_font) XFreeFont(mi->display, c->figure_font);
    free(c->field);
    free(c->across);
    free(c->down);
    free(c->rects);
    free(c->rect_bands);
    free(c->sorted);
    free(c->segs);
    free(c->seg_levels);
    free(c->sorted_segs);
    c->buffer = 0;
    c->letter_font = c->figure_font = 0;
    c->field = c->across = c->down = 0;
    c->rects = c->sorted = 0;
    c->rect_bands = c->seg_levels = 0;
    c->segs = c->sorted_segs = 0;
}

/* Everything that depends on the window's size. */
static void make_sized(ModeRecord *mi, struct chart *c, int width, int height) {
    size_t cells, points;
    free_sized(mi, c);
    c->width = width > 0 ? width : 1;
    c->height = height > 0 ? height : 1;
    c->cell = c->height / 64;
    if (c->cell < 4) c->cell = 4;
    if (c->cell > 24) c->cell = 24;
    c->cols = (c->width + c->cell - 1) / c->cell;
    c->rows = (c->height + c->cell - 1) / c->cell;
    cells = (size_t)c->cols * (size_t)c->rows;
    points = (size_t)(c->cols + 1) * (size_t)(c->rows + 1);
    c->field = (double *)calloc(points, sizeof *c->field);
    c->across = (double *)calloc((size_t)c->cols + 1, sizeof *c->across);
    c->down = (double *)calloc((size_t)c->rows + 1, sizeof *c->down);
    c->rects = (XRectangle *)calloc(cells, sizeof *c->rects);
    c->rect_bands = (int *)calloc(cells, sizeof *c->rect_bands);
    c->sorted = (XRectangle *)calloc(cells, sizeof *c->sorted);
    /* A cell holds at most two pieces of each isobar through it. */
    c->segs = (XSegment *)calloc(cells * 2 * 8, sizeof *c->segs);
    c->seg_levels = (int *)calloc(cells * 2 * 8, sizeof *c->seg_levels);
    c->sorted_segs = (XSegment *)calloc(cells * 2 * 8, sizeof *c->sorted_segs);
    c->buffer = XCreatePixmap(mi->display, mi->window, (unsigned)c->width, (unsigned)c->height,
                              (unsigned)mi->window_attributes.depth);
    c->letter_font = load_font(mi->display, c->height / 14 > 8 ? c->height / 14 : 8);
    c->figure_font = load_font(mi->display, c->height / 40 > 8 ? c->height / 40 : 8);
}

static void free_chart(ModeRecord *mi, struct chart *c) {
    if (!c) return;
    free_sized(mi, c);
    free(c->systems);
    free(c->map);
    free(c->next_map);
    free(c->fill_pixels);
    free(c->line_pixels);
    free(c->bucket);
    free(c);
}

/* The colours from the map the mode layer made. */
static void make_colors(ModeRecord *mi, struct chart *c) {
    c->ncolors = mi->npixels;
    c->map = (XColor *)calloc((size_t)c->ncolors, sizeof *c->map);
    memcpy(c->map, mi->colors, (size_t)c->ncolors * sizeof *c->map);
    c->fill_pixels = (unsigned long *)calloc((size_t)c->ncolors, sizeof *c->fill_pixels);
    c->line_pixels = (unsigned long *)calloc((size_t)c->ncolors, sizeof *c->line_pixels);
    make_pixels(mi, c);
}

static void new_weather(struct chart *c) {
    double aspect = (double)c->width / c->height;
    int i;
    for (i = 0; i < c->nsystems; i++) form_system(&c->systems[i], aspect, i % 2 == 0, frand(0.25, 0.6));
}

static void init_isobars(ModeRecord *mi) {
    int n = mi->screen_number;
    struct chart *c;
    if (n >= ncharts) {
        int want = mi->screen_count > n + 1 ? mi->screen_count : n + 1;
        struct chart **grown = (struct chart **)realloc(charts, (size_t)want * sizeof *charts);
        if (!grown) return;
        memset(grown + ncharts, 0, (size_t)(want - ncharts) * sizeof *grown);
        charts = grown;
        ncharts = want;
    }
    free_chart(mi, charts[n]);
    c = charts[n] = (struct chart *)calloc(1, sizeof *c);

    c->style = CHART_SHADED;
    if (opt_chart && !strcmp(opt_chart, "lines")) c->style = CHART_LINES;
    if (opt_chart && !strcmp(opt_chart, "bands")) c->style = CHART_BANDS;
    c->spacing = opt_spacing < 1 ? 1 : opt_spacing > 20 ? 20 : opt_spacing;
    c->speed = opt_speed < 0.05 ? 0.05 : opt_speed > 20 ? 20 : opt_speed;
    c->labels = opt_labels ? True : False;
    c->nsystems = mi->count < 1 ? 1 : mi->count > 40 ? 40 : (int)mi->count;
    c->systems = (struct system *)calloc((size_t)c->nsystems, sizeof *c->systems);
    /* Pressures stay within a few hundred hPa of the mean, whatever the
     * systems do: enough bands for the deepest pile-up. */
    c->nbuckets = 1 + (int)(2 * (40 * 30.0 + 10) / c->spacing);
    c->bucket = (int *)calloc((size_t)c->nbuckets + 1, sizeof *c->bucket);
    make_colors(mi, c);
    make_sized(mi, c, mi->window_attributes.width, mi->window_attributes.height);
    new_weather(c);
}

static struct chart *chart_of(ModeRecord *mi) {
    return mi->screen_number < ncharts ? charts[mi->screen_number] : 0;
}

static void draw_isobars(ModeRecord *mi) {
    struct chart *c = chart_of(mi);
    double dt = (mi->delay > 10000 ? mi->delay : 10000) / 1e6;
    if (!c || !c->buffer) return;
    c->clock += dt * c->speed;
    move_systems(c, dt * c->speed);
    turn_season(mi, c);
    sample_field(c);
    draw_chart(mi, c);
    if (c->labels) draw_centres(mi, c);
    XCopyArea(mi->display, c->buffer, mi->window, mi->gc, 0, 0, (unsigned)c->width,
              (unsigned)c->height, 0, 0);
}

static void reshape_isobars(ModeRecord *mi, int width, int height) {
    struct chart *c = chart_of(mi);
    if (c) make_sized(mi, c, width, height);
}

/* In a preview, the space bar or a click brings a new chart. */
static Bool isobars_event(ModeRecord *mi, XEvent *event) {
    struct chart *c = chart_of(mi);
    if (!c) return False;
    if (event->type == ButtonPress ||
        (event->type == KeyPress && XKeycodeToKeysym(mi->display, event->xkey.keycode, 0) == ' ')) {
        new_weather(c);
        return True;
    }
    return False;
}

static void release_isobars(ModeRecord *mi) {
    int n = mi->screen_number, k;
    if (n >= ncharts) return;
    free_chart(mi, charts[n]);
    charts[n] = 0;
    for (k = 0; k < ncharts; k++)
        if (charts[k]) return;
    free(charts);
    charts = 0;
    ncharts = 0;
}

static modehost_function_table isobars_modehost_function_table = {
    "Isobars",          /* progclass */
    isobars_defaults,   /* defaults */
    False,              /* writable_colors */
    ModeColorsSmooth,   /* color_scheme */
    init_isobars,       /* init_hook */
    draw_isobars,       /* draw_hook */
    reshape_isobars,    /* reshape_hook */
    0,                  /* refresh_hook */
    release_isobars,    /* free_hook */
    isobars_event,      /* event_hook */
    &isobars_options,   /* options */
};

/* The mode layer never calls the free hook: the end of each run comes
 * through the function table's free callback, which releases this screen's
 * chart before the layer releases the record. */
static void isobars_end_run(Display *dpy, Window window, void *closure) {
    ModeRecord *mi = (ModeRecord *)closure;
    if (mi) release_isobars(mi);
    modehost_free(dpy, window, closure);
}

static void isobars_setup(somnel_function_table *table, void *arg) {
    modehost_setup(table, arg);
    table->free_cb = isobars_end_run;
}

somnel_function_table isobars_somnel_function_table = {
    0,                                /* progclass: set by the mode layer */
    0,                                /* defaults */
    0,                                /* options */
    isobars_setup,                    /* setup_cb */
    &isobars_modehost_function_table, /* setup_arg */
    0, 0, 0, 0, 0,                    /* init, draw, reshape, event, free: set by setup */
    modehost_do_fps,                  /* fps_cb */
    0,
    0,
};
