// Graphics contexts and primitives, checked by reading pixels back.
#include "tests/support/test_support.h"
#include "xshim/xshim_private.h"
#include "xshim/xshim_draw.h"

using namespace somnel::xshim;
using testsupport::abortReason;

namespace {

// Pixmaps ignore the display argument; tests run without one.
Display *const dpy = nullptr;

struct Canvas {
    Pixmap pm;
    GC gc;
    Canvas(unsigned w, unsigned h, unsigned depth = 32) {
        pm = XCreatePixmap(dpy, nullptr, w, h, depth);
        gc = XCreateGC(dpy, pm, 0, nullptr);
        clear(depth == 1 ? 0 : 0xFF000000);
    }
    ~Canvas() {
        XFreeGC(dpy, gc);
        XFreePixmap(dpy, pm);
    }
    // Fills the whole pixmap, leaving the GC as it was.
    void clear(unsigned long pixel) {
        XGCValues saved = gc->gcv, v{};
        v.foreground = pixel;
        v.function = GXcopy;
        XChangeGC(dpy, gc, GCForeground | GCFunction, &v);
        XFillRectangle(dpy, pm, gc, 0, 0, unsigned(pm->frame[2]), unsigned(pm->frame[3]));
        XChangeGC(dpy, gc, GCForeground | GCFunction, &saved);
    }
    // The pixel at X coordinates (top-left origin).
    uint32_t at(int x, int y) const { return pm->context->image().pixel(x, y); }
};

}  // namespace

TEST(XshimGC, DefaultsAndPixelChecks) {
    Canvas c(8, 8), mono(8, 8, 1);
    EXPECT_EQ(c.gc->gcv.function, GXcopy);
    EXPECT_EQ(mono.gc->depth, 1);

    // A fresh colour GC paints opaque white; a fresh mono GC paints 1 (white).
    GC g = XCreateGC(dpy, c.pm, 0, nullptr);
    XFillRectangle(dpy, c.pm, g, 0, 0, 2, 2);
    EXPECT_EQ(c.at(1, 1), 0xFFFFFFFFu);
    XFreeGC(dpy, g);

    XGCValues v{};
    v.foreground = 2;
    EXPECT_EQ(abortReason([&] { XCreateGC(dpy, mono.pm, GCForeground, &v); }), "bogus mono pixel");
    v.foreground = 0x00FFFFFF;
    EXPECT_EQ(abortReason([&] { XCreateGC(dpy, c.pm, GCForeground, &v); }), "bogus color pixel");
    EXPECT_EQ(abortReason([&] { XSetBackground(dpy, c.gc, 0x80000000); }), "bogus color pixel");
    EXPECT_EQ(abortReason([&] { XChangeGC(dpy, nullptr, GCForeground, &v); }), "no gc");
    EXPECT_EQ(abortReason([&] { XChangeGC(dpy, c.gc, 0, nullptr); }), "<no exception>");

    // Allowed alpha blends: half-transparent white over black is mid grey.
    xshim_XSetAlphaAllowed(dpy, c.gc, True);
    XSetForeground(dpy, c.gc, 0x80FFFFFF);
    XFillRectangle(dpy, c.pm, c.gc, 4, 4, 2, 2);
    EXPECT_NEAR(int(qRed(c.at(5, 5))), 128, 2);
}

TEST(XshimGC, UnimplementedBitsAbortAfterTheOthersApply) {
    Canvas c(4, 4);
    XGCValues v{};
    v.foreground = 0xFF00FF00;
    v.line_width = 7;
    EXPECT_EQ(abortReason([&] { XChangeGC(dpy, c.gc, GCForeground | GCLineWidth | GCLineStyle, &v); }),
              "unimplemented gcvalues mask");
    EXPECT_EQ(c.gc->gcv.line_width, 7);
    XFillRectangle(dpy, c.pm, c.gc, 0, 0, 4, 4);
    EXPECT_EQ(c.at(2, 2), 0xFF00FF00u);

    EXPECT_EQ(abortReason([&] { XSetLineAttributes(dpy, c.gc, 3, LineOnOffDash, CapButt, JoinMiter); }),
              "only LineSolid implemented");
    EXPECT_EQ(c.gc->gcv.line_width, 3);
}

TEST(XshimGC, BlendModesWorkPerChannel) {
    struct Case {
        int function;
        uint32_t expected;
    } cases[] = {
        {GXand, 0xFF204020},  // darken: min of each channel
        {GXxor, 0xFF406020},  // difference
        {GXor, 0xFF60A040},   // lighten: max of each channel
        {GXcopy, 0xFF20A040},
    };
    for (const Case &k : cases) {
        Canvas c(6, 6);
        c.clear(0xFF604020);
        XSetFunction(dpy, c.gc, k.function);
        XSetForeground(dpy, c.gc, 0xFF20A040);
        XFillRectangle(dpy, c.pm, c.gc, 1, 1, 4, 4);
        EXPECT_EQ(c.at(3, 3), k.expected) << "function " << k.function;
        EXPECT_EQ(c.at(0, 0), 0xFF604020u) << "outside the rectangle";
    }
}

TEST(XshimGC, ClearAndSetPaintBlackAndWhiteWhateverTheForeground) {
    Canvas c(4, 4);
    c.clear(0xFF808080);
    XSetForeground(dpy, c.gc, 0xFFFF0000);
    XSetFunction(dpy, c.gc, GXclear);
    XFillRectangle(dpy, c.pm, c.gc, 0, 0, 2, 4);
    XSetFunction(dpy, c.gc, GXset);
    XFillRectangle(dpy, c.pm, c.gc, 2, 0, 2, 4);
    EXPECT_EQ(c.at(0, 1), 0xFF000000u);
    EXPECT_EQ(c.at(3, 1), 0xFFFFFFFFu);

    Canvas m(4, 4, 1);
    XSetFunction(dpy, m.gc, GXset);
    XSetForeground(dpy, m.gc, 0);
    XFillRectangle(dpy, m.pm, m.gc, 0, 0, 1, 1);
    EXPECT_EQ(m.at(0, 0), 0xFFFFFFFFu);
}

TEST(XshimGC, UnknownFunctionIsRejectedWhenNextUsed) {
    Canvas c(4, 4);
    EXPECT_EQ(abortReason([&] { XSetFunction(dpy, c.gc, GXnoop); }), "<no exception>");
    EXPECT_EQ(abortReason([&] { XFillRectangle(dpy, c.pm, c.gc, 0, 0, 4, 4); }), "unknown gcv function");
    EXPECT_EQ(abortReason([&] { XDrawLine(dpy, c.pm, c.gc, 0, 0, 3, 3); }), "unknown gcv function");
    EXPECT_EQ(c.at(1, 1), 0xFF000000u);
}

TEST(XshimGC, ClipMaskPaintsWhereTheMaskIsLightAndIsAPrivateCopy) {
    Canvas mask(4, 4, 1);
    XSetForeground(dpy, mask.gc, 1);
    XFillRectangle(dpy, mask.pm, mask.gc, 0, 0, 2, 4);  // left half set

    Canvas c(10, 10);
    XSetClipMask(dpy, c.gc, mask.pm);
    XSetClipOrigin(dpy, c.gc, 3, 2);
    XSetForeground(dpy, c.gc, 0xFFFF0000);
    XFillRectangle(dpy, c.pm, c.gc, 0, 0, 10, 10);
    EXPECT_EQ(c.at(3, 2), 0xFFFF0000u);
    EXPECT_EQ(c.at(4, 5), 0xFFFF0000u);
    EXPECT_EQ(c.at(5, 2), 0xFF000000u) << "dark mask pixel";
    EXPECT_EQ(c.at(3, 6), 0xFF000000u) << "below the mask";
    EXPECT_EQ(c.at(2, 2), 0xFF000000u) << "left of the mask";

    // Drawing into the source pixmap later leaves the GC's clip alone.
    mask.clear(1);
    XSetForeground(dpy, c.gc, 0xFF00FF00);
    XFillRectangle(dpy, c.pm, c.gc, 0, 0, 10, 10);
    EXPECT_EQ(c.at(3, 2), 0xFF00FF00u);
    EXPECT_EQ(c.at(5, 2), 0xFF000000u);

    // Without a clip everything paints again.
    XSetClipMask(dpy, c.gc, nullptr);
    XFillRectangle(dpy, c.pm, c.gc, 0, 0, 10, 10);
    EXPECT_EQ(c.at(9, 9), 0xFF00FF00u);
}

TEST(XshimGC, ClipMaskErrors) {
    Canvas mask(2, 2, 1), c(4, 4);
    xshim_drawable window{};
    window.kind = XSHIM_WINDOW;
    EXPECT_EQ(abortReason([&] { XSetClipMask(dpy, c.gc, &window); }), "not a pixmap");

    XSetClipMask(dpy, c.gc, mask.pm);
    auto region = std::move(c.gc->clip_region);  // corrupt the record
    EXPECT_EQ(abortReason([&] { XFillRectangle(dpy, c.pm, c.gc, 0, 0, 1, 1); }), "GC clip mask mixup");
    c.gc->clip_region = std::move(region);
}

TEST(XshimPrimitives, PointsWritePixelMemoryAndSkipOutsiders) {
    Canvas c(10, 10);
    XSetForeground(dpy, c.gc, 0xFF112233);
    XSetFunction(dpy, c.gc, GXxor);  // not applied to pixmap points
    XPoint pts[] = {{0, 0}, {10, 0}, {-1, 3}, {9, 9}};
    XDrawPoints(dpy, c.pm, c.gc, pts, 4, CoordModeOrigin);
    EXPECT_EQ(c.at(0, 0), 0xFF112233u);
    EXPECT_EQ(c.at(9, 9), 0xFF112233u);
    EXPECT_EQ(c.at(9, 0), 0xFF000000u);
    EXPECT_EQ(c.at(0, 3), 0xFF000000u);

    // Relative points accumulate; XGetImage reads the colours back.
    XSetForeground(dpy, c.gc, 0xFFA0B0C0);
    XPoint rel[] = {{2, 2}, {1, 0}, {0, 3}, {-5, 0}};
    XDrawPoints(dpy, c.pm, c.gc, rel, 4, CoordModePrevious);
    XImage *img = XGetImage(dpy, c.pm, 0, 0, 10, 10, AllPlanes, ZPixmap);
    EXPECT_EQ(XGetPixel(img, 2, 2), 0xFFA0B0C0u);
    EXPECT_EQ(XGetPixel(img, 3, 2), 0xFFA0B0C0u);
    EXPECT_EQ(XGetPixel(img, 3, 5), 0xFFA0B0C0u);
    EXPECT_EQ(XGetPixel(img, 0, 0), 0xFF112233u);
    EXPECT_EQ(XGetPixel(img, 4, 4), 0xFF000000u);
    XDestroyImage(img);

    // Mono points are black or white words.
    Canvas m(4, 4, 1);
    XDrawPoint(dpy, m.pm, m.gc, 1, 1);
    EXPECT_EQ(m.at(1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(m.at(0, 0), 0xFF000000u);
}

TEST(XshimPrimitives, ZeroLengthLineIsADotAsWideAsTheLine) {
    Canvas c(12, 12);
    xshim_XSetAntiAliasing(dpy, c.gc, False);
    XSetLineAttributes(dpy, c.gc, 4, LineSolid, CapButt, JoinMiter);
    XDrawLine(dpy, c.pm, c.gc, 5, 5, 5, 5);
    EXPECT_EQ(c.at(3, 3), 0xFFFFFFFFu);
    EXPECT_EQ(c.at(6, 6), 0xFFFFFFFFu);
    EXPECT_EQ(c.at(7, 7), 0xFF000000u);
    EXPECT_EQ(c.at(2, 3), 0xFF000000u);

    c.clear(0xFF000000);
    XSetForeground(dpy, c.gc, 0xFFFFFFFF);
    XSetLineAttributes(dpy, c.gc, 4, LineSolid, CapRound, JoinMiter);
    XDrawLine(dpy, c.pm, c.gc, 5, 5, 5, 5);
    EXPECT_EQ(c.at(4, 4), 0xFFFFFFFFu);
    EXPECT_EQ(c.at(5, 5), 0xFFFFFFFFu);
    EXPECT_EQ(c.at(3, 3), 0xFF000000u) << "the circle's corner stays empty";
}

TEST(XshimPrimitives, LinesSegmentsAndRectangles) {
    Canvas c(40, 40);
    XSetForeground(dpy, c.gc, 0xFF00FF00);
    XSetLineAttributes(dpy, c.gc, 3, LineSolid, CapButt, JoinMiter);
    XDrawLine(dpy, c.pm, c.gc, 2, 30, 38, 30);  // horizontal, rows 29..30 fully
    EXPECT_EQ(c.at(20, 30), 0xFF00FF00u);
    EXPECT_EQ(c.at(20, 26), 0xFF000000u);
    EXPECT_EQ(c.at(0, 30), 0xFF000000u) << "butt cap";

    XSegment segs[] = {{5, 2, 5, 20}, {10, 2, 10, 20}};
    XDrawSegments(dpy, c.pm, c.gc, segs, 2);
    EXPECT_EQ(c.at(5, 10), 0xFF00FF00u);
    EXPECT_EQ(c.at(10, 10), 0xFF00FF00u);
    EXPECT_EQ(c.at(7, 10), 0xFF000000u) << "no line joins the segments";

    // An outline is centred on the rectangle's edges.
    c.clear(0xFF000000);
    XSetForeground(dpy, c.gc, 0xFFFFFFFF);
    XDrawRectangle(dpy, c.pm, c.gc, 10, 10, 20, 20);
    EXPECT_EQ(c.at(10, 20), 0xFFFFFFFFu);
    EXPECT_EQ(c.at(30, 20), 0xFFFFFFFFu);
    EXPECT_EQ(c.at(20, 30), 0xFFFFFFFFu);
    EXPECT_EQ(c.at(20, 20), 0xFF000000u);

    XRectangle rs[] = {{0, 0, 2, 2}, {38, 38, 2, 2}};
    XFillRectangles(dpy, c.pm, c.gc, rs, 2);
    EXPECT_EQ(c.at(1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(c.at(39, 39), 0xFFFFFFFFu);
    EXPECT_EQ(c.at(2, 2), 0xFF000000u);
}

TEST(XshimPrimitives, PolylineWhoseEndsMeetIsClosedWithAJoin) {
    XPoint closed[] = {{20, 20}, {40, 20}, {40, 40}, {20, 20}};
    XPoint open[] = {{20, 20}, {40, 20}, {40, 40}, {21, 21}};
    Canvas a(50, 50), b(50, 50);
    for (Canvas *c : {&a, &b}) XSetLineAttributes(dpy, c->gc, 6, LineSolid, CapButt, JoinMiter);
    XDrawLines(dpy, a.pm, a.gc, closed, 4, CoordModeOrigin);
    XDrawLines(dpy, b.pm, b.gc, open, 4, CoordModeOrigin);
    // The miter at the start vertex reaches up and left of it.
    EXPECT_EQ(a.at(16, 18), 0xFFFFFFFFu);
    EXPECT_EQ(b.at(16, 18), 0xFF000000u);
    // Both draw the diagonal.
    EXPECT_EQ(a.at(30, 30), 0xFFFFFFFFu);
    EXPECT_EQ(b.at(30, 30), 0xFFFFFFFFu);

    // Relative coordinates: the same triangle.
    Canvas r(50, 50);
    XSetLineAttributes(dpy, r.gc, 6, LineSolid, CapButt, JoinMiter);
    XPoint rel[] = {{20, 20}, {20, 0}, {0, 20}, {-20, -20}};
    XDrawLines(dpy, r.pm, r.gc, rel, 4, CoordModePrevious);
    EXPECT_EQ(r.at(30, 20), 0xFFFFFFFFu);
    EXPECT_EQ(r.at(40, 30), 0xFFFFFFFFu);
    EXPECT_EQ(r.at(30, 30), 0xFFFFFFFFu);
}

TEST(XshimPrimitives, PolygonFillRules) {
    // The square wound twice: even-odd leaves it empty, winding fills it.
    XPoint twice[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}, {10, 0}, {10, 10}, {0, 10}};
    Canvas c(12, 12);
    XFillPolygon(dpy, c.pm, c.gc, twice, 8, Complex, CoordModeOrigin);
    EXPECT_EQ(c.at(5, 5), 0xFF000000u);
    XGCValues v{};
    v.fill_rule = WindingRule;
    XChangeGC(dpy, c.gc, GCFillRule, &v);
    XFillPolygon(dpy, c.pm, c.gc, twice, 8, Complex, CoordModeOrigin);
    EXPECT_EQ(c.at(5, 5), 0xFFFFFFFFu);
    EXPECT_EQ(c.at(11, 5), 0xFF000000u);

    // A triangle in relative coordinates: the upper-left half of a square.
    Canvas t(12, 12);
    xshim_XSetAntiAliasing(dpy, t.gc, False);
    XPoint rel[] = {{0, 0}, {10, 0}, {-10, 10}};
    XFillPolygon(dpy, t.pm, t.gc, rel, 3, Convex, CoordModePrevious);
    EXPECT_EQ(t.at(2, 2), 0xFFFFFFFFu);
    EXPECT_EQ(t.at(8, 8), 0xFF000000u);
}

TEST(XshimPrimitives, ArcsTurnCounterClockwiseForPositiveAngles) {
    Canvas c(20, 20);
    XFillArc(dpy, c.pm, c.gc, 0, 0, 20, 20, 0, 90 * 64);
    EXPECT_EQ(c.at(15, 5), 0xFFFFFFFFu) << "upper right quarter";
    EXPECT_EQ(c.at(5, 5), 0xFF000000u);
    EXPECT_EQ(c.at(15, 15), 0xFF000000u);

    c.clear(0xFF000000);
    XSetForeground(dpy, c.gc, 0xFFFFFFFF);
    XFillArc(dpy, c.pm, c.gc, 0, 0, 20, 20, 0, -90 * 64);
    EXPECT_EQ(c.at(15, 15), 0xFFFFFFFFu) << "clockwise: lower right quarter";
    EXPECT_EQ(c.at(15, 5), 0xFF000000u);

    // A full circle outline: the rim is drawn, the centre is not.
    c.clear(0xFF000000);
    XSetForeground(dpy, c.gc, 0xFFFFFFFF);
    XSetLineAttributes(dpy, c.gc, 2, LineSolid, CapButt, JoinMiter);
    XArc arcs[] = {{2, 2, 16, 16, 0, 360 * 64}};
    XDrawArcs(dpy, c.pm, c.gc, arcs, 1);
    EXPECT_EQ(c.at(10, 2), 0xFFFFFFFFu);
    EXPECT_EQ(c.at(2, 10), 0xFFFFFFFFu);
    EXPECT_EQ(c.at(10, 10), 0xFF000000u);
    XFillArcs(dpy, c.pm, c.gc, arcs, 1);
    EXPECT_EQ(c.at(10, 10), 0xFFFFFFFFu);
}

TEST(XshimPrimitives, DrawingDropsTheCachedSnapshot) {
    Canvas c(4, 4);
    c.pm->context->takeSnapshot();
    XDrawPoint(dpy, c.pm, c.gc, 1, 1);
    EXPECT_FALSE(c.pm->context->hasSnapshot());
}

TEST(XshimPrimitives, ContextHelpersForText) {
    // What the font code relies on: a painter with the GC's colour in both
    // pen and brush, y-up, and gcEnd dropping the snapshot.
    Canvas c(8, 8);
    XSetForeground(dpy, c.gc, 0xFF0000FF);
    {
        platform::Painter2D p = gcBegin(c.pm, c.gc, true);
        EXPECT_EQ(p.fill().argb, 0xFF0000FFu);
        p.fillRect(platform::Rect::make(0, 0, 8, 1));  // bottom row in y-up terms
    }
    gcEnd(c.pm);
    EXPECT_EQ(c.at(3, 7), 0xFF0000FFu);
    EXPECT_EQ(c.at(3, 0), 0xFF000000u);
}
