// What a Drizzle frame costs at 1280 x 720 with the default rain, at steady
// state (after a warm-up of a few hundred frames, once the ripples have
// built up), on whatever renderer the machine has:
//   - a per-pass breakdown (glFinish after each pass), adapted and exact
//     texture filtering side by side;
//   - early frames (the first 50 after init) against steady ones;
//   - every simulation resolution, adapted and exact;
//   - the whole host (the built bundle driven by its view, as `somnel
//     render` does) against a bare loop calling the hack's frame.
// Rivals run interleaved in blocks, in one process, and the figures are
// medians of per-block means, so that load from other processes falls on
// both sides alike. Prints; asserts nothing.
//
//   bench_drizzle_frame [--warmup N] [--frames N] [--skip-simres]
#include <QGuiApplication>
#include <QImage>

#include "platform/bundle.h"
#include "platform/clock.h"
#include "platform/geometry.h"
#include "platform/gl.h"
#include "platform/log.h"
#include "platform/view.h"

#include "savers/drizzle/drizzle.h"
#include "support/hints.h"
#include "somnel/yarandom.h"

#include <EGL/egl.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#ifndef SOMNEL_SAVER_DIR_PATH
#define SOMNEL_SAVER_DIR_PATH "savers"
#endif

namespace {

const int W = 1280, H = 720;
const int kBlock = 10;  // frames per interleaved block

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Processor time of the whole process, all threads (the renderer's too):
// what a frame costs whatever else the machine is doing.
double cpuMs() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One Drizzle screen set up by hand in the bench's own context.
struct Screen {
    std::unique_ptr<DrizzleState> s;
    std::string label;
    bool exact = false;

    Screen(bool exactFiltering, int code, std::string name) : label(std::move(name)), exact(exactFiltering) {
        g_nSimResolutionEnum = code;
        // The hint is read once, as the screen is set up.
        somnel::support::setExactFiltering(exact);
        s = std::make_unique<DrizzleState>();
        std::memset(s.get(), 0, sizeof *s);
        drizzle_setup_state(s.get(), W, H);
        RippleDisplay(s.get());
        glFinish();
        somnel::support::setExactFiltering(false);
    }
    ~Screen() { drizzle_delete_gl_objects(s.get()); }
    // What draw_drizzle does between making the context current and the
    // swap.
    void frame() {
        drizzle_advance_time(s.get());
        RippleDisplay(s.get());
    }
    std::vector<double> cpu;  // processor ms a frame, one entry per timed block
    // Mean ms of n frames, glFinish'ed at both ends.
    double timed(int n) {
        glFinish();
        auto t0 = Clock::now();
        double c0 = cpuMs();
        for (int i = 0; i < n; i++) frame();
        glFinish();
        cpu.push_back((cpuMs() - c0) / n);
        return msSince(t0) / n;
    }
    void warm(int n) {
        for (int i = 0; i < n; i++) {
            frame();
            if (i % 20 == 19) glFinish();
        }
        glFinish();
    }
};

// Runs the rivals' blocks in turn, rounds times, and returns each one's
// block means.
std::vector<std::vector<double>> interleave(const std::vector<std::function<double()>> &blocks, int rounds) {
    std::vector<std::vector<double>> out(blocks.size());
    for (int r = 0; r < rounds; r++)
        for (size_t i = 0; i < blocks.size(); i++) out[i].push_back(blocks[i]());
    return out;
}

// ---------------------------------------------------------------- passes

std::map<std::string, std::vector<double>> *passTimes = nullptr;
std::vector<std::string> passOrder;
Clock::time_point passMark;

void onPass(const char *pass) {
    glFinish();
    auto now = Clock::now();
    if (passTimes) {
        (*passTimes)[pass].push_back(std::chrono::duration<double, std::milli>(now - passMark).count());
        if (std::find(passOrder.begin(), passOrder.end(), pass) == passOrder.end()) passOrder.push_back(pass);
    }
    passMark = now;
}

// Per-pass ms of n frames of one screen, glFinish after every pass.
std::map<std::string, std::vector<double>> passBreakdown(Screen &sc, int n) {
    std::map<std::string, std::vector<double>> times;
    passTimes = &times;
    drizzle_pass_hook = onPass;
    for (int i = 0; i < n; i++) {
        glFinish();
        passMark = Clock::now();
        drizzle_advance_time(sc.s.get());
        RippleDisplay(sc.s.get());
    }
    drizzle_pass_hook = nullptr;
    passTimes = nullptr;
    return times;
}

void printPasses(Screen &a, Screen &b, int frames) {
    // Interleave the two in blocks so that both see the same load.
    std::map<std::string, std::vector<double>> ta, tb;
    for (int done = 0; done < frames; done += kBlock) {
        for (auto &[k, v] : passBreakdown(a, kBlock)) ta[k].insert(ta[k].end(), v.begin(), v.end());
        for (auto &[k, v] : passBreakdown(b, kBlock)) tb[k].insert(tb[k].end(), v.begin(), v.end());
    }
    printf("  %-12s %12s %12s %8s\n", "pass", a.label.c_str(), b.label.c_str(), "ratio");
    double sa = 0, sb = 0;
    for (const std::string &p : passOrder) {
        double ma = median(ta[p]), mb = median(tb[p]);
        sa += ma;
        sb += mb;
        printf("  %-12s %9.2f ms %9.2f ms %8.2f\n", p.c_str(), ma, mb, ma > 0 ? mb / ma : 0.0);
    }
    printf("  %-12s %9.2f ms %9.2f ms %8.2f   (sum of per-pass medians)\n", "total", sa, sb, sa > 0 ? sb / sa : 0.0);
}

// ------------------------------------------------------------ the host

// The built Drizzle bundle and its principal view, driven by a simulated
// clock that steps to the saver's next frame, as `somnel render` does.
struct HostRun {
    std::shared_ptr<platform::Bundle> bundle;
    std::unique_ptr<platform::ScreenSaverView> view;
    double t = 0;

    bool open(std::string *error) {
        std::string path = std::string(SOMNEL_SAVER_DIR_PATH) + "/Drizzle.saver";
        bundle = platform::Bundle::open(path, error);
        if (!bundle) return false;
        auto create = reinterpret_cast<platform::ViewCreateFunction>(
            bundle->dataPointerForName(bundle->principalClass() + "_create"));
        if (!create) {
            *error = "no principal class entry in " + path;
            return false;
        }
        platform::ViewCreateArgs args;
        args.frame = platform::Rect::make(0, 0, W, H);
        args.isPreview = false;
        platform::runAtFrameBoundary([&] { view.reset(create(&args)); });
        if (!view) {
            *error = "the bundle made no view";
            return false;
        }
        t = platform::now();
        platform::setClockSource([this] { return t; });
        platform::runAtFrameBoundary([&] { view->startAnimation(); });
        return true;
    }
    void frame() {
        view->animateOneFrame();
        t = std::max(t + view->animationTimeInterval(), view->timeOfNextFrame());
    }
    // Mean ms of n host frames; the host leaves its context current after
    // a frame, so glFinish waits for its work.
    std::vector<double> cpu;
    double timed(int n) {
        frame();
        glFinish();
        auto t0 = Clock::now();
        double c0 = cpuMs();
        for (int i = 0; i < n; i++) frame();
        glFinish();
        cpu.push_back((cpuMs() - c0) / n);
        return msSince(t0) / n;
    }
    void close() {
        platform::runAtFrameBoundary([&] { view->stopAnimation(); });
        view.reset();
        platform::setClockSource(nullptr);
    }
};

void printRow(const char *what, double ms) { printf("  %-44s %8.2f ms  %6.1f fps\n", what, ms, 1000.0 / ms); }

}  // namespace

int main(int argc, char **argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    int warmup = 300, frames = 60;
    bool skipSimres = false;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--warmup" && i + 1 < argc) warmup = atoi(argv[++i]);
        else if (a == "--frames" && i + 1 < argc) frames = std::max(kBlock, atoi(argv[++i]));
        else if (a == "--skip-simres") skipSimres = true;
        else {
            fprintf(stderr, "usage: bench_drizzle_frame [--warmup N] [--frames N] [--skip-simres]\n");
            return 2;
        }
    }
    if (!qEnvironmentVariableIsSet("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
    std::string home = "/tmp/somnel-drizzlebench-" + std::to_string(getpid());
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    QGuiApplication app(argc, argv);
    ya_rand_init(7);

    platform::ScreenSaverView view(platform::Rect::make(0, 0, W, H), false);
    std::string error;
    auto ctx = platform::GLContext::create(platform::GLFormat{}, &view, &error);
    if (!ctx || !ctx->makeCurrent()) {
        fprintf(stderr, "bench_drizzle_frame: no GL context: %s\n", error.c_str());
        return 1;
    }
    const char *renderer = reinterpret_cast<const char *>(glGetString(GL_RENDERER));
    printf("%s\n%s; %dx%d; warm-up %d frames, %d measured, blocks of %d interleaved\n", ctx->describe().c_str(),
           renderer, W, H, warmup, frames, kBlock);
    const int rounds = frames / kBlock;

    // ---- per pass, early against steady, simres 1
    {
        Screen adapted(false, 1, "adapted"), exact(true, 1, "exact");
        printf("\nfiltering: adapted screen %s (anisotropy %.0f), exact screen anisotropy %.0f\n",
               adapted.s->bAdaptedFiltering ? "adapts" : "does not adapt", adapted.s->fAnisotropy,
               exact.s->fAnisotropy);
        auto early = interleave({[&] { return adapted.timed(kBlock); }, [&] { return exact.timed(kBlock); }}, 5);
        adapted.warm(std::max(0, warmup - 5 * kBlock));
        exact.warm(std::max(0, warmup - 5 * kBlock));
        auto steady = interleave({[&] { return adapted.timed(kBlock); }, [&] { return exact.timed(kBlock); }}, rounds);
        printf("\nsimres 1, early (frames 1-50) against steady (after %d), ms a frame:\n", warmup);
        printf("  %-10s %10s %10s %8s\n", "", "early", "steady", "ratio");
        for (int i = 0; i < 2; i++)
            printf("  %-10s %10.2f %10.2f %8.2f\n", i ? "exact" : "adapted", median(early[i]), median(steady[i]),
                   median(steady[i]) / median(early[i]));
        printf("  processor ms a frame at steady state (all threads): adapted %.2f, exact %.2f\n",
               median(std::vector<double>(adapted.cpu.end() - rounds, adapted.cpu.end())),
               median(std::vector<double>(exact.cpu.end() - rounds, exact.cpu.end())));
        printf("  exact / adapted at steady state: %.2f\n", median(steady[1]) / median(steady[0]));

        printf("\nsimres 1, steady state, per pass (glFinish after each; medians):\n");
        printPasses(adapted, exact, frames);
    }

    // ---- simulation resolutions
    if (!skipSimres) {
        printf("\nsteady state by simulation resolution (bare frames, glFinish'ed):\n");
        printf("  %-18s %10s %8s %10s %8s %8s   %s\n", "simres", "adapted", "fps", "exact", "fps", "ratio",
               "processor ms a frame, adapted / exact");
        for (int code = 0; code <= 3; code++) {
            Screen adapted(false, code, "adapted"), exact(true, code, "exact");
            adapted.warm(warmup);
            exact.warm(warmup);
            int r = code >= 3 ? std::max(2, rounds / 2) : rounds;
            auto m = interleave({[&] { return adapted.timed(kBlock); }, [&] { return exact.timed(kBlock); }}, r);
            double a = median(m[0]), e = median(m[1]);
            printf("  %d (%4d x %4d)     %7.2f ms %8.1f %7.2f ms %8.1f %8.2f   %7.2f / %7.2f\n", code, 256 << code,
                   256 << code, a, 1000 / a, e, 1000 / e, e / a, median(adapted.cpu), median(exact.cpu));
        }
    }

    // ---- the whole host against a bare loop, simres 1, adapted
    {
        g_nSimResolutionEnum = 1;
        Screen bare(false, 1, "bare");
        HostRun host;
        platform::GLContext::clearCurrent();
        if (!host.open(&error)) {
            fprintf(stderr, "bench_drizzle_frame: cannot run the bundle: %s\n", error.c_str());
            return 1;
        }
        for (int i = 0; i < warmup; i++) host.frame();
        if (eglGetCurrentContext() == EGL_NO_CONTEXT)
            printf("  (note: the host left no EGL context current; its glFinish waits on nothing)\n");
        glFinish();
        ctx->makeCurrent();
        bare.warm(warmup);
        auto m = interleave({[&] {
                                 ctx->makeCurrent();
                                 return bare.timed(kBlock);
                             },
                             [&] { return host.timed(kBlock); }},
                            rounds);
        double b = median(m[0]), h = median(m[1]);
        printf("\nthe whole host against a bare loop, simres 1, steady state:\n");
        printRow("bare loop (RippleDisplay in a context)", b);
        printRow("host (bundle, view, mode layer, swap)", h);
        printf("  host / bare: %.3f (the host adds %.1f %%)\n", h / b, (h / b - 1) * 100);
        double bc = median(std::vector<double>(bare.cpu.end() - rounds, bare.cpu.end())), hc = median(host.cpu);
        printf("  processor ms a frame: bare %.2f, host %.2f, host / bare %.3f\n", bc, hc, hc / bc);
        host.close();
        ctx->makeCurrent();
    }

    platform::GLContext::clearCurrent();
    std::string rm = "rm -rf '" + home + "'";
    return system(rm.c_str()) == 0 ? 0 : 0;
}
