// What the saver view itself costs per host tick: a drawn frame with a hack
// whose draw does nothing, and a tick that draws nothing because the delay
// the last draw asked for has not passed. Prints medians; asserts nothing.
// NOTE: Qt headers first: the Xlib names the emulation defines (None, True)
// would otherwise clash with Qt enumerators.
#include <QCoreApplication>

#include "framework/somnel_view.h"
#include "somnel/somnel_function_table.h"
#include "platform/geometry.h"
#include "platform/bundle.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

unsigned long benchDelay = 0;

void *bench_init(Display *, Window, void *) { return nullptr; }
unsigned long bench_draw(Display *, Window, void *) { return benchDelay; }
void bench_free(Display *, Window, void *) {}

const char *const bench_defaults[] = {nullptr};
const XrmOptionDescRec bench_options[] = {{nullptr, nullptr, 0, nullptr}};

}  // namespace

extern "C" {
SOMNEL_EXPORT_SYMBOL somnel_function_table framebench_somnel_function_table = {
    "FrameBench", bench_defaults, bench_options, nullptr, nullptr, bench_init, bench_draw,
    nullptr,      nullptr,        bench_free,    nullptr, nullptr, nullptr};
}

namespace {

// Median and 90th percentile of n ticks, in microseconds.
void measure(const char *label, SomnelView &view, int n) {
    std::vector<double> us;
    us.reserve(n);
    for (int i = 0; i < n; ++i) {
        auto t0 = std::chrono::steady_clock::now();
        view.animateOneFrame();
        auto t1 = std::chrono::steady_clock::now();
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    std::sort(us.begin(), us.end());
    printf("%-34s median %7.3f us   p90 %7.3f us   (%d ticks)\n", label, us[us.size() / 2],
           us[us.size() * 9 / 10], n);
}

}  // namespace

int main(int argc, char **argv) {
    if (!getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Keep the bench's preferences out of the user's configuration.
    std::string home = "/tmp/somnel-bench-" + std::to_string(getpid());
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    QCoreApplication app(argc, argv);

    std::string bundlePath = home + "/FrameBench.saver";
    mkdir(home.c_str(), 0755);
    mkdir(bundlePath.c_str(), 0755);
    mkdir((bundlePath + "/Resources").c_str(), 0755);
    auto bundle = platform::Bundle::forHandle(bundlePath, dlopen(nullptr, RTLD_NOW));

    auto view = SomnelView::create(platform::Rect::make(0, 0, 1280, 720), nullptr, false, bundle);
    if (!view) return 1;
    view->startAnimation();
    view->animateOneFrame();  // first tick: display and init

    const int n = 200000;
    benchDelay = 0;
    measure("drawn frame (draw does nothing)", *view, n);
    benchDelay = 3600ul * 1000000ul;
    view->animateOneFrame();  // one draw that asks for an hour
    measure("skipped tick", *view, n);
    view->stopAnimation();
    view->dealloc();

    std::string rm = "rm -rf '" + home + "'";
    return system(rm.c_str()) == 0 ? 0 : 0;
}
