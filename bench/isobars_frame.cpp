// Isobars' frame at 1280x720 through the emulation, where its time goes,
// and the same frame drawn in a bare QPainter loop. The saver's source is
// compiled in with its drawing calls wrapped (isobars_frame/recorded.c).
// After a minute of weather (steady state) one frame is recorded; whole
// emulated frames and bare replays of the recorded frame (straight onto
// QImages, one painter held, as a program drawing for itself would) then
// alternate in rounds, so that both see the same load, first plain, then
// with each kind of call timed. Frames come on a simulated clock, each
// when the previous one asked. Prints medians; asserts nothing.
//
//   bench_isobars_frame [--frames N] [--size WxH]
// NOTE: Qt's headers first: the Xlib names the emulation defines (None,
// True) would otherwise clash with Qt's.
#define Display qt_x11_Display
#include <QGuiApplication>
#undef Display
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPolygon>

#include "framework/somnel_view.h"
#include "platform/bundle.h"
#include "platform/clock.h"
#include "platform/geometry.h"
#include "xshim/xshim_font_private.h"

#include "bench/isobars_frame/calls.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <numeric>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char *const kKindNames[BENCH_KINDS] = {"rectangles", "polygons", "segments", "strings", "arcs",
                                             "copy to window"};

// One recorded call, with the GC state it drew with.
struct Op {
    int kind;
    QRgb color;
    int lineWidth;
    QFont font;
    std::vector<QPoint> points;  // polygon points; rectangle corners; segment ends
    std::vector<QRect> rects;
    QString text;
};

// The wrappers' state: a GC's settings as the saver left them (it uses one
// GC), what each kind of call cost, and the frame being recorded.
struct {
    unsigned long foreground = 0;
    int lineWidth = 0;
    Font font = nullptr;
    bool timing = false, recording = false;
    double seconds[BENCH_KINDS] = {};
    long calls[BENCH_KINDS] = {};
    std::vector<Op> ops;
} bench;

struct Timed {
    int kind;
    Clock::time_point t0;
    explicit Timed(int k) : kind(k), t0(bench.timing ? Clock::now() : Clock::time_point()) {}
    ~Timed() {
        if (!bench.timing) return;
        bench.seconds[kind] += std::chrono::duration<double>(Clock::now() - t0).count();
        bench.calls[kind]++;
    }
};

Op &record(int kind) {
    Op op;
    op.kind = kind;
    op.color = QRgb(bench.foreground) | 0xFF000000u;
    op.lineWidth = bench.lineWidth;
    if (bench.font) op.font = bench.font->nsfont->font();
    bench.ops.push_back(std::move(op));
    return bench.ops.back();
}

double fakeNow = 1000.0;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

extern "C" {

int bench_XSetForeground(Display *d, GC gc, unsigned long pixel) {
    bench.foreground = pixel;
    return XSetForeground(d, gc, pixel);
}

int bench_XSetLineAttributes(Display *d, GC gc, unsigned width, int style, int cap, int join) {
    bench.lineWidth = int(width);
    return XSetLineAttributes(d, gc, width, style, cap, join);
}

int bench_XSetFont(Display *d, GC gc, Font font) {
    bench.font = font;
    return XSetFont(d, gc, font);
}

int bench_XFillRectangle(Display *d, Drawable w, GC gc, int x, int y, unsigned width, unsigned height) {
    if (bench.recording) record(BENCH_RECTANGLES).rects.push_back(QRect(x, y, int(width), int(height)));
    Timed t(BENCH_RECTANGLES);
    return XFillRectangle(d, w, gc, x, y, width, height);
}

int bench_XFillRectangles(Display *d, Drawable w, GC gc, XRectangle *rects, int n) {
    if (bench.recording) {
        Op &op = record(BENCH_RECTANGLES);
        for (int i = 0; i < n; i++) op.rects.push_back(QRect(rects[i].x, rects[i].y, rects[i].width, rects[i].height));
    }
    Timed t(BENCH_RECTANGLES);
    return XFillRectangles(d, w, gc, rects, n);
}

int bench_XFillPolygon(Display *d, Drawable w, GC gc, XPoint *pts, int n, int shape, int mode) {
    if (bench.recording) {
        Op &op = record(BENCH_POLYGON);
        for (int i = 0; i < n; i++) op.points.push_back(QPoint(pts[i].x, pts[i].y));
    }
    Timed t(BENCH_POLYGON);
    return XFillPolygon(d, w, gc, pts, n, shape, mode);
}

int bench_XDrawSegments(Display *d, Drawable w, GC gc, XSegment *segs, int n) {
    if (bench.recording) {
        Op &op = record(BENCH_SEGMENTS);
        for (int i = 0; i < n; i++) {
            op.points.push_back(QPoint(segs[i].x1, segs[i].y1));
            op.points.push_back(QPoint(segs[i].x2, segs[i].y2));
        }
    }
    Timed t(BENCH_SEGMENTS);
    return XDrawSegments(d, w, gc, segs, n);
}

int bench_XDrawString(Display *d, Drawable w, GC gc, int x, int y, const char *s, int n) {
    if (bench.recording) {
        Op &op = record(BENCH_STRING);
        op.points.push_back(QPoint(x, y));
        op.text = QString::fromLatin1(s, n);
    }
    Timed t(BENCH_STRING);
    return XDrawString(d, w, gc, x, y, s, n);
}

int bench_XFillArc(Display *d, Drawable w, GC gc, int x, int y, unsigned width, unsigned height, int a1, int a2) {
    if (bench.recording) record(BENCH_ARC).rects.push_back(QRect(x, y, int(width), int(height)));
    Timed t(BENCH_ARC);
    return XFillArc(d, w, gc, x, y, width, height, a1, a2);
}

int bench_XCopyArea(Display *d, Drawable from, Drawable to, GC gc, int sx, int sy, unsigned width, unsigned height,
                    int dx, int dy) {
    if (bench.recording) record(BENCH_COPY);
    Timed t(BENCH_COPY);
    return XCopyArea(d, from, to, gc, sx, sy, width, height, dx, dy);
}

}  // extern "C"

namespace {

// The recorded frame straight onto two images, one painter each, held for
// the frame: the buffer, then the window it is copied to. Returns the
// seconds each kind took.
std::vector<double> replay(const std::vector<Op> &ops, QImage &buffer, QImage &window) {
    std::vector<double> seconds(BENCH_KINDS, 0.0);
    QPainter p(&buffer);
    p.setRenderHint(QPainter::Antialiasing, true);
    for (const Op &op : ops) {
        auto t0 = Clock::now();
        const QColor c = QColor::fromRgb(op.color);
        switch (op.kind) {
        case BENCH_RECTANGLES:
            for (const QRect &r : op.rects) p.fillRect(r, c);
            break;
        case BENCH_POLYGON:
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            p.drawPolygon(op.points.data(), int(op.points.size()));
            break;
        case BENCH_SEGMENTS:
            p.setPen(QPen(c, op.lineWidth ? op.lineWidth : 1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            for (size_t i = 0; i + 1 < op.points.size(); i += 2) p.drawLine(op.points[i], op.points[i + 1]);
            break;
        case BENCH_STRING:
            p.setPen(c);
            p.setFont(op.font);
            p.drawText(op.points[0], op.text);
            break;
        case BENCH_ARC:
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            p.drawEllipse(op.rects[0]);
            break;
        case BENCH_COPY: {
            QPainter w(&window);
            w.drawImage(0, 0, buffer);
            break;
        }
        }
        seconds[size_t(op.kind)] += std::chrono::duration<double>(Clock::now() - t0).count();
    }
    return seconds;
}

// Pixels of a and b further apart than a little in any channel.
long differing(const QImage &a, const QImage &b) {
    long n = 0;
    for (int y = 0; y < std::min(a.height(), b.height()); y++)
        for (int x = 0; x < std::min(a.width(), b.width()); x++) {
            QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            n += std::abs(qRed(p) - qRed(q)) > 8 || std::abs(qGreen(p) - qGreen(q)) > 8 ||
                 std::abs(qBlue(p) - qBlue(q)) > 8;
        }
    return n;
}

}  // namespace

int main(int argc, char **argv) {
    int frames = 150, width = 1280, height = 720;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--frames") && i + 1 < argc) frames = std::max(10, atoi(argv[++i]));
        else if (!strcmp(argv[i], "--size") && i + 1 < argc && sscanf(argv[i + 1], "%dx%d", &width, &height) == 2) ++i;
        else {
            fprintf(stderr, "usage: bench_isobars_frame [--frames N] [--size WxH]\n");
            return 2;
        }
    }
    if (!getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // The bench's preferences (none: the defaults) out of the user's.
    const std::string home = "/tmp/somnel-bench-" + std::to_string(getpid());
    setenv("XDG_CONFIG_HOME", home.c_str(), 1);
    QGuiApplication app(argc, argv);

    const std::string bundlePath = home + "/IsobarsBench.saver";
    mkdir(home.c_str(), 0755);
    mkdir(bundlePath.c_str(), 0755);
    mkdir((bundlePath + "/Resources").c_str(), 0755);
    auto bundle = platform::Bundle::forHandle(bundlePath, dlopen(nullptr, RTLD_NOW));
    platform::setClockSource([] { return fakeNow; });
    SomnelView::setRandomSeed(1);

    auto view = SomnelView::create(platform::Rect::make(0, 0, width, height), nullptr, false, bundle);
    if (!view) return 1;
    view->startAnimation();
    auto frame = [&] {
        view->animateOneFrame();
        fakeNow = view->timeOfNextFrame();
    };
    // A minute of weather (at the default 30 frames a second): steady state.
    for (int i = 0; i < 1800; i++) frame();

    bench.recording = true;
    frame();
    bench.recording = false;
    const QImage shown = view->grabFrame();

    // Emulated frames and bare replays of the recorded one, interleaved in
    // rounds so that both see the same load; then the same with each kind
    // of call timed.
    QImage buffer(width, height, QImage::Format_RGB32), window(width, height, QImage::Format_RGB32);
    const int rounds = 5, perRound = std::max(2, frames / rounds);
    std::vector<double> whole, bare, timedWhole;
    std::vector<double> bareKinds(BENCH_KINDS, 0.0);
    auto bareFrame = [&](std::vector<double> *kinds) {
        buffer.fill(Qt::black);
        auto t0 = Clock::now();
        std::vector<double> k = replay(bench.ops, buffer, window);
        bare.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        if (kinds)
            for (int i = 0; i < BENCH_KINDS; i++) (*kinds)[size_t(i)] += k[size_t(i)];
    };
    auto timedFrame = [&](std::vector<double> &into) {
        auto t0 = Clock::now();
        frame();
        into.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    };
    for (int r = 0; r < rounds; r++) {
        for (int i = 0; i < perRound; i++) timedFrame(whole);
        for (int i = 0; i < perRound; i++) bareFrame(nullptr);
    }
    const double frameMs = median(whole), bareMs = median(bare);
    bench.timing = true;
    for (int r = 0; r < rounds; r++) {
        for (int i = 0; i < perRound; i++) timedFrame(timedWhole);
        bench.timing = false;
        for (int i = 0; i < perRound; i++) bareFrame(&bareKinds);
        bench.timing = true;
    }
    bench.timing = false;
    frames = rounds * perRound;

    long calls = 0;
    for (long c : bench.calls) calls += c;
    printf("Isobars, %dx%d, default options, seed 1; after a minute of weather, %d frames each way in %d\n"
           "interleaved rounds; medians\n\n",
           width, height, frames, rounds);
    printf("  frame through the emulation   %7.2f ms   (%.0f%% of the 33.3 ms interval)\n", frameMs,
           frameMs / 33.333 * 100);
    printf("  the same frame, bare QPainter %7.2f ms   emulation / bare %.2f\n", bareMs, frameMs / bareMs);
    printf("  pixels where the two differ:  %ld of %d (in the text: the bare loop lays its strings out with the toolkit's text engine)\n\n",
           differing(shown, window), width * height);

    const double timedMs = std::accumulate(timedWhole.begin(), timedWhole.end(), 0.0) / frames;
    printf("  where the time goes (means per frame, %ld calls a frame, each timed):\n", calls / frames);
    double emulated = 0;
    for (int k = 0; k < BENCH_KINDS; k++) {
        const double ms = bench.seconds[k] * 1000 / frames;
        const double bareK = bareKinds[size_t(k)] * 1000 / frames;
        emulated += ms;
        printf("    %-16s %7.2f ms  %5.1f%%   %5ld calls   bare %6.2f ms   emulation / bare %6.2f\n", kKindNames[k],
               ms, ms / timedMs * 100, bench.calls[k] / frames, bareK, bareK > 0 ? ms / bareK : 0.0);
    }
    printf("    %-16s %7.2f ms  %5.1f%%   (the field, the bands' outlines, colours, the view)\n", "the rest",
           timedMs - emulated, (timedMs - emulated) / timedMs * 100);

    view->stopAnimation();
    view->dealloc();
    platform::setClockSource({});
    const std::string rm = "rm -rf '" + home + "'";
    return system(rm.c_str()) == 0 ? 0 : 0;
}
