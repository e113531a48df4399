// Operations per second through the X11 emulation, for five everyday
// operations (a 10x10 fill, a 100-pixel line, a 20-character string, a
// 64x64 XCopyArea, a 64x64 XPutImage) on a 32-bit pixmap, against:
//   - the same work done directly with QPainter on a QImage of the same
//     format, a painter begun for each operation as the emulation does,
//     and one painter kept open for the whole block;
//   - libX11 on the X server of $DISPLAY (under xvfb-run, Xvfb), each block
//     ended with XSync.
// The rivals run interleaved in blocks, several rounds; figures are medians.
// Prints; asserts nothing.
//
//   xvfb-run -a bench_xshim_ops [--ops N] [--rounds N] [--profile OP]
// NOTE: Qt's application header declares the real Xlib's Display, which
// the emulation's headers name too: keep Qt's out of the way.
#define Display qt_x11_Display
#include <QGuiApplication>
#undef Display
#include <QFont>
#include <QImage>
#include <QPainter>

#include "xshim/xshim_font_private.h"
#include "xshim/xshim_private.h"

#include "bench/xshim_ops/real_x.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int W = 640, H = 480;
const char kText[] = "Drizzle 60.0 FPS abc";  // 20 characters
const char *const kOps[] = {"10x10 fill", "100-px line", "20-char string", "64x64 XCopyArea", "64x64 XPutImage"};

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F>
double timeMs(F &&f) {
    auto t0 = Clock::now();
    f();
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

int xAt(int i) { return (i * 37) % (W - 128); }
int yAt(int i) { return (i * 53) % (H - 128) + 16; }
unsigned long pixelAt(int i) { return 0xFF000000ul | (unsigned long)(unsigned(i) * 0x010203u & 0xFFFFFFu); }

// ------------------------------------------------------------ emulation

struct Emulation {
    Pixmap canvas = nullptr, source = nullptr;
    GC gc = nullptr;
    XImage *image = nullptr;
    XFontStruct *font = nullptr;
    std::vector<uint32_t> pixels = std::vector<uint32_t>(64 * 64);

    Emulation() {
        canvas = XCreatePixmap(nullptr, nullptr, W, H, 32);
        source = XCreatePixmap(nullptr, nullptr, 64, 64, 32);
        gc = XCreateGC(nullptr, canvas, 0, nullptr);
        font = XLoadQueryFont(nullptr, "fixed");
        XSetFont(nullptr, gc, font->fid);
        XSetForeground(nullptr, gc, 0xFF336699);
        XFillRectangle(nullptr, source, gc, 0, 0, 64, 64);
        for (int i = 0; i < 64 * 64; i++) pixels[size_t(i)] = 0xFF000000u | (unsigned(i) * 2654435761u >> 8);
        image = XCreateImage(nullptr, nullptr, 32, ZPixmap, 0, reinterpret_cast<char *>(pixels.data()), 64, 64, 32,
                             0);
    }
    ~Emulation() {
        image->data = nullptr;  // the vector owns the pixels
        XDestroyImage(image);
        XFreeFont(nullptr, font);
        XFreeGC(nullptr, gc);
        XFreePixmap(nullptr, canvas);
        XFreePixmap(nullptr, source);
    }
    double run(int op, int n) {
        return timeMs([&] {
            for (int i = 0; i < n; i++) {
                int x = xAt(i), y = yAt(i);
                XSetForeground(nullptr, gc, pixelAt(i));
                switch (op) {
                case 0: XFillRectangle(nullptr, canvas, gc, x, y, 10, 10); break;
                case 1: XDrawLine(nullptr, canvas, gc, x, y, x + 99, y + 20); break;
                case 2: XDrawString(nullptr, canvas, gc, x, y, kText, 20); break;
                case 3: XCopyArea(nullptr, source, canvas, gc, 0, 0, 64, 64, x, y); break;
                case 4: XPutImage(nullptr, canvas, gc, image, 0, 0, x, y, 64, 64); break;
                }
            }
        });
    }
};

// -------------------------------------------------------------- QPainter

// The same drawing straight on a QImage: solid colours, a one-pixel line,
// the emulation's own face for the text, image blits.
struct Direct {
    QImage canvas = QImage(W, H, QImage::Format_RGB32);
    QImage source = QImage(64, 64, QImage::Format_RGB32);
    QImage image;
    QFont font;
    std::vector<uint32_t> pixels = std::vector<uint32_t>(64 * 64);

    explicit Direct(const QFont &f) : font(f) {
        canvas.fill(Qt::black);
        source.fill(QColor(0x33, 0x66, 0x99));
        for (int i = 0; i < 64 * 64; i++) pixels[size_t(i)] = 0xFF000000u | (unsigned(i) * 2654435761u >> 8);
    }
    void one(QPainter &p, int op, int i) {
        int x = xAt(i), y = yAt(i);
        QColor c = QColor::fromRgb(QRgb(pixelAt(i)));
        switch (op) {
        case 0: p.fillRect(QRect(x, y, 10, 10), c); break;
        case 1:
            // As a fresh GC draws it: one pixel wide, flat caps,
            // antialiased, through pixel corners.
            p.setPen(QPen(c, 1.0, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
            p.drawLine(QLineF(x, y, x + 99, y + 20));
            break;
        case 2:
            p.setPen(c);
            p.drawText(x, y, QString::fromLatin1(kText, 20));
            break;
        case 3: p.drawImage(QPoint(x, y), source, QRect(0, 0, 64, 64)); break;
        case 4: {
            // As XPutImage: the caller's pixels, wrapped without a copy.
            QImage wrapped(reinterpret_cast<const uchar *>(pixels.data()), 64, 64, 64 * 4, QImage::Format_RGB32);
            p.drawImage(QPoint(x, y), wrapped);
            break;
        }
        }
    }
    void setUp(QPainter &p) {
        p.setRenderHint(QPainter::Antialiasing, true);
        p.setFont(font);
        p.setCompositionMode(QPainter::CompositionMode_Source);
    }
    double perOp(int op, int n) {
        return timeMs([&] {
            for (int i = 0; i < n; i++) {
                QPainter p(&canvas);
                setUp(p);
                one(p, op, i);
            }
        });
    }
    double held(int op, int n) {
        return timeMs([&] {
            QPainter p(&canvas);
            setUp(p);
            for (int i = 0; i < n; i++) one(p, op, i);
        });
    }
};

}  // namespace

int main(int argc, char **argv) {
    int n = 2000, rounds = 7, only = -1;
    for (int i = 1; i < argc; i++) {
        if (!strcmp(argv[i], "--ops") && i + 1 < argc) n = std::max(10, atoi(argv[++i]));
        else if (!strcmp(argv[i], "--rounds") && i + 1 < argc) rounds = std::max(1, atoi(argv[++i]));
        else if (!strcmp(argv[i], "--profile") && i + 1 < argc) only = atoi(argv[++i]);
        else {
            fprintf(stderr, "usage: bench_xshim_ops [--ops N] [--rounds N] [--profile OP]\n"
                            "  --profile OP: only the emulation's operation OP (0-4), for a profiler\n");
            return 2;
        }
    }
    const bool haveX = getenv("DISPLAY") != nullptr;
    if (!haveX) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QGuiApplication app(argc, argv);

    Emulation emu;
    if (only >= 0 && only < 5) {
        double ms = 0;
        for (int r = 0; r < rounds; r++) ms += emu.run(only, n);
        printf("%s through the emulation: %.0f ops/s\n", kOps[only], n * rounds / ms * 1000.0);
        return 0;
    }
    Direct direct(emu.font ? reinterpret_cast<xshim_font *>(emu.font->fid)->nsfont->font() : QFont());
    const bool realX = haveX && realx_open(W, H);
    if (!realX) printf("(no X server on $DISPLAY: run under xvfb-run for the libX11 column)\n");

    // Both sides must draw the same thing for their times to compare:
    // after a few operations of each kind on cleared canvases, count the
    // pixels where the two pictures differ by more than a little.
    printf("pixels that differ after 50 operations of each kind (of those either side painted):\n ");
    for (int op = 0; op < 5; op++) {
        XSetForeground(nullptr, emu.gc, 0xFF000000);
        XFillRectangle(nullptr, emu.canvas, emu.gc, 0, 0, W, H);
        direct.canvas.fill(Qt::black);
        emu.run(op, 50);
        direct.held(op, 50);
        const QImage &a = emu.canvas->context->image();
        int differ = 0, painted = 0;
        for (int y = 0; y < H; y++)
            for (int x = 0; x < W; x++) {
                QRgb p = a.pixel(x, y), q = direct.canvas.pixel(x, y);
                painted += (p & 0xFFFFFF) || (q & 0xFFFFFF);
                differ += std::abs(qRed(p) - qRed(q)) > 8 || std::abs(qGreen(p) - qGreen(q)) > 8 ||
                          std::abs(qBlue(p) - qBlue(q)) > 8;
            }
        printf(" %s %d of %d;", kOps[op], differ, painted);
    }
    printf("\n\n");

    std::vector<double> t[5][4];  // op x {emulation, painter per op, painter held, libX11}
    for (int r = 0; r < rounds; r++)
        for (int op = 0; op < 5; op++) {
            t[op][0].push_back(emu.run(op, n));
            t[op][1].push_back(direct.perOp(op, n));
            t[op][2].push_back(direct.held(op, n));
            if (realX) t[op][3].push_back(realx_run(op, n));
        }

    printf("%d operations a block, %d rounds interleaved, medians; 32-bit %dx%d canvas\n\n", n, rounds, W, H);
    printf("  %-16s %12s %12s %12s %12s   %9s %9s %9s\n", "operation", "emulation", "QPainter/op", "QPainter", "libX11",
           "emu/QP-op", "emu/QP", "emu/X11");
    printf("  %-16s %12s %12s %12s %12s   %9s %9s %9s\n", "", "ops/s", "ops/s", "held ops/s", "ops/s", "time", "time",
           "time");
    for (int op = 0; op < 5; op++) {
        double ms[4];
        for (int k = 0; k < 4; k++) ms[k] = t[op][k].empty() ? 0 : median(t[op][k]);
        auto rate = [&](double m) { return m > 0 ? n / m * 1000.0 : 0.0; };
        printf("  %-16s %12.0f %12.0f %12.0f %12.0f   %9.2f %9.2f %9s\n", kOps[op], rate(ms[0]), rate(ms[1]),
               rate(ms[2]), rate(ms[3]), ms[0] / ms[1], ms[0] / ms[2],
               realX ? std::to_string(ms[0] / ms[3]).substr(0, 5).c_str() : "-");
    }
    if (realX) realx_close();
    return 0;
}
