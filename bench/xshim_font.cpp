// Prints how long loading a font (224 glyph outlines traced) and measuring
// strings take: hacks load their fonts once, at start-up.
// NOTE: Qt's application header declares the real Xlib's Display, which
// the emulation's headers name too: keep Qt's out of the way.
#define Display qt_x11_Display
#include <QGuiApplication>
#undef Display

#include "xshim/xshim_font_private.h"

#include <chrono>
#include <cstdio>

namespace {

template <typename F>
double millis_per_call(int n, F &&f) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < n; i++) f();
    const std::chrono::duration<double, std::milli> dt = std::chrono::steady_clock::now() - t0;
    return dt.count() / n;
}

}  // namespace

int main(int argc, char **argv) {
    if (!qEnvironmentVariableIsSet("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    for (const char *name : {"fixed", "-*-courier-bold-r-*-*-*-180-*", "-*-times-*-*-*-*-*-240-*",
                             "DejaVu Sans 48", "Helvetica 18", "-*-random-*-*-*-*-*-120-*"}) {
        const double ms = millis_per_call(20, [&] { XFreeFont(nullptr, XLoadQueryFont(nullptr, name)); });
        printf("XLoadQueryFont+XFreeFont %-32s %8.2f ms\n", name, ms);
    }
    XFontStruct *fs = XLoadQueryFont(nullptr, "fixed");
    const char text[] = "The quick brown fox jumps over the lazy dog, 60.0 FPS";
    volatile int sink = 0;
    const double us = 1000 * millis_per_call(200000, [&] { sink = sink + XTextWidth(fs, text, sizeof text - 1); });
    printf("XTextWidth of %zu bytes %26s %8.3f us\n", sizeof text - 1, "", us);
    XFreeFont(nullptr, fs);
    return 0;
}
