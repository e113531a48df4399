// The frames-per-second meter's bookkeeping and text.
#include "fps.h"

#include "resources.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" {

fps_state *fps_init(Display *dpy, Window window) {
    if (!get_boolean_resource(dpy, "doFPS", "DoFPS")) return nullptr;
    auto *st = static_cast<fps_state *>(calloc(1, sizeof(fps_state)));
    st->display = dpy;
    st->window = window;
    st->solid_background = get_boolean_resource(dpy, "fpsSolid", "FPSSolid");
    char *name = get_string_resource(dpy, "fpsFont", "Font");
    st->font = XLoadQueryFont(dpy, name ? name : "-*-courier-bold-r-normal-*-180-*");
    free(name);
    if (!st->font) st->font = XLoadQueryFont(dpy, "fixed");
    // The two GCs come with the GC drawing calls; until then the meter
    // computes its text and fps_draw shows nothing.
    st->x = 10;
    st->y = 10;
    if (get_boolean_resource(dpy, "fpsTop", "FPSTop")) st->y = -10 - (st->font ? st->font->descent : 0);
    strcpy(st->text, "FPS: ... ");
    return st;
}

void fps_slept(fps_state *st, unsigned long usecs) {
    if (st) st->slept_usecs += usecs;
}

namespace {
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

double fps_compute(fps_state *st, unsigned long polys, double depth) {
    if (!st) return 0.0;
    int n = st->frame_count++;
    if (n >= st->last_whole_fps) {
        gettimeofday(&st->this_frame_end, nullptr);
        if (st->prev_frame_end.tv_sec == 0) st->prev_frame_end = st->this_frame_end;
    }
    if (st->prev_frame_end.tv_sec == st->this_frame_end.tv_sec) return st->last_fps;

    double elapsed = (st->this_frame_end.tv_sec + st->this_frame_end.tv_usec * 1e-6) -
                     (st->prev_frame_end.tv_sec + st->prev_frame_end.tv_usec * 1e-6);
    st->prev_frame_end = st->this_frame_end;
    double fps = (n + 1) / elapsed;
    st->frame_count = 0;
    double idle = st->slept_usecs * 1e-6 / elapsed;
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

void fps_draw(fps_state *) {
    // Nothing to draw with until the emulation offers fonts and text.
}

void fps_free(fps_state *st) {
    if (!st) return;
    if (st->font) XFreeFont(st->display, st->font);
    free(st);
}

void screenhack_do_fps(Display *, Window, fps_state *st, void *) {
    fps_compute(st, 0, -1.0);
    fps_draw(st);
}

}  // extern "C"
