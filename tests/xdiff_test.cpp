// Differential drawing test: each sequence is drawn by the real X server
// into a server pixmap (tests/xdiff/real_x.c, the only code here that sees
// the real Xlib) and by the emulation into an emulated pixmap, antialiasing
// off; both are read back and compared pixel by pixel. Each test prints its
// match rate ("xdiff: <operation>: matched/total").
//
// Where the two differ by design the test says so and asserts only what is
// meant to agree:
// - GXxor is a difference blend in the emulation, a bitwise xor on the
//   server; they agree where every channel of the colours is 0x00 or 0xFF.
// - Strokes follow the painter's path stroking, not the server's pixel
//   rules; 1-pixel rectangle outlines happen to agree.
// - Polygon edges: the server samples a pixel at its integer coordinate,
//   the emulation at the pixel's centre, so slanted edges differ.
// - A clipped XCopyArea paints the part of the destination the source does
//   not cover with the GC's background; the server leaves it alone (and
//   would send exposure events).
#include "tests/support/test_support.h"
#include "tests/xdiff/real_x.h"
#include "xshim/xshim_private.h"

#include <cstdio>
#include <random>
#include <vector>

namespace {

Display *const dpy = nullptr;  // pixmaps ignore the display argument

class Pair {
public:
    Pair(int w, int h) : w_(w), h_(h) {
        x_ = realx_open(w, h);
        pm_ = XCreatePixmap(dpy, nullptr, unsigned(w), unsigned(h), 32);
        gc_ = XCreateGC(dpy, pm_, 0, nullptr);
        xshim_XSetAntiAliasing(dpy, gc_, False);
        XSetForeground(dpy, gc_, 0xFF000000);
        XFillRectangle(dpy, pm_, gc_, 0, 0, unsigned(w), unsigned(h));
        XSetForeground(dpy, gc_, 0xFFFFFFFF);
    }
    ~Pair() {
        realx_close(x_);
        XFreeGC(dpy, gc_);
        XFreePixmap(dpy, pm_);
    }
    bool ok() const { return x_ != nullptr; }

    void colors(uint32_t fg, uint32_t bg) {
        realx_set_colors(x_, fg, bg);
        XSetForeground(dpy, gc_, 0xFF000000u | fg);
        XSetBackground(dpy, gc_, 0xFF000000u | bg);
    }
    void function(int f) {
        realx_set_function(x_, f);
        XSetFunction(dpy, gc_, f);
    }
    void fillRect(int x, int y, unsigned w, unsigned h) {
        realx_fill_rect(x_, x, y, w, h);
        XFillRectangle(dpy, pm_, gc_, x, y, w, h);
    }
    void drawRect(int x, int y, unsigned w, unsigned h) {
        realx_draw_rect(x_, x, y, w, h);
        XDrawRectangle(dpy, pm_, gc_, x, y, w, h);
    }
    void points(const std::vector<XPoint> &pts) {
        std::vector<short> xy;
        for (const XPoint &p : pts) xy.insert(xy.end(), {p.x, p.y});
        realx_draw_points(x_, xy.data(), int(pts.size()));
        XDrawPoints(dpy, pm_, gc_, const_cast<XPoint *>(pts.data()), int(pts.size()), CoordModeOrigin);
    }
    void polygon(const std::vector<XPoint> &pts, bool winding) {
        std::vector<short> xy;
        for (const XPoint &p : pts) xy.insert(xy.end(), {p.x, p.y});
        realx_fill_polygon(x_, xy.data(), int(pts.size()), winding);
        XGCValues v{};
        v.fill_rule = winding ? WindingRule : EvenOddRule;
        XChangeGC(dpy, gc_, GCFillRule, &v);
        XFillPolygon(dpy, pm_, gc_, const_cast<XPoint *>(pts.data()), int(pts.size()), Complex,
                     CoordModeOrigin);
    }
    void copy(int sx, int sy, unsigned w, unsigned h, int dx, int dy) {
        realx_copy_area(x_, sx, sy, w, h, dx, dy);
        XCopyArea(dpy, pm_, pm_, gc_, sx, sy, w, h, dx, dy);
    }
    // words: iw x ih pixels 0xRRGGBB.
    void putImage(const std::vector<uint32_t> &words, int iw, int ih, int sx, int sy, int dx, int dy,
                  unsigned w, unsigned h) {
        realx_put_image(x_, words.data(), iw, ih, sx, sy, dx, dy, w, h);
        XImage *img = XCreateImage(dpy, nullptr, 32, ZPixmap, 0, nullptr, unsigned(iw), unsigned(ih), 32, 0);
        img->data = static_cast<char *>(malloc(size_t(img->bytes_per_line) * size_t(ih)));
        for (int y = 0; y < ih; ++y)
            for (int x = 0; x < iw; ++x) XPutPixel(img, x, y, 0xFF000000u | words[size_t(y * iw + x)]);
        XPutImage(dpy, pm_, gc_, img, sx, sy, dx, dy, w, h);
        XDestroyImage(img);
    }
    void putBitmap(const std::vector<unsigned char> &bits, int iw, int ih, int dx, int dy) {
        realx_put_bitmap(x_, bits.data(), iw, ih, dx, dy);
        XImage *img = XCreateImage(dpy, nullptr, 1, XYBitmap, 0, nullptr, unsigned(iw), unsigned(ih), 8, 0);
        img->data = static_cast<char *>(malloc(bits.size()));
        memcpy(img->data, bits.data(), bits.size());
        XPutImage(dpy, pm_, gc_, img, 0, 0, dx, dy, unsigned(iw), unsigned(ih));
        XDestroyImage(img);
    }

    // Compares both pixmaps (through each side's XGetImage), prints the
    // rate and returns the share of matching pixels.
    double compare(const char *operation) {
        std::vector<uint32_t> real(size_t(w_ * h_));
        realx_read(x_, real.data());
        XImage *img = XGetImage(dpy, pm_, 0, 0, unsigned(w_), unsigned(h_), AllPlanes, ZPixmap);
        int matched = 0;
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                if ((XGetPixel(img, x, y) & 0xFFFFFF) == real[size_t(y * w_ + x)]) ++matched;
        if (getenv("XDIFF_MAP")) {
            for (int y = 0; y < h_; ++y) {
                for (int x = 0; x < w_; ++x) {
                    uint32_t e = XGetPixel(img, x, y) & 0xFFFFFF, r = real[size_t(y * w_ + x)];
                    putchar(e == r ? (e ? '#' : '.') : (e ? 'E' : 'R'));
                }
                putchar('\n');
            }
        }
        XDestroyImage(img);
        const int total = w_ * h_;
        printf("xdiff: %s: %d/%d pixels match (%.2f%%)\n", operation, matched, total,
               100.0 * matched / total);
        return double(matched) / total;
    }

private:
    int w_, h_;
    realx *x_ = nullptr;
    Pixmap pm_ = nullptr;
    GC gc_ = nullptr;
};

#define NEED_SERVER(pair) \
    if (!(pair).ok()) GTEST_SKIP() << "no X server of depth 24"

uint32_t colour(std::mt19937 &rng) { return rng() & 0xFFFFFF; }

}  // namespace

TEST(XDiff, FilledRectangles) {
    Pair p(64, 48);
    NEED_SERVER(p);
    std::mt19937 rng(1);
    for (int i = 0; i < 40; ++i) {
        p.colors(colour(rng), 0);
        p.fillRect(int(rng() % 80) - 8, int(rng() % 60) - 6, rng() % 30, rng() % 30);
    }
    EXPECT_EQ(p.compare("filled rectangles"), 1.0);
}

TEST(XDiff, Points) {
    Pair p(50, 40);
    NEED_SERVER(p);
    std::mt19937 rng(2);
    for (int round = 0; round < 5; ++round) {
        std::vector<XPoint> pts;
        for (int i = 0; i < 200; ++i) pts.push_back({short(int(rng() % 60) - 5), short(int(rng() % 50) - 5)});
        p.colors(colour(rng), 0);
        p.points(pts);
    }
    EXPECT_EQ(p.compare("points"), 1.0);
}

TEST(XDiff, OverlappingCopies) {
    Pair p(64, 64);
    NEED_SERVER(p);
    std::mt19937 rng(3);
    for (int i = 0; i < 30; ++i) {
        p.colors(colour(rng), 0);
        p.fillRect(int(rng() % 64), int(rng() % 64), 1 + rng() % 16, 1 + rng() % 16);
    }
    p.copy(0, 0, 40, 40, 7, 5);    // down and right over itself
    p.copy(10, 12, 40, 40, 3, 1);  // up and left over itself
    p.copy(5, 5, 20, 20, 5, 9);    // straight down
    EXPECT_EQ(p.compare("XCopyArea with overlap"), 1.0);
}

TEST(XDiff, CopiesOffTheEdge) {
    // With the GC's background the same as what lies under the uncovered
    // part, the emulation's background fill is invisible and both agree.
    Pair p(48, 48);
    NEED_SERVER(p);
    p.colors(0x3060A0, 0);
    p.fillRect(0, 0, 24, 24);
    p.colors(0xC08020, 0);
    p.fillRect(6, 6, 12, 12);
    p.copy(-10, -10, 30, 30, 24, 24);  // source sticks out top-left, over black
    p.copy(10, 4, 50, 10, 20, 40);     // source and destination stick out right
    EXPECT_EQ(p.compare("XCopyArea off the edge, background under the gap"), 1.0);

    // By design: the gap takes the GC's background here, not on the server.
    Pair q(48, 48);
    NEED_SERVER(q);
    q.colors(0x3060A0, 0xFF0000);
    q.fillRect(0, 0, 48, 48);
    q.copy(-10, 0, 20, 20, 20, 20);
    double rate = q.compare("XCopyArea off the edge, other background (differs by design)");
    EXPECT_LT(rate, 1.0);
    EXPECT_GT(rate, 0.9);  // only the 10 x 20 gap differs
}

TEST(XDiff, PutImageAndGetImageRoundTrip) {
    Pair p(40, 30);
    NEED_SERVER(p);
    std::mt19937 rng(4);
    std::vector<uint32_t> words(25 * 20);
    for (uint32_t &w : words) w = colour(rng);
    p.putImage(words, 25, 20, 0, 0, 0, 0, 25, 20);
    p.putImage(words, 25, 20, 5, 3, 30, 20, 20, 17);  // clipped by both image and pixmap
    p.putImage(words, 25, 20, 8, 2, -4, 12, 10, 10);  // off the left edge
    EXPECT_EQ(p.compare("XPutImage/XGetImage"), 1.0);
}

TEST(XDiff, OneBitPutImage) {
    Pair p(40, 20);
    NEED_SERVER(p);
    std::mt19937 rng(5);
    std::vector<unsigned char> bits(size_t((37 + 7) / 8 * 15));
    for (unsigned char &b : bits) b = static_cast<unsigned char>(rng());
    p.colors(0xE0C040, 0x204080);
    p.putBitmap(bits, 37, 15, 2, 3);
    EXPECT_EQ(p.compare("XPutImage of a depth-1 image"), 1.0);
}

TEST(XDiff, SolidPolygons) {
    Pair p(80, 80);
    NEED_SERVER(p);
    p.colors(0x40C0FF, 0);
    p.polygon({{10, 10}, {70, 20}, {40, 70}}, false);
    p.colors(0xFF8000, 0);
    // A five-pointed star: the rules differ in the middle.
    p.polygon({{40, 2}, {52, 78}, {2, 30}, {78, 30}, {28, 78}}, false);
    p.colors(0x80FF80, 0);
    p.polygon({{5, 60}, {20, 45}, {35, 60}, {20, 75}}, true);
    // By design: the server takes a pixel when its integer coordinate lies
    // inside, the emulation (whose coordinate rule puts pixel edges on
    // integers) when the pixel's centre does; slanted edges differ by up to
    // one pixel, straight ones agree.
    double rate = p.compare("solid polygons (slanted edges sampled half a pixel apart)");
    EXPECT_GT(rate, 0.95);

    Pair q(40, 40);
    NEED_SERVER(q);
    q.polygon({{5, 5}, {30, 5}, {30, 12}, {12, 12}, {12, 35}, {5, 35}}, false);
    EXPECT_EQ(q.compare("solid polygons, straight edges"), 1.0);
}

TEST(XDiff, RectangleOutlines) {
    Pair p(60, 40);
    NEED_SERVER(p);
    p.colors(0xFFFFFF, 0);
    p.drawRect(5, 5, 20, 10);
    p.drawRect(30, 8, 25, 25);
    // The outline is the painter's stroke of the rectangle's path; for
    // 1-pixel aliased lines it lands on the same pixels as the server's.
    EXPECT_EQ(p.compare("1-pixel rectangle outlines"), 1.0);
}

TEST(XDiff, XorAsDifference) {
    Pair p(40, 40);
    NEED_SERVER(p);
    p.colors(0x00FFFF, 0);
    p.fillRect(0, 0, 30, 30);
    p.function(GXxor);
    p.colors(0xFFFF00, 0);
    p.fillRect(10, 10, 30, 30);
    p.colors(0xFFFFFF, 0);
    p.fillRect(5, 20, 10, 10);
    EXPECT_EQ(p.compare("GXxor with saturated colours"), 1.0);

    Pair q(40, 40);
    NEED_SERVER(q);
    q.colors(0x604020, 0);
    q.fillRect(0, 0, 40, 40);
    q.function(GXxor);
    q.colors(0x20A040, 0);
    q.fillRect(10, 10, 20, 20);
    // By design: difference, not xor.
    EXPECT_LT(q.compare("GXxor with other colours (difference by design)"), 1.0);
}
