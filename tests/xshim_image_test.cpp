// Images, pixmaps, transfers and area copies, checked by reading pixels back.
#include "tests/support/test_support.h"
#include "xshim/xshim_private.h"
#include "platform/geometry.h"
#include "platform/view.h"

#include <cstdlib>
#include <cstring>

using testsupport::abortReason;

namespace {

Display *const dpy = nullptr;  // pixmaps ignore the display argument

struct Canvas {
    Pixmap pm;
    GC gc;
    Canvas(unsigned w, unsigned h, unsigned depth = 32, unsigned long fill = 0xFF000000) {
        pm = XCreatePixmap(dpy, nullptr, w, h, depth);
        gc = XCreateGC(dpy, pm, 0, nullptr);
        this->fill(0, 0, w, h, depth == 1 && fill == 0xFF000000 ? 0 : fill);
    }
    ~Canvas() {
        XFreeGC(dpy, gc);
        XFreePixmap(dpy, pm);
    }
    // Fills a rectangle with GXcopy, leaving the GC as it was.
    void fill(int x, int y, unsigned w, unsigned h, unsigned long pixel) {
        XGCValues saved = gc->gcv, v{};
        v.foreground = pixel;
        v.function = GXcopy;
        XChangeGC(dpy, gc, GCForeground | GCFunction, &v);
        XFillRectangle(dpy, pm, gc, x, y, w, h);
        XChangeGC(dpy, gc, GCForeground | GCFunction, &saved);
    }
    uint32_t at(int x, int y) const { return pm->context->image().pixel(x, y); }
};

// A zeroed image with its own memory.
XImage *new_image(unsigned depth, unsigned w, unsigned h) {
    XImage *img = XCreateImage(dpy, nullptr, depth, depth == 1 ? XYPixmap : ZPixmap, 0, nullptr, w, h,
                               8, 0);
    img->data = static_cast<char *>(calloc(size_t(img->bytes_per_line) * h, 1));
    return img;
}

}  // namespace

TEST(XshimImage, LayoutAndAccessors) {
    EXPECT_EQ(abortReason([] { XCreateImage(dpy, nullptr, 8, ZPixmap, 0, nullptr, 4, 4, 8, 0); }),
              "unknown depth");
    XImage *c = new_image(24, 7, 3);
    EXPECT_EQ(c->bits_per_pixel, 32);
    EXPECT_EQ(c->bytes_per_line, 28);
    XPutPixel(c, 6, 2, 0xFF123456);
    uint32_t word;
    memcpy(&word, c->data + 2 * 28 + 6 * 4, 4);
    EXPECT_EQ(word, 0xFF123456u);
    EXPECT_EQ(XGetPixel(c, 6, 2), 0xFF123456u);
    XDestroyImage(c);

    XImage *m = new_image(1, 10, 2);
    EXPECT_EQ(m->bytes_per_line, 2);
    EXPECT_EQ(m->bits_per_pixel, 1);
    XPutPixel(m, 9, 0, 1);
    EXPECT_EQ(static_cast<unsigned char>(m->data[1]), 0x02);  // bit 1 of byte 1
    EXPECT_EQ(XGetPixel(m, 9, 0), 1u);
    XPutPixel(m, 9, 0, 0);
    EXPECT_EQ(m->data[1], 0);
    XDestroyImage(m);

    int n = 0;
    XPixmapFormatValues *f = XListPixmapFormats(dpy, &n);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(f[0].depth, 32);
    EXPECT_EQ(f[0].bits_per_pixel, 32);
    EXPECT_EQ(f[1].depth, 1);
    EXPECT_EQ(f[1].bits_per_pixel, 1);
    free(f);
}

TEST(XshimImage, SubImageCopiesTheOverlapOnly) {
    XImage *src = new_image(32, 6, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) XPutPixel(src, x, y, 0xFF000000u | unsigned(y * 16 + x));
    XImage *sub = XSubImage(src, 4, 1, 5, 2);  // two columns exist
    EXPECT_EQ(sub->width, 5);
    EXPECT_EQ(XGetPixel(sub, 0, 0), 0xFF000014u);
    EXPECT_EQ(XGetPixel(sub, 1, 1), 0xFF000025u);
    XDestroyImage(sub);
    // Reaching above and left of the source reads nothing outside it.
    sub = XSubImage(src, -1, -1, 3, 3);
    EXPECT_EQ(XGetPixel(sub, 1, 1), 0xFF000000u);
    EXPECT_EQ(XGetPixel(sub, 2, 2), 0xFF000011u);
    XDestroyImage(sub);
    XDestroyImage(src);
}

TEST(XshimPixmap, CreateFreeAndBitmapData) {
    xshim_drawable window{};
    window.kind = XSHIM_WINDOW;
    EXPECT_EQ(abortReason([&] { XFreePixmap(dpy, &window); }), "not a pixmap");

    // Bits from the least significant end: 0x05 = pixels 0 and 2 set.
    char bits[] = {0x05, 0x00, 0x01, 0x00};
    Pixmap p = XCreatePixmapFromBitmapData(dpy, nullptr, bits, 9, 2, 0xFFFF0000, 0xFF0000FF, 32);
    ASSERT_TRUE(p);
    const QImage &img = p->context->image();
    EXPECT_EQ(img.pixel(0, 0), 0xFFFF0000u);
    EXPECT_EQ(img.pixel(1, 0), 0xFF0000FFu);
    EXPECT_EQ(img.pixel(2, 0), 0xFFFF0000u);
    EXPECT_EQ(img.pixel(8, 0), 0xFF0000FFu);
    EXPECT_EQ(img.pixel(0, 1), 0xFFFF0000u);
    EXPECT_EQ(bits[0], 0x05) << "the caller's bits stay untouched";
    XFreePixmap(dpy, p);

    Pixmap mono = XCreatePixmapFromBitmapData(dpy, nullptr, bits, 9, 2, 1, 0, 1);
    EXPECT_EQ(mono->depth, 1);
    EXPECT_EQ(mono->context->image().pixel(2, 0), 0xFFFFFFFFu);
    EXPECT_EQ(mono->context->image().pixel(1, 0), 0xFF000000u);
    XFreePixmap(dpy, mono);
    EXPECT_EQ(abortReason([&] { XCreatePixmapFromBitmapData(dpy, nullptr, bits, 9, 2, 2, 0, 1); }),
              "bogus mono pixel");
}

TEST(XshimPutImage, ColourImagesClipAndIgnoreTheGC) {
    Canvas c(100, 10);
    XImage *img = new_image(32, 20, 10);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x) XPutPixel(img, x, y, 0x00204080);  // alpha byte is not drawn
    XSetFunction(dpy, c.gc, GXxor);
    XPutImage(dpy, c.pm, c.gc, img, 0, 0, 90, 0, 20, 10);
    EXPECT_EQ(c.at(90, 0), 0xFF204080u);
    EXPECT_EQ(c.at(99, 9), 0xFF204080u);
    EXPECT_EQ(c.at(89, 0), 0xFF000000u);

    c.fill(0, 0, 100, 10, 0xFF000000);
    XPutImage(dpy, c.pm, c.gc, img, 0, 0, 101, 0, 20, 10);
    XPutImage(dpy, c.pm, c.gc, img, 25, 0, 0, 0, 20, 10);  // past the image's right edge
    XPutImage(dpy, c.pm, c.gc, img, -5, -5, 0, 0, 20, 10);  // only the image's own pixels
    EXPECT_EQ(c.at(4, 4), 0xFF000000u);
    EXPECT_EQ(c.at(5, 5), 0xFF204080u);

    // GXclear and GXset fill the rectangle whatever the image holds.
    XSetFunction(dpy, c.gc, GXset);
    XPutImage(dpy, c.pm, c.gc, img, 0, 0, 40, 0, 2, 2);
    EXPECT_EQ(c.at(41, 1), 0xFFFFFFFFu);
    EXPECT_EQ(c.at(42, 1), 0xFF000000u);
    XDestroyImage(img);
}

TEST(XshimPutImage, OneBitImagesPaintForegroundAndBackground) {
    Canvas c(16, 2);
    XImage *img = new_image(1, 16, 2);
    img->data[0] = 0x01;  // first pixel set, second clear
    img->data[1] = char(0x80);  // pixel 15
    XSetForeground(dpy, c.gc, 0xFFFF0000);
    XSetBackground(dpy, c.gc, 0xFF0000FF);
    XPutImage(dpy, c.pm, c.gc, img, 0, 0, 0, 0, 16, 2);
    EXPECT_EQ(c.at(0, 0), 0xFFFF0000u);
    EXPECT_EQ(c.at(1, 0), 0xFF0000FFu);
    EXPECT_EQ(c.at(15, 0), 0xFFFF0000u);
    EXPECT_EQ(c.at(0, 1), 0xFF0000FFu);

    // Under GXxor each pixel takes one colour through the difference blend.
    c.fill(0, 0, 16, 2, 0xFF808080);
    XSetFunction(dpy, c.gc, GXxor);
    XPutImage(dpy, c.pm, c.gc, img, 0, 0, 0, 0, 16, 1);
    EXPECT_EQ(c.at(0, 0), 0xFF7F8080u);
    EXPECT_EQ(c.at(1, 0), 0xFF80807Fu);

    // The clip mask applies.
    Canvas mask(1, 2, 1);
    mask.fill(0, 0, 1, 2, 1);
    XSetFunction(dpy, c.gc, GXcopy);
    c.fill(0, 0, 16, 2, 0xFF000000);
    XSetClipMask(dpy, c.gc, mask.pm);
    XSetClipOrigin(dpy, c.gc, 1, 0);
    XPutImage(dpy, c.pm, c.gc, img, 0, 0, 0, 0, 16, 2);
    EXPECT_EQ(c.at(0, 0), 0xFF000000u);
    EXPECT_EQ(c.at(1, 0), 0xFF0000FFu);
    EXPECT_EQ(c.at(2, 0), 0xFF000000u);

    // Byte-aligned offsets only.
    XSetClipMask(dpy, c.gc, nullptr);
    EXPECT_EQ(abortReason([&] { XPutImage(dpy, c.pm, c.gc, img, 4, 0, 0, 0, 4, 1); }),
              "XPutImage with non-byte-aligned 1bpp X offset not implemented");
    XPutImage(dpy, c.pm, c.gc, img, 8, 0, 0, 0, 8, 1);
    EXPECT_EQ(c.at(7, 0), 0xFFFF0000u);
    EXPECT_EQ(c.at(0, 0), 0xFF0000FFu);
    XDestroyImage(img);
}

TEST(XshimPutImage, ImprobableValuesAbort) {
    Canvas c(4, 4);
    XImage *img = new_image(32, 4, 4);
    auto put = [&](GC gc, int sx, int sy, int dx, int dy, unsigned w, unsigned h) {
        return abortReason([&] { XPutImage(dpy, c.pm, gc, img, sx, sy, dx, dy, w, h); });
    };
    EXPECT_EQ(put(nullptr, 0, 0, 0, 0, 1, 1), "no GC");
    EXPECT_EQ(put(c.gc, 0, 0, 0, 0, 65535, 1), "improbably large width");
    EXPECT_EQ(put(c.gc, 0, 0, 0, 0, 1, 65535), "improbably large height");
    EXPECT_EQ(put(c.gc, -65535, 0, 0, 0, 1, 1), "improbably large src_x");
    EXPECT_EQ(put(c.gc, 0, 65535, 0, 0, 1, 1), "improbably large src_y");
    EXPECT_EQ(put(c.gc, 0, 0, 65535, 0, 1, 1), "improbably large dest_x");
    EXPECT_EQ(put(c.gc, 0, 0, 0, -65535, 1, 1), "improbably large dest_y");
    EXPECT_EQ(put(c.gc, 0, 0, -65534, 65534, 65534, 1), "<no exception>");
    XDestroyImage(img);

    auto get = [&](int x, int y, unsigned w, unsigned h) {
        return abortReason([&] { XDestroyImage(XGetImage(dpy, c.pm, x, y, w, h, AllPlanes, ZPixmap)); });
    };
    EXPECT_EQ(get(0, 0, 65535, 1), "improbably large width");
    EXPECT_EQ(get(0, 0, 1, 65535), "improbably large height");
    EXPECT_EQ(get(65535, 0, 1, 1), "improbably large x");
    EXPECT_EQ(get(0, -65535, 1, 1), "improbably large y");
}

TEST(XshimGetImage, ReadsPixmapsBack) {
    Canvas c(6, 6);
    c.fill(1, 1, 2, 2, 0xFF204080);
    XImage *img = XGetImage(dpy, c.pm, 1, 1, 6, 6, AllPlanes, ZPixmap);
    EXPECT_EQ(img->depth, 32);
    EXPECT_EQ(img->format, ZPixmap);
    EXPECT_EQ(XGetPixel(img, 0, 0) & 0xFFFFFF, 0x204080u);
    EXPECT_EQ(XGetPixel(img, 1, 1) & 0xFFFFFF, 0x204080u);
    EXPECT_EQ(XGetPixel(img, 2, 2) & 0xFFFFFF, 0u);
    EXPECT_EQ(XGetPixel(img, 5, 5), 0xFF000000u) << "outside the pixmap reads black";
    XDestroyImage(img);

    Canvas m(10, 2, 1);
    m.fill(9, 0, 1, 1, 1);
    img = XGetImage(dpy, m.pm, 0, 0, 10, 2, AllPlanes, XYPixmap);
    EXPECT_EQ(img->depth, 1);
    EXPECT_EQ(img->format, XYPixmap);
    EXPECT_EQ(XGetPixel(img, 9, 0), 1u);
    EXPECT_EQ(XGetPixel(img, 8, 0), 0u);
    EXPECT_EQ(static_cast<unsigned char>(img->data[1]), 0x02);
    XDestroyImage(img);
}

TEST(XshimCopyArea, PixmapSnapshotIsMadeOnceAndDroppedByDrawing) {
    Canvas src(4, 4, 32, 0xFFFF0000), dst(4, 4);
    XCopyArea(dpy, src.pm, dst.pm, dst.gc, 0, 0, 4, 4, 0, 0);
    EXPECT_EQ(dst.at(1, 1), 0xFFFF0000u);

    // Change the source's memory behind the emulation's back: the next copy
    // still reads the snapshot.
    auto *words = reinterpret_cast<uint32_t *>(src.pm->pixels);
    std::fill(words, words + 16, 0xFF00FF00u);
    dst.fill(0, 0, 4, 4, 0xFF000000);
    XCopyArea(dpy, src.pm, dst.pm, dst.gc, 0, 0, 4, 4, 0, 0);
    EXPECT_EQ(dst.at(1, 1), 0xFFFF0000u);

    // Drawing into the source drops the snapshot.
    XDrawPoint(dpy, src.pm, src.gc, 0, 0);
    XCopyArea(dpy, src.pm, dst.pm, dst.gc, 0, 0, 4, 4, 0, 0);
    EXPECT_EQ(dst.at(1, 1), 0xFF00FF00u);
    EXPECT_EQ(dst.at(0, 0), 0xFFFFFFFFu);
}

TEST(XshimCopyArea, OverlappingSelfCopyReadsPixelsAsTheyWere) {
    Canvas c(10, 1);
    for (int x = 0; x < 10; ++x) {
        XSetForeground(dpy, c.gc, 0xFF000000u | unsigned(x * 20));
        XDrawPoint(dpy, c.pm, c.gc, x, 0);
    }
    XCopyArea(dpy, c.pm, c.pm, c.gc, 0, 0, 8, 1, 2, 0);
    for (int x = 2; x < 10; ++x) EXPECT_EQ(c.at(x, 0), 0xFF000000u | unsigned((x - 2) * 20)) << x;
    EXPECT_EQ(c.at(1, 0), 0xFF000014u);

    // The other way round.
    XCopyArea(dpy, c.pm, c.pm, c.gc, 2, 0, 8, 1, 0, 0);
    for (int x = 0; x < 8; ++x) EXPECT_EQ(c.at(x, 0), 0xFF000000u | unsigned(x * 20)) << x;
}

TEST(XshimCopyArea, ClippedCopiesPaintTheUncoveredPartWithTheBackground) {
    Canvas src(10, 10, 32, 0xFF00FF00), dst(20, 20);
    XSetBackground(dpy, dst.gc, 0xFF0000FF);
    // Half the source rectangle lies left of the source.
    XCopyArea(dpy, src.pm, dst.pm, dst.gc, -5, 0, 10, 10, 0, 0);
    EXPECT_EQ(dst.at(0, 0), 0xFF0000FFu);
    EXPECT_EQ(dst.at(4, 9), 0xFF0000FFu);
    EXPECT_EQ(dst.at(5, 0), 0xFF00FF00u);
    EXPECT_EQ(dst.at(9, 9), 0xFF00FF00u);
    EXPECT_EQ(dst.at(10, 0), 0xFF000000u);
    EXPECT_EQ(dst.at(0, 10), 0xFF000000u);

    // Below the source's bottom edge.
    dst.fill(0, 0, 20, 20, 0xFF000000);
    XCopyArea(dpy, src.pm, dst.pm, dst.gc, 0, 6, 10, 10, 10, 10);
    EXPECT_EQ(dst.at(10, 10), 0xFF00FF00u);
    EXPECT_EQ(dst.at(19, 13), 0xFF00FF00u);
    EXPECT_EQ(dst.at(10, 14), 0xFF0000FFu);
    EXPECT_EQ(dst.at(19, 19), 0xFF0000FFu);

    // An unclipped copy paints no background.
    dst.fill(0, 0, 20, 20, 0xFF000000);
    XCopyArea(dpy, src.pm, dst.pm, dst.gc, 0, 0, 4, 4, 2, 2);
    EXPECT_EQ(dst.at(1, 1), 0xFF000000u);
    EXPECT_EQ(dst.at(6, 6), 0xFF000000u);
    EXPECT_EQ(dst.at(2, 2), 0xFF00FF00u);

    // Fully outside: nothing at all, not even background.
    XCopyArea(dpy, src.pm, dst.pm, dst.gc, 20, 20, 4, 4, 0, 0);
    EXPECT_EQ(dst.at(0, 0), 0xFF000000u);
    // Zero width: nothing.
    XCopyArea(dpy, src.pm, dst.pm, dst.gc, 0, 0, 0, 4, 0, 0);
    EXPECT_EQ(dst.at(0, 0), 0xFF000000u);
}

TEST(XshimCopyArea, FunctionsClipMasksAndMonoSources) {
    Canvas src(4, 4, 32, 0xFF20A040), dst(4, 4, 32, 0xFF604020);
    XSetFunction(dpy, dst.gc, GXxor);
    XCopyArea(dpy, src.pm, dst.pm, dst.gc, 0, 0, 4, 4, 0, 0);
    EXPECT_EQ(dst.at(2, 2), 0xFF406020u);
    XSetFunction(dpy, dst.gc, GXclear);
    XCopyArea(dpy, src.pm, dst.pm, dst.gc, 0, 0, 2, 2, 0, 0);
    EXPECT_EQ(dst.at(1, 1), 0xFF000000u);
    EXPECT_EQ(dst.at(2, 2), 0xFF406020u);

    // Set bits of a depth-1 source take the foreground, the rest the background.
    Canvas mono(4, 4, 1), out(4, 4);
    mono.fill(0, 0, 2, 4, 1);
    XSetForeground(dpy, out.gc, 0xFFFF0000);
    XSetBackground(dpy, out.gc, 0xFF0000FF);
    XCopyArea(dpy, mono.pm, out.pm, out.gc, 0, 0, 4, 4, 0, 0);
    EXPECT_EQ(out.at(1, 3), 0xFFFF0000u);
    EXPECT_EQ(out.at(2, 0), 0xFF0000FFu);
    XCopyPlane(dpy, mono.pm, out.pm, out.gc, 1, 0, 2, 4, 2, 0, 1);
    EXPECT_EQ(out.at(2, 0), 0xFFFF0000u);
    EXPECT_EQ(out.at(3, 0), 0xFF0000FFu);

    // A GC clip mask limits the copy.
    Canvas mask(4, 4, 1), to(4, 4);
    mask.fill(0, 0, 4, 1, 1);
    XSetClipMask(dpy, to.gc, mask.pm);
    XCopyArea(dpy, src.pm, to.pm, to.gc, 0, 0, 4, 4, 0, 0);
    EXPECT_EQ(to.at(3, 0), 0xFF20A040u);
    EXPECT_EQ(to.at(3, 1), 0xFF000000u);
}

TEST(XshimCopyArea, ChecksAbort) {
    Canvas a(4, 4);
    auto copy = [&](GC gc, int sx, int sy, unsigned w, unsigned h, int dx, int dy) {
        return abortReason([&] { XCopyArea(dpy, a.pm, a.pm, gc, sx, sy, w, h, dx, dy); });
    };
    EXPECT_EQ(copy(nullptr, 0, 0, 1, 1, 0, 0), "no GC");
    EXPECT_EQ(copy(a.gc, 0, 0, 65535, 1, 0, 0), "improbably large width");
    EXPECT_EQ(copy(a.gc, 0, 0, 1, 65535, 0, 0), "improbably large height");
    EXPECT_EQ(copy(a.gc, 65535, 0, 1, 1, 0, 0), "improbably large src_x");
    EXPECT_EQ(copy(a.gc, 0, -65535, 1, 1, 0, 0), "improbably large src_y");
    EXPECT_EQ(copy(a.gc, 0, 0, 1, 1, -65535, 0), "improbably large dst_x");
    EXPECT_EQ(copy(a.gc, 0, 0, 1, 1, 0, 65535), "improbably large dst_y");
    EXPECT_EQ(copy(a.gc, 0, 65534, 10, 60000, 0, 0), "src.origin.y went nuts");
    EXPECT_EQ(copy(a.gc, 0, 0, 10, 60000, 0, 65534), "dst.origin.y went nuts");
    EXPECT_EQ(abortReason([&] { XCopyPlane(dpy, a.pm, a.pm, a.gc, 0, 0, 1, 1, 0, 0, 2); }),
              "hairy plane mask!");
}

TEST(XshimPicture, ScaledToFitCentredAndTurned) {
    QImage pic(200, 100, QImage::Format_RGB32);
    pic.fill(0xFFFF0000);
    for (int y = 0; y < 100; ++y)
        for (int x = 100; x < 200; ++x) pic.setPixel(x, y, 0xFF0000FF);  // right half blue

    Canvas c(100, 100, 32, 0xFF808080);
    XRectangle r{};
    xshim_draw_NSImage_or_CGImage(dpy, c.pm, False, &pic, &r, 1);
    EXPECT_EQ(r.x, 0);
    EXPECT_EQ(r.y, 25);
    EXPECT_EQ(r.width, 100);
    EXPECT_EQ(r.height, 50);
    EXPECT_EQ(c.at(50, 10), 0xFF000000u) << "cleared to black";
    EXPECT_EQ(c.at(20, 40), 0xFFFF0000u);
    EXPECT_EQ(c.at(80, 60), 0xFF0000FFu);

    // Turned by a quarter: the picture's left edge ends at the top.
    xshim_draw_NSImage_or_CGImage(dpy, c.pm, True, &pic, &r, 6);
    EXPECT_EQ(r.x, 25);
    EXPECT_EQ(r.y, 0);
    EXPECT_EQ(r.width, 50);
    EXPECT_EQ(r.height, 100);
    EXPECT_EQ(c.at(10, 50), 0xFF000000u);
    EXPECT_EQ(c.at(50, 20), 0xFFFF0000u);
    EXPECT_EQ(c.at(50, 80), 0xFF0000FFu);

    // Upside down: left and right change places.
    xshim_draw_NSImage_or_CGImage(dpy, c.pm, False, &pic, nullptr, 3);
    EXPECT_EQ(c.at(20, 40), 0xFF0000FFu);
    EXPECT_EQ(c.at(80, 60), 0xFFFF0000u);
}

namespace {

// A view whose backing context is the window's; placed so that the
// window's X origin is not the context's.
class TestView : public platform::ScreenSaverView {
public:
    TestView() : ScreenSaverView(platform::Rect::make(0, 0, 40, 30), true) {}
    unsigned displayId() const override { return 1; }
};

class XshimWindowTransfers : public ::testing::Test {
protected:
    void SetUp() override {
        view = std::make_unique<TestView>();
        display = xshim_make_display(view.get(), nullptr);
        win = XRootWindow(display, 0);
        // The window is 20 x 10 at (5, 2) of a 40 x 30 y-up context: X (0, 0)
        // is image pixel (5, 18).
        xshim_window_resized(display, win, 5, 2, 20, 10, nullptr);
        image().fill(0xFF000000u);
        gc = XCreateGC(display, win, 0, nullptr);
    }
    void TearDown() override {
        XFreeGC(display, gc);
        xshim_free_display(display);
    }
    QImage &image() { return view->graphicsContext()->image(); }
    uint32_t at(int x, int y) { return image().pixel(5 + x, 18 + y); }  // window X coordinates

    std::unique_ptr<TestView> view;
    Display *display = nullptr;
    Window win = nullptr;
    GC gc = nullptr;
};

}  // namespace

TEST_F(XshimWindowTransfers, PointsAreSquaresUnderTheGC) {
    XSetForeground(display, gc, 0xFF20A040);
    XPoint pts[] = {{0, 0}, {3, 2}, {1, 1}};
    XDrawPoints(display, win, gc, pts, 3, CoordModePrevious);
    EXPECT_EQ(at(0, 0), 0xFF20A040u);
    EXPECT_EQ(at(3, 2), 0xFF20A040u);
    EXPECT_EQ(at(4, 3), 0xFF20A040u);
    EXPECT_EQ(at(1, 1), 0xFF000000u);
    // The function applies on the window.
    XSetFunction(display, gc, GXxor);
    XSetForeground(display, gc, 0xFF604020);
    XDrawPoint(display, win, gc, 0, 0);
    EXPECT_EQ(at(0, 0), 0xFF406020u);
}

TEST_F(XshimWindowTransfers, GetImageReadsTheBackingInXCoordinates) {
    XSetForeground(display, gc, 0xFFFF0000);
    XFillRectangle(display, win, gc, 2, 3, 2, 1);
    XImage *img = XGetImage(display, win, 2, 3, 3, 1, AllPlanes, ZPixmap);
    EXPECT_EQ(img->depth, 32);
    EXPECT_EQ(XGetPixel(img, 0, 0), 0xFFFF0000u);
    EXPECT_EQ(XGetPixel(img, 1, 0), 0xFFFF0000u);
    EXPECT_EQ(XGetPixel(img, 2, 0), 0xFF000000u);
    XDestroyImage(img);
}

TEST_F(XshimWindowTransfers, CopiesFromAndToTheWindow) {
    XSetForeground(display, gc, 0xFF0000FF);
    XFillRectangle(display, win, gc, 0, 0, 4, 4);

    // Window to pixmap reads the window's backing.
    Canvas pm(6, 6);
    XCopyArea(display, win, pm.pm, pm.gc, 0, 0, 4, 4, 1, 1);
    EXPECT_EQ(pm.at(1, 1), 0xFF0000FFu);
    EXPECT_EQ(pm.at(4, 4), 0xFF0000FFu);
    EXPECT_EQ(pm.at(5, 5), 0xFF000000u);

    // Window onto itself, overlapping: the pixels as they were.
    XCopyArea(display, win, win, gc, 0, 0, 4, 4, 2, 0);
    EXPECT_EQ(at(5, 0), 0xFF0000FFu);
    EXPECT_EQ(at(6, 0), 0xFF000000u);
    EXPECT_EQ(at(0, 3), 0xFF0000FFu);

    // Pixmap to window, clipped at the window's right edge: the copy stays
    // inside the window's frame in the shared context.
    pm.fill(0, 0, 6, 6, 0xFF00FF00);
    XCopyArea(display, pm.pm, win, gc, 0, 0, 6, 6, 17, 5);
    EXPECT_EQ(at(17, 5), 0xFF00FF00u);
    EXPECT_EQ(at(19, 9), 0xFF00FF00u);
    EXPECT_EQ(image().pixel(5 + 20, 18 + 5), 0xFF000000u) << "outside the window";
}

TEST_F(XshimWindowTransfers, PictureClearsToTheWindowBackground) {
    XSetWindowBackground(display, win, 0xFF808080);
    QImage pic(10, 10, QImage::Format_RGB32);
    pic.fill(0xFFFF0000);
    XRectangle r{};
    xshim_draw_NSImage_or_CGImage(display, win, False, &pic, &r, 1);
    EXPECT_EQ(r.x, 5);
    EXPECT_EQ(r.width, 10);
    EXPECT_EQ(at(0, 5), 0xFF808080u);
    EXPECT_EQ(at(19, 5), 0xFF808080u);
    EXPECT_EQ(at(5, 0), 0xFFFF0000u);
    EXPECT_EQ(at(14, 9), 0xFFFF0000u);
    EXPECT_EQ(image().pixel(5, 29), 0xFF000000u) << "nothing below the window";
}
