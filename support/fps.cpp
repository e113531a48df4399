// The frames-per-second meter: rate, processor load and the hack's polygon
// and depth figures, measured about once a second and drawn with Xlib calls
// (the GL path is in fps_gl.cpp).
#include "somnel/fps.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "somnel/glxfonts.h"
#include "somnel/resources.h"

namespace {

const char *const kDefaultFont = "-*-courier-bold-r-normal-*-180-*";

// The clock as a time value.
struct timeval clockNow() {
    double t = platform::now();
    struct timeval tv;
    double secs = std::floor(t);
    long usecs = std::lround((t - secs) * 1e6);
    if (usecs >= 1000000) {
        secs += 1;
        usecs -= 1000000;
    }
    tv.tv_sec = time_t(secs);
    tv.tv_usec = suseconds_t(usecs);
    return tv;
}

// Appends printf-style text to the meter's text, never past its end.
void appendText(fps_state *st, const char *fmt, ...) __attribute__((format(printf, 2, 3)));
void appendText(fps_state *st, const char *fmt, ...) {
    size_t n = strlen(st->text);
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(st->text + n, sizeof st->text - n, fmt, ap);
    va_end(ap);
}

}  // namespace

extern "C" {

fps_state *fps_init(Display *dpy, Window window) {
    if (!get_boolean_resource(dpy, "doFPS", "DoFPS")) return nullptr;
    fps_state *st = static_cast<fps_state *>(calloc(1, sizeof(fps_state)));
    st->display = dpy;
    st->window = window;
    st->solid_background = get_boolean_resource(dpy, "fpsSolid", "FPSSolid");

    char *name = get_string_resource(dpy, "fpsFont", "Font");
    st->font = XLoadQueryFont(dpy, name ? name : kDefaultFont);
    free(name);
    if (!st->font) st->font = XLoadQueryFont(dpy, "fixed");

    XWindowAttributes xgwa;
    XGetWindowAttributes(dpy, window, &xgwa);
    XGCValues gcv;
    memset(&gcv, 0, sizeof gcv);
    unsigned long mask = GCForeground;
    if (st->font) {
        gcv.font = st->font->fid;
        mask |= GCFont;
    }
    gcv.foreground = get_pixel_resource(dpy, xgwa.colormap, "foreground", "Foreground");
    st->text_gc = XCreateGC(dpy, window, mask, &gcv);
    gcv.foreground = get_pixel_resource(dpy, xgwa.colormap, "background", "Background");
    st->background_gc = XCreateGC(dpy, window, mask, &gcv);

    st->x = 10;
    st->y = 10;
    if (get_boolean_resource(dpy, "fpsTop", "FPSTop")) st->y = -10 - (st->font ? st->font->descent : 0);
    strcpy(st->text, "FPS: ... ");
    return st;
}

void fps_slept(fps_state *st, unsigned long usecs) {
    if (st) st->slept_usecs += usecs;
}

double fps_compute(fps_state *st, unsigned long polys, double depth) {
    if (!st) return 0.0;
    int n = st->frame_count++;
    if (n >= st->last_whole_fps) {
        st->this_frame_end = clockNow();
        if (st->prev_frame_end.tv_sec == 0) st->prev_frame_end = st->this_frame_end;
    }
    if (st->prev_frame_end.tv_sec == st->this_frame_end.tv_sec) return st->last_fps;

    double elapsed = (double(st->this_frame_end.tv_sec) + double(st->this_frame_end.tv_usec) * 1e-6) -
                     (double(st->prev_frame_end.tv_sec) + double(st->prev_frame_end.tv_usec) * 1e-6);
    st->prev_frame_end = st->this_frame_end;
    double fps = (n + 1) / elapsed;
    st->frame_count = 0;
    double idle = double(st->slept_usecs) * 1e-6 / elapsed;
    st->slept_usecs = 0;
    st->last_whole_fps = int(fps);
    st->last_fps = fps;
    double load = (1.0 - idle) * 100.0;
    if (load < 0) load = 0;

    st->text[0] = 0;
    if (polys) {
        appendText(st, "FPS:   %.1f \nLoad:  %.1f%% ", fps, load);
        appendText(st, "\nPolys: ");
        if (polys < 1000)
            appendText(st, "%lu%s ", polys, "");
        else if (polys < 1000000)
            appendText(st, "%lu,%03lu%s ", polys / 1000, polys % 1000, "");
        else
            appendText(st, "%lu,%03lu,%03lu%s ", polys / 1000000, (polys / 1000) % 1000, polys % 1000, "");
    } else {
        appendText(st, "FPS:  %.1f \nLoad: %.1f%% ", fps, load);
    }
    if (depth >= 0) {
        appendText(st, "\nDepth: ");
        size_t start = strlen(st->text);
        appendText(st, "%.1f", depth);
        size_t end = strlen(st->text);
        if (end - start >= 2 && strcmp(st->text + end - 2, ".0") == 0) st->text[end - 2] = 0;
    }
    return st->last_fps;
}

void fps_draw(fps_state *st) {
    if (!st || !st->font) return;
    XFontStruct *f = st->font;
    const int lh = f->ascent + f->descent;
    int lines = 1;
    for (const char *c = st->text; *c; c++) lines += *c == '\n';
    const int block = (lines - 1) * lh;

    int baseline;
    if (st->y >= 0) {
        // The last line's descent ends y pixels above the bottom edge.
        XWindowAttributes xgwa;
        XGetWindowAttributes(st->display, st->window, &xgwa);
        baseline = xgwa.height - st->y - block - f->descent;
    } else {
        // The block's top (the first line's ascent) sits -y - descent
        // pixels below the top edge, so no part of the first line is cut.
        baseline = -st->y - f->descent + f->ascent;
    }

    if (st->solid_background) {
        int widest = string_width(f, st->text, nullptr);
        XFillRectangle(st->display, st->window, st->background_gc, st->x - f->descent, baseline - lh,
                       unsigned(widest + 2 * f->descent), unsigned(lines * lh + 2 * f->descent));
    }
    const char *line = st->text;
    while (true) {
        const char *end = strchr(line, '\n');
        int len = end ? int(end - line) : int(strlen(line));
        XDrawString(st->display, st->window, st->text_gc, st->x, baseline, line, len);
        if (!end) break;
        line = end + 1;
        baseline += lh;
    }
}

void fps_free(fps_state *st) {
    if (!st) return;
    if (st->text_gc) XFreeGC(st->display, st->text_gc);
    if (st->background_gc) XFreeGC(st->display, st->background_gc);
    if (st->font) XFreeFont(st->display, st->font);
    // The GL meter's font: its textures go with the context that is
    // current (the view frees the meter between frames of its own run).
    if (st->texture_font) free_texture_font(st->texture_font);
    free(st);
}

void screenhack_do_fps(Display *, Window, fps_state *st, void *) {
    fps_compute(st, 0, -1.0);
    fps_draw(st);
}

}  // extern "C"
