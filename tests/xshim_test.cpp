// The emulated display, its screen, visual and window over a saver view.
#include "tests/support/test_support.h"

#include <QWindow>

#include "xshim/xshim_private.h"
#include "platform/geometry.h"
#include "platform/context2d.h"
#include "platform/view.h"

using namespace somnel::xshim;
using testsupport::abortReason;

// The emulation's abort texts and its pixel checks.
TEST(Xshim, AbortTexts) {
    EXPECT_EQ(abortReason([] { validate_pixel(0x00FF0000, 32, false); }), "bogus color pixel");
    EXPECT_EQ(abortReason([] { validate_pixel(2, 1, false); }), "bogus mono pixel");
    EXPECT_EQ(abortReason([] { validate_pixel(0xFFFF0000, 32, false); }), "<no exception>");
    EXPECT_EQ(abortReason([] { xshim_abort("%s", ""); }), "");
    EXPECT_EQ(abortReason([] { xshim_abort(nullptr); }), "abort");
}

namespace {

// A view placed at a chosen spot on a screen of a chosen height.
class PlacedView : public platform::ScreenSaverView {
public:
    PlacedView(double w, double h) : ScreenSaverView(platform::Rect::make(0, 0, w, h), true) {}
    platform::Point topLeftOnScreen() const override { return topLeft; }
    double screenHeight() const override { return screen; }
    unsigned displayId() const override { return id; }
    void setPointer(double x, double y) { pointer_ = platform::Point{x, y}; }

    platform::Point topLeft{0, 0};
    double screen = 1024;
    unsigned id = 7;
};

// A pixmap record made by hand (pixmaps come from the image calls).
struct HandPixmap {
    explicit HandPixmap(int depth, int w, int h) {
        rec.kind = XSHIM_PIXMAP;
        rec.depth = depth;
        rec.frame[2] = w;
        rec.frame[3] = h;
    }
    xshim_drawable rec{};
};

class XshimDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        view = std::make_unique<PlacedView>(40, 30);
        dpy = xshim_make_display(view.get(), nullptr);
        win = XRootWindow(dpy, 0);
        xshim_window_resized(dpy, win, 0, 0, 40, 30, nullptr);
    }
    void TearDown() override { xshim_free_display(dpy); }
    QImage &image() { return view->graphicsContext()->image(); }
    // How many pixels of the view's image hold this pixel value.
    int count(QRgb value) {
        int n = 0;
        for (int y = 0; y < image().height(); y++)
            for (int x = 0; x < image().width(); x++) n += image().pixel(x, y) == value;
        return n;
    }

    std::unique_ptr<PlacedView> view;
    Display *dpy = nullptr;
    Window win = nullptr;
};

}  // namespace

TEST_F(XshimDisplay, RecordsAndAccessors) {
    Screen *s = XDefaultScreenOfDisplay(dpy);
    Visual *v = XDefaultVisualOfScreen(s);
    EXPECT_EQ(XDisplayOfScreen(s), dpy);
    EXPECT_EQ(v->class_, TrueColor);
    EXPECT_EQ(v->red_mask, 0xFF0000UL);
    EXPECT_EQ(v->green_mask, 0xFF00UL);
    EXPECT_EQ(v->blue_mask, 0xFFUL);
    EXPECT_EQ(v->bits_per_rgb, 8);
    EXPECT_EQ(XScreenNumberOfScreen(s), 0);
    EXPECT_EQ(XDisplayNumberOfScreen(s), 0);
    EXPECT_EQ(XDisplayWidth(dpy, 0), 40);
    EXPECT_EQ(XDisplayHeight(dpy, 0), 30);
    EXPECT_EQ(xshim_window_view(win), view.get());
    EXPECT_EQ(win->context, view->graphicsContext());
    EXPECT_EQ(win->background, 0xFF000000UL);
    EXPECT_EQ(dpy->display_id, 7u);
    EXPECT_NE(display_sources_data(dpy), nullptr);

    EXPECT_FALSE(has_writable_cells(s, v));
    EXPECT_EQ(visual_depth(s, v), 32);
    EXPECT_EQ(visual_cells(s, v), 0xFFFFFF);
    EXPECT_EQ(visual_class(s, v), 4);
    EXPECT_FALSE(use_subwindow_mode_p(s, win));
    EXPECT_EQ(XKeycodeToKeysym(dpy, 0xFF52, 0), 0xFF52UL);
    EXPECT_EQ(XFlush(dpy), 0);
    EXPECT_EQ(XSync(dpy, False), 0);
}

TEST_F(XshimDisplay, MakeAndResizeFailures) {
    EXPECT_EQ(abortReason([] { xshim_make_display(nullptr, nullptr); }), "no view");

    // A context given by the caller is the one the window draws into.
    platform::Context2D own(8, 8);
    Display *d2 = xshim_make_display(view.get(), &own);
    EXPECT_EQ(XRootWindow(d2, 0)->context, &own);
    xshim_free_display(d2);

    view->id = 0;
    EXPECT_EQ(abortReason([&] { xshim_window_resized(dpy, win, 0, 0, 40, 30, nullptr); }),
              "unable to find CGDisplay");
    view->id = 3;
    win->context = nullptr;
    EXPECT_EQ(abortReason([&] { xshim_window_resized(dpy, win, 0, 0, 40, 30, nullptr); }),
              "no CGContext");
    xshim_window_resized(dpy, win, 0, 0, 40, 30, view->graphicsContext());
    EXPECT_EQ(dpy->display_id, 3u);

    // A resize drops the window's cached snapshot.
    win->context->takeSnapshot();
    xshim_window_resized(dpy, win, 0, 0, 20, 10, nullptr);
    EXPECT_FALSE(win->context->hasSnapshot());
    EXPECT_EQ(XDisplayWidth(dpy, 0), 20);
}

TEST_F(XshimDisplay, ClearWindowFillsEveryPixelWithTheBackground) {
    image().fill(0xFF000000u);
    XSetWindowBackground(dpy, win, 0xFF123456);
    win->context->takeSnapshot();
    EXPECT_EQ(XClearWindow(dpy, win), 0);
    EXPECT_EQ(count(0xFF123456), 40 * 30);
    EXPECT_FALSE(win->context->hasSnapshot());
    // The fill colour stays set after the clear.
    EXPECT_EQ(win->context->fillColor().argb, 0xFF123456u);
}

TEST_F(XshimDisplay, ClearAreaUsesTopDownCoordinatesAndTheWindowFrame) {
    image().fill(0xFF000000u);
    XSetWindowBackground(dpy, win, 0xFFFF0000);
    XClearArea(dpy, win, 2, 3, 4, 5, True);
    EXPECT_EQ(count(0xFFFF0000), 4 * 5);
    EXPECT_EQ(image().pixel(2, 3), 0xFFFF0000u);
    EXPECT_EQ(image().pixel(5, 7), 0xFFFF0000u);
    EXPECT_EQ(image().pixel(1, 3), 0xFF000000u);
    EXPECT_EQ(image().pixel(2, 8), 0xFF000000u);

    // A window placed at (5, 2) in its context, 20 x 10: its top-left X
    // corner is image pixel (5, 30 - 2 - 10).
    image().fill(0xFF000000u);
    xshim_window_resized(dpy, win, 5, 2, 20, 10, nullptr);
    XClearWindow(dpy, win);
    EXPECT_EQ(count(0xFFFF0000), 20 * 10);
    EXPECT_EQ(image().pixel(5, 18), 0xFFFF0000u);
    EXPECT_EQ(image().pixel(24, 27), 0xFFFF0000u);
    EXPECT_EQ(image().pixel(4, 18), 0xFF000000u);
    EXPECT_EQ(image().pixel(5, 28), 0xFF000000u);
}

TEST_F(XshimDisplay, BogusBackgroundPixelsAbortAndChangeNothing) {
    EXPECT_EQ(abortReason([&] { XSetWindowBackground(dpy, win, 0x00FF0000); }), "bogus color pixel");
    EXPECT_EQ(win->background, 0xFF000000UL);
    EXPECT_EQ(abortReason([&] { XSetWindowBackground(dpy, win, 0xFFFF0000); }), "<no exception>");
    EXPECT_EQ(win->background, 0xFFFF0000UL);
    platform::Context2D cg(2, 2);
    EXPECT_EQ(abortReason([&] { set_color(&cg, 2, 1, false, true); }), "bogus mono pixel");
    set_color(&cg, 1, 1, false, true);
    EXPECT_EQ(cg.fillColor().argb, 0xFFFFFFFFu);
}

TEST_F(XshimDisplay, WindowCallsRejectPixmapsAndNone) {
    HandPixmap pix(32, 4, 4);
    Drawable p = &pix.rec;
    XWindowAttributes a;
    for (Drawable d : {p, static_cast<Drawable>(nullptr)}) {
        EXPECT_EQ(abortReason([&] { XClearWindow(dpy, d); }), "not a window");
        EXPECT_EQ(abortReason([&] { XClearArea(dpy, d, 0, 0, 1, 1, False); }), "not a window");
        EXPECT_EQ(abortReason([&] { XSetWindowBackground(dpy, d, 0xFF000000); }), "not a window");
        EXPECT_EQ(abortReason([&] { XGetWindowAttributes(dpy, d, &a); }), "not a window");
        EXPECT_EQ(abortReason([&] { xshim_window_view(d); }), "not a window");
        EXPECT_EQ(abortReason([&] { xshim_window_resized(dpy, d, 0, 0, 1, 1, nullptr); }),
                  "not a window");
        EXPECT_EQ(abortReason([&] { XTranslateCoordinates(dpy, d, win, 0, 0, nullptr, nullptr, nullptr); }),
                  "not a window");
        EXPECT_EQ(abortReason([&] {
                      XQueryPointer(dpy, d, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
                  }),
                  "not a window");
    }
}

TEST_F(XshimDisplay, AttributesAndGeometry) {
    xshim_window_resized(dpy, win, 3, 4, 33, 22, nullptr);
    XWindowAttributes a;
    memset(&a, 0x5A, sizeof a);
    EXPECT_EQ(XGetWindowAttributes(dpy, win, &a), 0);
    EXPECT_EQ(a.x, 3);
    EXPECT_EQ(a.y, 4);
    EXPECT_EQ(a.width, 33);
    EXPECT_EQ(a.height, 22);
    EXPECT_EQ(a.border_width, 0);
    EXPECT_EQ(a.depth, 32);
    EXPECT_EQ(a.colormap, 0UL);
    EXPECT_EQ(a.visual, XDefaultVisualOfScreen(XDefaultScreenOfDisplay(dpy)));
    EXPECT_EQ(a.screen, XDefaultScreenOfDisplay(dpy));

    Window root = nullptr;
    int x = -1, y = -1;
    unsigned w = 0, h = 0, bw = 9, depth = 0;
    EXPECT_EQ(XGetGeometry(dpy, win, &root, &x, &y, &w, &h, &bw, &depth), 1);
    EXPECT_EQ(root, win);
    EXPECT_EQ(x, 3);
    EXPECT_EQ(y, 4);
    EXPECT_EQ(w, 33u);
    EXPECT_EQ(h, 22u);
    EXPECT_EQ(bw, 0u);
    EXPECT_EQ(depth, 32u);

    HandPixmap mono(1, 8, 5);
    EXPECT_EQ(XGetGeometry(dpy, &mono.rec, &root, &x, &y, &w, &h, &bw, &depth), 1);
    EXPECT_EQ(depth, 1u);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(w, 8u);
    EXPECT_EQ(h, 5u);
    EXPECT_EQ(root, win);
}

TEST_F(XshimDisplay, LookupStringStoresAtMostTwoBytes) {
    XEvent e{};
    e.xkey.type = KeyPress;
    e.xkey.keycode = 0x1234 | 'g';
    char buf[4] = {'x', 'x', 'x', 'x'};
    KeySym sym = 0;
    EXPECT_EQ(XLookupString(&e.xkey, buf, 0, &sym, nullptr), 0);
    EXPECT_EQ(sym, 0x1234UL | 'g');
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(XLookupString(&e.xkey, buf, 1, nullptr, nullptr), 0);
    EXPECT_EQ(buf[0], char(0x34 | 'g'));
    EXPECT_EQ(buf[1], 'x');
    e.xkey.keycode = 'g';
    EXPECT_EQ(XLookupString(&e.xkey, buf, 4, &sym, nullptr), 0);
    EXPECT_EQ(buf[0], 'g');
    EXPECT_EQ(buf[1], 0);
    EXPECT_EQ(buf[2], 'x');
}

TEST_F(XshimDisplay, ScreenCoordinates) {
    int x = -1, y = -1;
    Window child = nullptr;
    EXPECT_EQ(XTranslateCoordinates(dpy, win, nullptr, 0, 0, &x, &y, &child), 1);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(child, win);

    view->topLeft = platform::Point{100, 50};
    XTranslateCoordinates(dpy, win, win, 3, 7, &x, &y, nullptr);
    EXPECT_EQ(x, 103);
    EXPECT_EQ(y, 57);

    // The pointer at (10, 5) from the view's bottom-left (y-up) is 25 below
    // the top of the 30-high window.
    view->setPointer(10, 5);
    Window root = win, ch = win;
    int rx = -1, ry = -1, wx = -1, wy = -1;
    unsigned mask = 99;
    EXPECT_EQ(XQueryPointer(dpy, win, &root, &ch, &rx, &ry, &wx, &wy, &mask), 1);
    EXPECT_EQ(wx, 10);
    EXPECT_EQ(wy, 25);
    EXPECT_EQ(rx, 110);
    EXPECT_EQ(ry, 75);
    EXPECT_EQ(mask, 0u);
    EXPECT_EQ(root, nullptr);
    EXPECT_EQ(ch, nullptr);
    // Every result is optional.
    EXPECT_EQ(XQueryPointer(dpy, win, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 1);
}

// A view placed away from its window's origin: screen coordinates count
// from the view, not from the window (the platform's own placement, not a
// stand-in's).
TEST(XshimScreen, CoordinatesCountFromTheViewInsideItsWindow) {
    QWindow window;
    window.setGeometry(100, 50, 80, 60);
    // 40x30, 10 from the window's left edge and 5 up from its bottom: its
    // top is 60 - 5 - 30 = 25 below the window's.
    platform::ScreenSaverView view(platform::Rect::make(10, 5, 40, 30), true);
    view.setWindow(&window);
    const double dpr = window.devicePixelRatio();
    Display *dpy = xshim_make_display(&view, nullptr);
    Window win = XRootWindow(dpy, 0);
    xshim_window_resized(dpy, win, 0, 0, 40, 30, nullptr);
    int x = -1, y = -1;
    XTranslateCoordinates(dpy, win, win, 3, 7, &x, &y, nullptr);
    EXPECT_EQ(x, int(100 + 10 / dpr + 3));
    EXPECT_EQ(y, int(50 + 60 - (5 + 30) / dpr + 7));
    int rx = -1, ry = -1;
    XQueryPointer(dpy, win, nullptr, nullptr, &rx, &ry, nullptr, nullptr, nullptr);
    // The pointer was never seen: the view's bottom-left corner.
    EXPECT_EQ(rx, int(100 + 10 / dpr));
    EXPECT_EQ(ry, int(50 + 60 - 5 / dpr));
    xshim_free_display(dpy);
}
