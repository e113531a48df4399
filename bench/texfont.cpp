// Prints how long building the FPS meter's texture font takes, and what a
// character of GL text costs per frame (five quads with the outline, one
// without), in an off-screen GL context.
// NOTE: Qt's application header declares the real Xlib's Display, which
// the emulation's headers name too: keep Qt's out of the way.
#define Display qt_x11_Display
#include <QGuiApplication>
#undef Display

#include "platform/geometry.h"
#include "platform/clock.h"
#include "platform/view.h"
#include "platform/gl.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "xshim/xshim_view.h"
#include "somnel/glxfonts.h"
#include "somnel/somnel_function_table.h"
#include "somnel/texfont.h"

namespace {

template <typename F>
double millis_per_call(int n, F &&f) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < n; i++) f();
    glFinish();
    const std::chrono::duration<double, std::milli> dt = std::chrono::steady_clock::now() - t0;
    return dt.count() / n;
}

}  // namespace

int main(int argc, char **argv) {
    if (!qEnvironmentVariableIsSet("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // No saver view, so no preferences: the meter's default font is built.
    progname = "bench_texfont";
    const int W = 800, H = 600;
    platform::ScreenSaverView view(platform::Rect::make(0, 0, W, H), false);
    std::string error;
    auto ctx = platform::GLContext::create(platform::GLFormat{}, &view, &error);
    if (!ctx || !ctx->makeCurrent()) {
        fprintf(stderr, "bench_texfont: no GL context: %s\n", error.c_str());
        return 1;
    }
    printf("GL: %s\n", ctx->describe().c_str());
    Display *dpy = xshim_make_display(&view, nullptr);
    xshim_window_resized(dpy, XRootWindow(dpy, 0), 0, 0, W, H, nullptr);
    glViewport(0, 0, W, H);

    TextureFont *tf = nullptr;
    const double load_ms = millis_per_call(10, [&] {
        if (tf) free_texture_font(tf);
        tf = load_texture_font(dpy, "fpsFont");
    });
    printf("load_texture_font(\"fpsFont\") %dx%d cells, %d texture(s) %8.2f ms\n", tf->cell_width,
           tf->cell_height, tf->ntextures, load_ms);

    const char text[] = "FPS:   60.0 \nLoad:  12.5% \nPolys: 1,234,567 ";
    int visible = 0;
    for (const char *c = text; *c; c++) visible += *c != '\n';
    glColor3f(1, 1, 1);
    // Width 0 draws through the caller's projection: make it the window's.
    glMatrixMode(GL_PROJECTION);
    glOrtho(0, W, 0, H, -1, 1);
    glMatrixMode(GL_MODELVIEW);
    for (Bool outline : {False, True}) {
        for (int width : {W, 0}) {
            const int n = 200;
            const double ms = millis_per_call(n, [&] {
                print_gl_string(dpy, tf, width, H, text, outline, 10, float(H - 10));
            });
            printf("print_gl_string outline=%d width=%-3d %2d chars %8.2f us/char %8.3f ms/string\n", outline,
                   width, visible, 1000 * ms / visible, ms);
        }
    }
    free_texture_font(tf);
    xshim_free_display(dpy);
    platform::GLContext::clearCurrent();
    return 0;
}
