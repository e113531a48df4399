// The 2D saver window: the pixels the view drew reach the screen, resizes
// reach the view, and Qt's input arrives as the view's events.
#include "tests/support/test_support.h"

#include "platform/saver_window.h"
#include "platform/geometry.h"
#include "platform/log.h"
#include "platform/context2d.h"
#include "platform/event.h"
#include "platform/view.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>
#include <QWheelEvent>

using platform::Event;
using platform::Rect;
using platform::SaverWindow;
using platform::ScreenSaverView;

namespace {

// Records the events it gets; draws a two-colour frame on request.
struct Recording : ScreenSaverView {
    using ScreenSaverView::ScreenSaverView;
    void handleEvent(const Event &e) override {
        events.push_back(e);
        ScreenSaverView::handleEvent(e);
    }
    void drawRect(Rect) override { drawRects++; }
    // Bottom half (y-up) in `bottom`, top half in `top`.
    void drawFrame(QColor bottom, QColor top) {
        platform::Context2D *cg = graphicsContext();
        cg->setFillColor(bottom);
        cg->fillRect(Rect::make(0, 0, cg->width(), cg->height() / 2));
        cg->setFillColor(top);
        cg->fillRect(Rect::make(0, cg->height() / 2, cg->width(), cg->height() - cg->height() / 2));
        presentFrame();
    }
    std::vector<Event> events;
    int drawRects = 0;
};

QImage grab(SaverWindow &w) {
    return w.screen()->grabWindow(w.winId(), 0, 0, w.width(), w.height()).toImage().convertToFormat(QImage::Format_RGB32);
}

// Both halves of the window show the expected colours.
bool shows(SaverWindow &w, QRgb bottom, QRgb top) {
    QImage img = grab(w);
    if (img.width() < w.width() || img.height() < w.height()) return false;
    return img.pixel(5, img.height() - 3) == bottom && img.pixel(img.width() - 5, 2) == top;
}

void send(QWindow &w, QEvent &e) { QGuiApplication::sendEvent(&w, &e); }

}  // namespace

TEST(SaverWindow, ShowsWhatTheViewDraws) {
    Recording view(Rect::make(0, 0, 120, 80), true);
    SaverWindow window(&view);
    EXPECT_EQ(view.window(), &window);
    EXPECT_EQ(window.size(), QSize(120, 80));
    window.setFlag(Qt::FramelessWindowHint);
    window.show();
    ASSERT_TRUE(testsupport::waitExposed(&window));

    view.drawFrame(Qt::red, Qt::blue);
    EXPECT_TRUE(testsupport::waitFor([&] { return shows(window, 0xFFFF0000u, 0xFF0000FFu); }));
    EXPECT_GE(view.drawRects, 1);  // the first expose asked the view to draw

    // A new frame replaces the old one without a redraw request to the view.
    const int rects = view.drawRects;
    view.drawFrame(Qt::green, Qt::white);
    EXPECT_TRUE(testsupport::waitFor([&] { return shows(window, 0xFF00FF00u, 0xFFFFFFFFu); }));
    EXPECT_EQ(view.drawRects, rects);

    // A resize reaches the view's frame and its backing image.
    window.resize(90, 70);
    ASSERT_TRUE(testsupport::waitFor([&] { return view.frame().size.width == 90; }));
    EXPECT_EQ(view.frame().size.height, 70);
    EXPECT_EQ(view.graphicsContext()->width(), 90);
    view.drawFrame(Qt::yellow, Qt::black);
    EXPECT_TRUE(testsupport::waitFor([&] { return shows(window, 0xFFFFFF00u, 0xFF000000u); }));
}

TEST(SaverWindow, KeysArriveAsViewEvents) {
    Recording view(Rect::make(0, 0, 100, 80), true);
    SaverWindow window(&view);

    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::ShiftModifier, "A");
    send(window, a);
    ASSERT_EQ(view.events.size(), 1u);
    EXPECT_EQ(view.events[0].type, Event::KeyDown);
    EXPECT_EQ(view.events[0].characters, "A");
    EXPECT_EQ(view.events[0].charactersIgnoringModifiers, "A");
    EXPECT_EQ(view.events[0].modifierFlags & (1u << 17), 1u << 17);

    QKeyEvent ctrl(QEvent::KeyPress, Qt::Key_G, Qt::ControlModifier, "\x07");
    send(window, ctrl);
    EXPECT_EQ(view.events.back().characters, "\x07");
    EXPECT_EQ(view.events.back().charactersIgnoringModifiers, "g");
    EXPECT_EQ(view.events.back().modifierFlags & (1u << 18), 1u << 18);

    QKeyEvent up(QEvent::KeyRelease, Qt::Key_Up, Qt::NoModifier);
    send(window, up);
    EXPECT_EQ(view.events.back().type, Event::KeyUp);
    EXPECT_EQ(view.events.back().characters, "\xEF\x9C\x80");  // U+F700
    QKeyEvent pgdn(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
    send(window, pgdn);
    EXPECT_EQ(QString::fromStdString(view.events.back().characters), QString(QChar(0xF72D)));

    QKeyEvent eacute(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, "é");
    send(window, eacute);
    EXPECT_EQ(view.events.back().characters, "é");

    // Modifier keys change flags rather than type; auto-repeat releases vanish.
    size_t n = view.events.size();
    QKeyEvent shiftDown(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
    send(window, shiftDown);
    EXPECT_EQ(view.events.back().type, Event::FlagsChanged);
    EXPECT_EQ(view.events.back().modifierFlags, 1u << 17);
    QKeyEvent shiftUp(QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier);
    send(window, shiftUp);
    EXPECT_EQ(view.events.back().type, Event::FlagsChanged);
    EXPECT_EQ(view.events.back().modifierFlags, 0u);
    QKeyEvent repeat(QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, "a", true);
    send(window, repeat);
    EXPECT_EQ(view.events.size(), n + 2);
}

TEST(SaverWindow, MouseAndWheelArriveYUp) {
    Recording view(Rect::make(0, 0, 100, 80), true);
    SaverWindow window(&view);
    window.resize(100, 80);

    QMouseEvent press(QEvent::MouseButtonPress, QPointF(10, 10), QPointF(10, 10), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    send(window, press);
    ASSERT_EQ(view.events.size(), 1u);
    EXPECT_EQ(view.events[0].type, Event::MouseDown);
    EXPECT_EQ(view.events[0].buttonNumber, 0);
    EXPECT_EQ(view.events[0].locationInWindow.x, 10);
    EXPECT_EQ(view.events[0].locationInWindow.y, 70);

    QMouseEvent drag(QEvent::MouseMove, QPointF(20, 30), QPointF(20, 30), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    send(window, drag);
    EXPECT_EQ(view.events.back().type, Event::MouseDragged);
    EXPECT_EQ(view.lastPointerLocation().y, 50);

    QMouseEvent right(QEvent::MouseButtonRelease, QPointF(1, 1), QPointF(1, 1), Qt::RightButton,
                      Qt::NoButton, Qt::AltModifier);
    send(window, right);
    EXPECT_EQ(view.events.back().type, Event::MouseUp);
    EXPECT_EQ(view.events.back().buttonNumber, 1);
    EXPECT_EQ(view.events.back().modifierFlags, 1u << 19);

    // Plain moves reach a preview only when it asked for them.
    size_t n = view.events.size();
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    send(window, move);
    EXPECT_EQ(view.events.size(), n);
    view.setAcceptsMouseMovedEvents(true);
    send(window, move);
    EXPECT_EQ(view.events.back().type, Event::MouseMoved);

    QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(-120, 240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    send(window, wheel);
    EXPECT_EQ(view.events.back().type, Event::ScrollWheel);
    EXPECT_EQ(view.events.back().deltaY, 2);
    EXPECT_EQ(view.events.back().deltaX, -1);
}

TEST(SaverWindow, FullScreenInputEndsTheSaverAndErrorsStayInside) {
    Recording view(Rect::make(0, 0, 100, 80), false);
    SaverWindow window(&view);
    int exits = 0;
    view.onExitRequested = [&] { exits++; };
    QMouseEvent first(QEvent::MouseMove, QPointF(50, 50), QPointF(50, 50), Qt::NoButton, Qt::NoButton,
                      Qt::NoModifier);
    send(window, first);  // a full-screen view hears moves without asking
    EXPECT_EQ(view.events.size(), 1u);
    EXPECT_EQ(exits, 0);
    QMouseEvent far(QEvent::MouseMove, QPointF(80, 50), QPointF(80, 50), Qt::NoButton, Qt::NoButton,
                    Qt::NoModifier);
    send(window, far);
    EXPECT_EQ(exits, 1);

    // An exception from the view's handler goes to the frame error handler.
    std::string reason;
    platform::setFrameErrorHandler([&](const std::string &r) { reason = r; });
    view.onExitRequested = [] { platform::raiseInconsistency("handler failed"); };
    QKeyEvent k(QEvent::KeyPress, Qt::Key_Q, Qt::NoModifier, "q");
    send(window, k);
    platform::setFrameErrorHandler(nullptr);
    EXPECT_EQ(reason, "handler failed");
}
