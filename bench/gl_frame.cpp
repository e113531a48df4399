// What the GL saver view costs: the host's work per drawn frame around a GL
// draw that does nothing (next to the same for a 2D view), the time from
// process start to the first presented frame of a mode-table GL hack, and
// Drizzle's frame time with the driver's threaded dispatch on and off.
// Prints medians and ratios measured in one run; asserts nothing.
// NOTE: Qt headers first (see frame_cost.cpp).
#include <QCoreApplication>

#include "framework/somnel_gl_view.h"
#include "somnel/somnel_function_table.h"
#include "somnel/xshim_glx.h"
#include "platform/geometry.h"
#include "platform/bundle.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#ifndef SOMNEL_BIN_DIR
#define SOMNEL_BIN_DIR "bin"
#endif
#ifndef SOMNEL_TEST_SAVER_DIR
#define SOMNEL_TEST_SAVER_DIR "test-savers"
#endif

namespace {

bool initGL = true;  // the same table serves the GL and the 2D view

void *gl_init(Display *dpy, Window w, void *) {
    if (initGL) xshim_init_GL(dpy, w);
    return nullptr;
}
unsigned long gl_draw(Display *, Window, void *) { return 0; }
void gl_free(Display *, Window, void *) {}

const char *const gl_defaults[] = {nullptr};
const XrmOptionDescRec gl_options[] = {{nullptr, nullptr, 0, nullptr}};

}  // namespace

extern "C" {
SOMNEL_EXPORT_SYMBOL somnel_function_table glbench_somnel_function_table = {
    "GLBench", gl_defaults, gl_options, nullptr, nullptr, gl_init, gl_draw,
    nullptr,   nullptr,     gl_free,    nullptr, nullptr, nullptr};
}

namespace {

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Median microseconds of one host tick over n drawn frames.
double perFrame(SomnelView &view, int n) {
    std::vector<double> us;
    for (int i = 0; i < n; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        view.animateOneFrame();
        auto t1 = std::chrono::steady_clock::now();
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    return median(us);
}

// Median wall milliseconds of a shell command over n runs.
double commandMs(const std::string &cmd, int n) {
    std::vector<double> ms;
    for (int i = 0; i < n; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        if (system(cmd.c_str()) != 0) return -1;
        auto t1 = std::chrono::steady_clock::now();
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return median(ms);
}

}  // namespace

int main(int argc, char **argv) {
    if (!getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string home = "/tmp/somnel-glbench-" + std::to_string(getpid());
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    QCoreApplication app(argc, argv);

    std::string bundlePath = home + "/GLBench.saver";
    mkdir(home.c_str(), 0755);
    mkdir(bundlePath.c_str(), 0755);
    mkdir((bundlePath + "/Resources").c_str(), 0755);
    auto bundle = platform::Bundle::forHandle(bundlePath, dlopen(nullptr, RTLD_NOW));

    const int frames = 2000;
    auto gl = SomnelGLView::create(platform::Rect::make(0, 0, 640, 360), nullptr, false, bundle);
    auto plain = SomnelView::create(platform::Rect::make(0, 0, 640, 360), nullptr, false, bundle);
    if (!gl || !plain) return 1;
    gl->startAnimation();
    gl->animateOneFrame();  // display, context, init
    initGL = false;
    plain->startAnimation();
    plain->animateOneFrame();
    double glUs = perFrame(*gl, frames);
    double plainUs = perFrame(*plain, frames);
    printf("host per drawn frame, GL view (off screen, empty draw): median %8.2f us\n", glUs);
    printf("host per drawn frame, 2D view (empty draw):             median %8.2f us\n", plainUs);
    printf("  ratio GL / 2D: %.1f (the GL view makes its context current each frame)\n", glUs / plainUs);
    gl->stopAnimation();
    gl->dealloc();
    plain->stopAnimation();
    plain->dealloc();

    const std::string somnel = std::string(SOMNEL_BIN_DIR) + "/somnel";
    const std::string out = home + "/frame.png";
    const std::string quiet = " >/dev/null 2>&1";
    double startGL = commandMs(somnel + " render '" + SOMNEL_TEST_SAVER_DIR + "/GLModeTest.saver' --frames 1 "
                                        "--size 320x240 --out '" + out + "'" + quiet, 7);
    double start2D = commandMs(somnel + " render Tester --frames 1 --size 320x240 --out '" + out + "'" + quiet, 7);
    printf("process start to first frame written, GL mode-table hack: median %7.1f ms\n", startGL);
    printf("process start to first frame written, 2D Tester:          median %7.1f ms\n", start2D);
    if (startGL > 0 && start2D > 0) printf("  ratio GL / 2D: %.2f\n", startGL / start2D);

    double on = commandMs("mesa_glthread=true " + somnel + " render Drizzle --frames 20 --size 640x360 --out '" +
                              out + "'" + quiet, 3);
    double off = commandMs("mesa_glthread=false " + somnel + " render Drizzle --frames 20 --size 640x360 --out '" +
                               out + "'" + quiet, 3);
    printf("Drizzle, 20 frames at 640x360: threaded dispatch on %7.1f ms, off %7.1f ms, ratio on/off %.2f\n", on,
           off, off > 0 ? on / off : 0.0);

    std::string rm = "rm -rf '" + home + "'";
    return system(rm.c_str()) == 0 ? 0 : 0;
}
