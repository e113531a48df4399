// A long run in one process, to show that nothing grows: Drizzle drawn off
// screen for many frames at a small size, then one view started and stopped
// many times. Prints resident memory at intervals, its growth per 10,000
// frames and per 100 cycles after a warm-up, and the GL objects (and their
// texture bytes) that a stop and start leaves behind. Asserts nothing.
//   bench_soak [--frames N] [--cycles N] [--size WxH]
// NOTE: Qt headers first (see frame_cost.cpp).
#include <QCoreApplication>

#include "framework/somnel_gl_view.h"
#include "platform/bundle.h"
#include "platform/clock.h"
#include "platform/geometry.h"
#include "platform/gl.h"
#include <GL/gl.h>
#include <GL/glext.h>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double residentMiB() {
    long pages = 0, resident = 0;
    if (FILE *f = fopen("/proc/self/statm", "r")) {
        if (fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

// Least-squares slope of y over x: growth that a single noisy sample at
// either end cannot fake.
double slope(const std::vector<double> &x, const std::vector<double> &y) {
    const double n = double(x.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (size_t i = 0; i < x.size(); i++) {
        sx += x[i];
        sy += y[i];
        sxx += x[i] * x[i];
        sxy += x[i] * y[i];
    }
    const double d = n * sxx - sx * sx;
    return d > 0 ? (n * sxy - sx * sy) / d : 0;
}

// The GL objects alive in the current context, found by asking for every
// name up to a bound (names are small integers, reused once deleted), and
// the bytes of every level of every live texture.
struct GLCensus {
    int textures = 0, buffers = 0, framebuffers = 0, renderbuffers = 0, programs = 0, shaders = 0;
    double textureBytes = 0;
    int total() const { return textures + buffers + framebuffers + renderbuffers + programs + shaders; }
};

GLCensus census() {
    GLCensus c;
    while (glGetError() != GL_NO_ERROR) {
    }
    for (GLuint n = 1; n <= 4096; n++) {
        if (glIsTexture(n)) {
            c.textures++;
            for (GLint level = 0; level < 16; level++) {
                GLint w = 0, h = 0, d = 0, bits = 0;
                glGetTextureLevelParameteriv(n, level, GL_TEXTURE_WIDTH, &w);
                if (w <= 0) break;
                glGetTextureLevelParameteriv(n, level, GL_TEXTURE_HEIGHT, &h);
                glGetTextureLevelParameteriv(n, level, GL_TEXTURE_DEPTH, &d);
                for (GLenum size : {GL_TEXTURE_RED_SIZE, GL_TEXTURE_GREEN_SIZE, GL_TEXTURE_BLUE_SIZE,
                                    GL_TEXTURE_ALPHA_SIZE, GL_TEXTURE_DEPTH_SIZE, GL_TEXTURE_LUMINANCE_SIZE}) {
                    GLint b = 0;
                    glGetTextureLevelParameteriv(n, level, size, &b);
                    bits += b;
                }
                c.textureBytes += double(w) * std::max(h, 1) * std::max(d, 1) * bits / 8.0;
            }
        }
        c.buffers += glIsBuffer(n);
        c.framebuffers += glIsFramebuffer(n);
        c.renderbuffers += glIsRenderbuffer(n);
        c.programs += glIsProgram(n);
        c.shaders += glIsShader(n);
    }
    while (glGetError() != GL_NO_ERROR) {
    }
    return c;
}

void printCensus(const char *when, const GLCensus &c) {
    printf("  GL objects %s: %d (textures %d, buffers %d, framebuffers %d, renderbuffers %d, programs %d, "
           "shaders %d), texture memory %.1f KiB\n",
           when, c.total(), c.textures, c.buffers, c.framebuffers, c.renderbuffers, c.programs, c.shaders,
           c.textureBytes / 1024.0);
}

}  // namespace

int main(int argc, char **argv) {
    long frames = 100000, cycles = 1000;
    int width = 64, height = 64;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!strcmp(argv[i], "--frames")) frames = atol(argv[i + 1]);
        else if (!strcmp(argv[i], "--cycles")) cycles = atol(argv[i + 1]);
        else if (!strcmp(argv[i], "--size")) sscanf(argv[i + 1], "%dx%d", &width, &height);
    }
    if (!getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const std::string home = "/tmp/somnel-soak-" + std::to_string(getpid());
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    QCoreApplication app(argc, argv);

    const std::string bundlePath = home + "/Drizzle.saver";
    mkdir(home.c_str(), 0755);
    mkdir(bundlePath.c_str(), 0755);
    mkdir((bundlePath + "/Resources").c_str(), 0755);
    auto bundle = platform::Bundle::forHandle(bundlePath, dlopen(nullptr, RTLD_NOW));

    // Every tick draws: the clock steps to the next frame the hack asked for.
    double t = 1e6;
    platform::setClockSource([&t] { return t; });
    auto view = SomnelGLView::create(platform::Rect::make(0, 0, width, height), nullptr, false, bundle);
    if (!view) return 1;
    auto frame = [&] {
        t = std::max(t + view->animationTimeInterval(), view->timeOfNextFrame());
        view->animateOneFrame();
    };
    const auto start = std::chrono::steady_clock::now();
    auto seconds = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };

    printf("Drizzle, %ld frames off screen at %dx%d\n", frames, width, height);
    view->startAnimation();
    const long step = 10000;
    std::vector<double> at, rss;
    for (long i = 1; i <= frames; i++) {
        frame();
        if (i % step == 0 || i == frames) {
            const double r = residentMiB();
            printf("  frame %7ld  resident %8.1f MiB  %7.1f s\n", i, r, seconds());
            fflush(stdout);
            if (i > step) {  // the first interval is warm-up
                at.push_back(double(i));
                rss.push_back(r);
            }
        }
    }
    if (at.size() >= 2)
        printf("  growth after the first %ld frames: %+.3f MiB per 10,000 frames (least squares)\n", step,
               slope(at, rss) * double(step));
    view->stopAnimation();

    // Start and stop one view, three frames a run.
    printf("one view, %ld start/stop cycles of 3 frames each\n", cycles);
    GLCensus first;
    std::vector<double> cat, crss;
    const long cstep = 100;
    for (long c = 1; c <= cycles; c++) {
        view->startAnimation();
        for (int k = 0; k < 3; k++) frame();
        view->stopAnimation();
        if (c == 1 && view->oglContext() && view->oglContext()->makeCurrent()) {
            first = census();
            printCensus("after the first stop", first);
            platform::GLContext::clearCurrent();
        }
        if (c % cstep == 0 || c == cycles) {
            const double r = residentMiB();
            printf("  cycle %5ld  resident %8.1f MiB  %7.1f s\n", c, r, seconds());
            fflush(stdout);
            if (c > cstep) {
                cat.push_back(double(c));
                crss.push_back(r);
            }
        }
    }
    if (cat.size() >= 2)
        printf("  growth after the first %ld cycles: %+.3f MiB per 100 cycles (least squares)\n", cstep,
               slope(cat, crss) * double(cstep));
    if (view->oglContext() && view->oglContext()->makeCurrent()) {
        GLCensus last = census();
        printCensus("after the last stop", last);
        if (cycles > 1)
            printf("  left behind per restart: %.3f GL objects, %.3f KiB of textures\n",
                   double(last.total() - first.total()) / double(cycles - 1),
                   (last.textureBytes - first.textureBytes) / 1024.0 / double(cycles - 1));
        platform::GLContext::clearCurrent();
    }
    view->dealloc();
    view.reset();
    std::string rm = "rm -rf '" + home + "'";
    return system(rm.c_str()) == 0 ? 0 : 0;
}
