// Prints how long one Drizzle frame takes at each simulation resolution,
// off screen at 1280 x 720, with the default rain: gradient, two simulation
// steps, droplets, normals, mipmaps and the composite, glFinish'ed.
#include <QGuiApplication>

#include "platform/geometry.h"
#include "platform/clock.h"
#include "platform/view.h"
#include "platform/gl.h"

#include "savers/drizzle/drizzle.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

int main(int argc, char **argv) {
    if (!qEnvironmentVariableIsSet("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int W = 1280, H = 720;
    platform::ScreenSaverView view(platform::Rect::make(0, 0, W, H), false);
    std::string error;
    auto ctx = platform::GLContext::create(platform::GLFormat{}, &view, &error);
    if (!ctx || !ctx->makeCurrent()) {
        fprintf(stderr, "bench_drizzle_frame: no GL context: %s\n", error.c_str());
        return 1;
    }
    printf("%s\n%s\n", ctx->describe().c_str(), reinterpret_cast<const char *>(glGetString(GL_RENDERER)));
    for (int code = 0; code <= 3; code++) {
        g_nSimResolutionEnum = code;
        auto s = std::make_unique<DrizzleState>();
        std::memset(s.get(), 0, sizeof *s);
        drizzle_setup_state(s.get(), W, H);
        RippleDisplay(s.get());
        const int warm = 5, n = code >= 2 ? 10 : 30;
        for (int i = 0; i < warm + n; i++) {
            if (i == warm) glFinish();
            static std::chrono::steady_clock::time_point t0;
            if (i == warm) t0 = std::chrono::steady_clock::now();
            drizzle_advance_time(s.get());
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
            RippleDisplay(s.get());
            if (i == warm + n - 1) {
                glFinish();
                std::chrono::duration<double, std::milli> dt = std::chrono::steady_clock::now() - t0;
                printf("simres %d (%4d x %4d): %8.2f ms a frame\n", code, s->nSimSize, s->nSimSize,
                       dt.count() / n);
            }
        }
        drizzle_delete_gl_objects(s.get());
    }
    platform::GLContext::clearCurrent();
    return 0;
}
