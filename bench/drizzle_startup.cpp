// From process start to the first Drizzle frame written as a PNG at
// 1280 x 720: the whole `somnel render Drizzle --frames 1` as a user runs
// it (median of several runs), and a breakdown by a child copy of this
// program that does the same work step by step: process start (exec and
// dynamic linking), Qt, EGL (and the driver), set-up (textures, shader
// compilation), the first frame, read-back, PNG encoding and exit. The
// child runs the same Drizzle sources the bundle is built from; the host's
// own share (bundle, view, preferences, mode layer) is the whole minus the
// child's sum. Also prints what PNG compression levels cost on a steady
// frame. Prints; asserts nothing.
//
//   bench_drizzle_startup [--runs N] [--baseline BIN_DIR]
#include <QApplication>
#include <QBuffer>
#include <QImage>

#include "platform/bundle.h"
#include "platform/clock.h"
#include "platform/geometry.h"
#include "platform/gl.h"
#include "platform/log.h"
#include "platform/view.h"

#include "savers/drizzle/drizzle.h"
#include "support/hints.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#ifndef SOMNEL_BIN_DIR
#define SOMNEL_BIN_DIR "bin"
#endif

namespace {

const int W = 1280, H = 720;
using Clock = std::chrono::steady_clock;

long long nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// ------------------------------------------------------------- the child

FILE *report = nullptr;
long long lastMark = 0;

void mark(const char *what) {
    long long t = nowNs();
    fprintf(report, "%s %.3f\n", what, (t - lastMark) / 1e6);
    lastMark = t;
}

void onStage(const char *stage) {
    if (!strcmp(stage, "textures") || !strcmp(stage, "framebuffers")) {
        glFinish();
        mark("textures and framebuffers");
    } else if (!strcmp(stage, "programs")) {
        glFinish();
        mark("shader compilation and linking");
    } else if (!strcmp(stage, "state")) {
        mark("camera and state");
    } else if (getenv("SOMNEL_BENCH_FIRST_FRAME_PASSES")) {
        glFinish();
        mark((std::string("  first frame: ") + stage).c_str());
    }
}

// Does what `somnel render` does for one frame, marking each step. The
// parent passes the time it started the process.
int child(int argc, char **argv, long long spawned, const char *out, int quality) {
    report = fdopen(3, "w");
    if (!report) return 1;
    lastMark = spawned;
    mark("process start (exec, dynamic linking)");
    if (!getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    auto *app = new QApplication(argc, argv);
    mark("Qt application");
    platform::ScreenSaverView view(platform::Rect::make(0, 0, W, H), false);
    std::string error;
    auto ctx = platform::GLContext::create(platform::GLFormat{}, &view, &error);
    if (!ctx || !ctx->makeCurrent()) return 1;
    glGetString(GL_RENDERER);
    mark("EGL context and driver");
    g_nSimResolutionEnum = 1;
    // The old settings: exact filtering (glGenerateMipmap, anisotropy).
    somnel::support::setExactFiltering(quality < 0);
    auto s = std::make_unique<DrizzleState>();
    std::memset(s.get(), 0, sizeof *s);
    drizzle_pass_hook = onStage;
    drizzle_setup_state(s.get(), W, H);
    if (!getenv("SOMNEL_BENCH_FIRST_FRAME_PASSES")) drizzle_pass_hook = nullptr;
    RippleDisplay(s.get());
    drizzle_pass_hook = nullptr;
    glFinish();
    mark("first frame (incl. shader code generation)");
    QImage image(W, H, QImage::Format_RGBA8888);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, W, H, GL_RGBA, GL_UNSIGNED_BYTE, image.bits());
    image = image.mirrored();
    mark("read-back");
    if (!image.save(QString::fromUtf8(out), "PNG", quality)) return 1;
    mark("PNG encoding and writing");
    drizzle_delete_gl_objects(s.get());
    platform::GLContext::clearCurrent();
    ctx.reset();
    fflush(report);
    // As the host did before (the application torn down) and does now.
    if (quality < 0) delete app;
    fflush(stdout);
    exit(0);
}

// ------------------------------------------------------------ the parent

// Wall ms of a shell command.
double commandMs(const std::string &cmd) {
    auto t0 = Clock::now();
    if (system(cmd.c_str()) != 0) return -1;
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Runs the child once; its marks, and the time from its last mark to its end.
bool runChild(const char *self, const std::string &out, int quality,
              std::vector<std::pair<std::string, double>> *marks) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    long long spawned = nowNs();
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        if (fds[1] != 3) {
            dup2(fds[1], 3);
            close(fds[1]);
        }
        std::string t = std::to_string(spawned), c = std::to_string(quality);
        execl(self, self, "--child", t.c_str(), out.c_str(), c.c_str(), (char *)nullptr);
        _exit(127);
    }
    close(fds[1]);
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) text.append(buf, size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    long long ended = nowNs();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
    marks->clear();
    double sum = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl - pos);
        pos = nl == std::string::npos ? text.size() : nl + 1;
        size_t sp = line.rfind(' ');
        if (sp == std::string::npos) continue;
        double ms = atof(line.c_str() + sp + 1);
        marks->push_back({line.substr(0, sp), ms});
        sum += ms;
    }
    marks->push_back({"teardown and exit", (ended - spawned) / 1e6 - sum});
    return true;
}

// Encoding ms and bytes of an image at a PNG quality (-1: Qt's default).
std::pair<double, qint64> encodePng(const QImage &image, int quality) {
    std::vector<double> ms;
    qint64 size = 0;
    for (int i = 0; i < 5; i++) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        auto t0 = Clock::now();
        image.save(&buffer, "PNG", quality);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        size = buffer.size();
    }
    return {median(ms), size};
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 5 && !strcmp(argv[1], "--child")) return child(1, argv, atoll(argv[2]), argv[3], atoi(argv[4]));
    setvbuf(stdout, nullptr, _IOLBF, 0);
    int runs = 9;
    std::string baseline;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--runs") && i + 1 < argc) runs = std::max(1, atoi(argv[++i]));
        else if (!strcmp(argv[i], "--baseline") && i + 1 < argc) baseline = argv[++i];
        else {
            fprintf(stderr, "usage: bench_drizzle_startup [--runs N] [--baseline BIN_DIR]\n"
                            "  --baseline: also time the somnel of another build (its bin folder)\n");
            return 2;
        }
    }
    std::string home = "/tmp/somnel-startbench-" + std::to_string(getpid());
    if (system(("mkdir -p '" + home + "'").c_str()) != 0) return 1;
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    const std::string out = home + "/frame.png";
    const std::string somnel = std::string(SOMNEL_BIN_DIR) + "/somnel";
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return 1;
    self[n] = 0;

    // Interleaved: the whole host, the child at Qt's default compression,
    // the child at level 1, in turn, so that load falls on all alike.
    std::vector<double> whole, helpRuns, before;
    std::map<std::string, std::vector<double>> steps[2];
    std::vector<std::string> order;
    const std::string quiet = " >/dev/null 2>&1";
    commandMs(somnel + " render Drizzle --frames 1 --size 1280x720 --out '" + out + "'" + quiet);  // warm caches
    for (int r = 0; r < runs; r++) {
        whole.push_back(commandMs(somnel + " render Drizzle --frames 1 --size 1280x720 --out '" + out + "'" + quiet));
        helpRuns.push_back(commandMs(somnel + " --help" + quiet));
        if (!baseline.empty())
            before.push_back(commandMs(baseline + "/somnel render Drizzle --frames 1 --size 1280x720 --out '" + out +
                                       "'" + quiet));
        for (int k = 0; k < 2; k++) {
            std::vector<std::pair<std::string, double>> marks;
            if (!runChild(self, out, k == 0 ? -1 : 80, &marks)) {
                fprintf(stderr, "bench_drizzle_startup: the child failed\n");
                return 1;
            }
            for (auto &[what, ms] : marks) {
                steps[k][what].push_back(ms);
                if (std::find(order.begin(), order.end(), what) == order.end()) order.push_back(what);
            }
        }
    }
    printf("start to first frame at 1280x720, medians of %d runs (interleaved)\n\n", runs);
    printf("  somnel render Drizzle --frames 1 --size 1280x720 --out F.png  %8.1f ms\n", median(whole));
    if (!baseline.empty())
        printf("  the same with the baseline build's somnel                    %8.1f ms   (this / baseline %.2f)\n",
               median(before), median(whole) / median(before));
    printf("  somnel --help (exec, dynamic linking, no Qt application)     %8.1f ms\n\n", median(helpRuns));
    printf("  the same work step by step:              %12s %12s\n", "as before", "as now");
    printf("  (before: exact filtering with glGenerateMipmap, PNG at Qt's default level, application\n"
           "   torn down; now: adapted filtering and mipmap pass, PNG at zlib level 1, no teardown)\n");
    double sum[2] = {0, 0};
    for (const std::string &what : order) {
        double a = median(steps[0][what]), b = median(steps[1][what]);
        sum[0] += a;
        sum[1] += b;
        printf("  %-40s %9.1f ms %9.1f ms\n", what.c_str(), a, b);
    }
    printf("  %-40s %9.1f ms %9.1f ms\n", "sum of medians", sum[0], sum[1]);
    printf("  the host's own share (whole - child as now): about %.1f ms\n\n", median(whole) - sum[1]);

    // PNG levels on a picture with ripples: the first frame is flat and
    // compresses far better than a running one.
    QImage steady(QString::fromStdString(out));
    commandMs(somnel + " render Drizzle --frames 300 --seed 3 --size 1280x720 --out '" + out + "'" + quiet);
    steady = QImage(QString::fromStdString(out));
    printf("PNG encoding of a 1280x720 frame after 300 frames (median of 5):\n");
    auto def = encodePng(steady, -1);
    // Qt's PNG quality q picks zlib level (100 - q) * 9 / 91: 80 is level 1.
    for (int q : {-1, 100, 80, 50, 0}) {
        auto [ms, size] = q == -1 ? def : encodePng(steady, q);
        printf("  quality %-8s %8.1f ms %9lld bytes   time ratio to default %.2f\n",
               q < 0 ? "default" : std::to_string(q).c_str(), ms, (long long)size, ms / def.first);
    }
    std::string rm = "rm -rf '" + home + "'";
    return system(rm.c_str()) == 0 ? 0 : 0;
}
