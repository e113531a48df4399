// The saver view base: ticks, backing context, cursor hiding, where the view
// sits, and what input ends a full-screen saver.
#include "tests/support/test_support.h"

#include "platform/geometry.h"
#include "platform/log.h"
#include "platform/context2d.h"
#include "platform/event.h"
#include "platform/view.h"

#include <QCursor>
#include <QGuiApplication>
#include <QRasterWindow>
#include <QScreen>

using platform::Event;
using platform::Rect;
using platform::ScreenSaverView;

namespace {

bool cursorBlank() {
    return QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::BlankCursor;
}

struct Counting : ScreenSaverView {
    using ScreenSaverView::ScreenSaverView;
    void animateOneFrame() override {
        frames++;
        if (throwOnFrame) platform::raiseInconsistency("frame %d failed", frames);
    }
    int frames = 0;
    bool throwOnFrame = false;
};

Event mouse(Event::Type type, double x, double y) {
    Event e;
    e.type = type;
    e.locationInWindow = {x, y};
    return e;
}

Event key(Event::Type type, unsigned flags = 0) {
    Event e;
    e.type = type;
    e.modifierFlags = flags;
    e.characters = e.charactersIgnoringModifiers = "a";
    return e;
}

}  // namespace

TEST(ScreenSaverView, TicksWhileAnimatingAndReportsFrameErrors) {
    Counting view(Rect::make(0, 0, 10, 10), true);
    EXPECT_DOUBLE_EQ(view.animationTimeInterval(), 1.0 / 30.0);
    view.setAnimationTimeInterval(0.01);
    view.startAnimation();
    EXPECT_TRUE(view.isAnimating());
    // The ticks come from a real timer: wait for them, not for an amount of
    // time that a loaded machine may not give.
    EXPECT_TRUE(testsupport::waitFor([&] { return view.frames >= 5; })) << view.frames;
    view.stopAnimation();
    int stopped = view.frames;
    testsupport::letEventsRun(60);
    EXPECT_EQ(view.frames, stopped);

    std::vector<std::string> errors;
    platform::setFrameErrorHandler([&](const std::string &r) { errors.push_back(r); });
    view.throwOnFrame = true;
    view.startAnimation();
    testsupport::waitFor([&] { return !errors.empty(); });
    view.stopAnimation();
    platform::setFrameErrorHandler(nullptr);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors[0].rfind("frame ", 0), 0u);
}

TEST(ScreenSaverView, BackingContextFollowsTheFrame) {
    ScreenSaverView view(Rect::make(5, 6, 30, 20), false);
    EXPECT_EQ(view.bounds().origin.x, 0);
    platform::Context2D *cg = view.graphicsContext();
    EXPECT_EQ(cg->width(), 30);
    EXPECT_EQ(cg->height(), 20);
    view.setFrameSize(platform::Size{12, 40});
    EXPECT_EQ(view.graphicsContext(), cg);
    EXPECT_EQ(cg->width(), 12);
    EXPECT_EQ(cg->height(), 40);
    EXPECT_EQ(view.frame().origin.x, 5);
    cg->setFillColor(Qt::green);
    cg->fillRect(Rect::make(0, 0, 12, 40));
    EXPECT_EQ(view.grabFrame().pixel(3, 3), 0xFF00FF00u);
}

TEST(ScreenSaverView, CursorHiddenUntilTheMouseMoves) {
    ASSERT_FALSE(cursorBlank());
    ScreenSaverView full(Rect::make(0, 0, 100, 100), false);
    full.startAnimation();
    for (int tick = 0; tick < 3; tick++) full.setCursorHiddenUntilMouseMoves(true);  // every tick
    EXPECT_TRUE(full.cursorHidden());
    EXPECT_TRUE(cursorBlank());

    full.dispatchEvent(mouse(Event::MouseMoved, 50, 50));  // where the pointer was: not a move
    EXPECT_TRUE(cursorBlank());
    full.dispatchEvent(mouse(Event::MouseMoved, 50, 50));
    EXPECT_TRUE(cursorBlank());
    full.dispatchEvent(mouse(Event::MouseMoved, 51, 50));
    EXPECT_FALSE(full.cursorHidden());
    EXPECT_FALSE(cursorBlank());  // pushed three times, popped once: nothing left

    full.setCursorHiddenUntilMouseMoves(true);
    EXPECT_TRUE(cursorBlank());
    full.stopAnimation();
    EXPECT_FALSE(cursorBlank());

    full.setCursorHiddenUntilMouseMoves(true);
    {
        ScreenSaverView preview(Rect::make(0, 0, 10, 10), true);
        preview.setCursorHiddenUntilMouseMoves(true);
        EXPECT_FALSE(preview.cursorHidden());
    }
    EXPECT_TRUE(cursorBlank());
    {
        ScreenSaverView gone(Rect::make(0, 0, 10, 10), false);
        gone.setCursorHiddenUntilMouseMoves(true);
    }
    full.setCursorHiddenUntilMouseMoves(false);
    EXPECT_FALSE(cursorBlank());  // a destroyed view gives its cursor back
}

TEST(ScreenSaverView, FullScreenEndsOnRealInputOnly) {
    ScreenSaverView view(Rect::make(0, 0, 100, 100), false);
    int exits = 0;
    view.onExitRequested = [&] { exits++; };
    auto ends = [&](const Event &e) {
        int before = exits;
        view.dispatchEvent(e);
        return exits > before;
    };
    EXPECT_FALSE(ends(key(Event::KeyUp)));  // the release of the key that started us
    EXPECT_FALSE(ends(mouse(Event::MouseUp, 10, 10)));
    EXPECT_FALSE(ends(key(Event::FlagsChanged, 0)));  // last modifier released
    EXPECT_FALSE(ends(mouse(Event::MouseMoved, 12, 10)));  // within a hair of where it was seen
    EXPECT_FALSE(ends(mouse(Event::MouseMoved, 11, 12)));
    EXPECT_TRUE(ends(mouse(Event::MouseMoved, 14, 10)));
    EXPECT_TRUE(ends(key(Event::KeyDown)));
    EXPECT_TRUE(ends(key(Event::FlagsChanged, 1u << 17)));
    EXPECT_TRUE(ends(mouse(Event::MouseDown, 10, 10)));
    EXPECT_TRUE(ends(mouse(Event::ScrollWheel, 10, 10)));

    ScreenSaverView preview(Rect::make(0, 0, 100, 100), true);
    preview.onExitRequested = [&] { exits++; };
    int before = exits;
    for (auto e : {key(Event::KeyDown), mouse(Event::MouseDown, 1, 1), mouse(Event::MouseMoved, 90, 90),
                   mouse(Event::ScrollWheel, 1, 1)})
        preview.dispatchEvent(e);
    EXPECT_EQ(exits, before);
}

TEST(ScreenSaverView, PointerIsTrackedEvenWhenASubclassTakesTheEvent) {
    struct Taking : ScreenSaverView {
        using ScreenSaverView::ScreenSaverView;
        void handleEvent(const Event &) override { taken++; }
        int taken = 0;
    } view(Rect::make(10, 20, 100, 100), true);
    view.dispatchEvent(mouse(Event::MouseDown, 30, 70));
    EXPECT_EQ(view.taken, 1);
    EXPECT_EQ(view.lastPointerLocation().x, 20);
    EXPECT_EQ(view.lastPointerLocation().y, 50);
    view.dispatchEvent(key(Event::KeyDown));  // keys carry no position of their own
    EXPECT_EQ(view.lastPointerLocation().x, 20);
}

TEST(ScreenSaverView, PlaceOnScreen) {
    ScreenSaverView view(Rect::make(0, 0, 64, 48), false);
    const unsigned id = view.displayId();
    EXPECT_NE(id, 0u);
    EXPECT_EQ(ScreenSaverView(Rect::make(0, 0, 1, 1), true).displayId(), id);
    EXPECT_EQ(view.screenHeight(), QGuiApplication::screens().first()->geometry().height());
    EXPECT_EQ(view.topLeftOnScreen().x, 0);

    if (QGuiApplication::platformName() != "xcb") GTEST_SKIP() << "window placement needs an X display";
    QRasterWindow window;
    window.setFlag(Qt::FramelessWindowHint);
    window.setGeometry(120, 80, 64, 48);
    window.show();
    ASSERT_TRUE(testsupport::waitExposed(&window));
    view.setWindow(&window);
    EXPECT_EQ(view.topLeftOnScreen().x, 120);
    EXPECT_EQ(view.topLeftOnScreen().y, 80);
    EXPECT_EQ(view.displayId(), id);
}
