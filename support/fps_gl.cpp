// The FPS meter drawn in OpenGL, for mode-table hacks that draw with GL.
#include "somnel/fps_gl.h"

#include "somnel/glxfonts.h"
#include "somnel/xshim_glx.h"

extern "C" void modehost_gl_compute_fps(Display *dpy, Window, fps_state *fps, void *closure) {
    ModeRecord *mi = static_cast<ModeRecord *>(closure);
    // Without a record there are no figures of the hack's to show.
    if (!mi) {
        fps_compute(fps, 0, -1.0);
        return;
    }
    if (!mi->fps_meter && fps) {
        mi->fps_meter = fps;
        clear_gl_error();
        fps->texture_font = load_texture_font(dpy, "fpsFont");
    }
    fps_compute(fps, mi->polygon_count, mi->depth);
}

extern "C" void modehost_gl_draw_fps(ModeRecord *mi) {
    if (!mi || !mi->fps_meter) return;
    fps_state *st = mi->fps_meter;
    if (!st->texture_font || !st->font) return;

    XWindowAttributes xgwa;
    XGetWindowAttributes(st->display, st->window, &xgwa);
    int lines = 1;
    for (const char *c = st->text; *c; c++) lines += *c == '\n';
    const int h = lines * (st->font->ascent + st->font->descent);

    int y = st->y;
    if (y < 0) y = y + xgwa.height - h;
    y = y + h + st->font->descent;
    glColor3f(1, 1, 1);
    print_gl_string(st->display, st->texture_font, xgwa.width, xgwa.height, st->text, st->solid_background,
                    float(st->x), float(y));
}
