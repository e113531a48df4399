// Input reaching a hack: the saver view's platform events become X events
// offered to the hack's event callback, in a running preview only; and Qt's
// input reaches the hack the same way through the saver window.
#include "tests/support/test_support.h"

// NOTE: Qt before the Xlib subset, whose None and True macros break Qt
// headers read after them.
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include "platform/saver_window.h"

#include "framework/somnel_view.h"
#include "somnel/somnel_function_table.h"
#include "platform/geometry.h"
#include "platform/clock.h"
#include "platform/bundle.h"
#include "platform/event.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <string>
#include <vector>

using platform::Event;

namespace {

std::vector<XEvent> offered;  // what the hack's event callback saw
std::vector<std::string> trace;  // callbacks and context switches, in order
Bool consume = False;          // what the event callback answers

void *rec_init(Display *, Window, void *) { return new int(0); }
unsigned long rec_draw(Display *, Window, void *) { return 0; }
Bool rec_event(Display *dpy, Window w, void *state, XEvent *e) {
    EXPECT_TRUE(dpy);
    EXPECT_TRUE(w);
    EXPECT_TRUE(state);
    offered.push_back(*e);
    trace.push_back("event");
    return consume;
}
void rec_free(Display *, Window, void *state) { delete static_cast<int *>(state); }

}  // namespace

extern "C" {
SOMNEL_EXPORT_SYMBOL somnel_function_table inputrecorder_somnel_function_table = {
    "InputRecorder", nullptr, nullptr, nullptr, nullptr, rec_init, rec_draw, nullptr,
    rec_event,       rec_free, nullptr, nullptr, nullptr};
}

namespace {

constexpr unsigned kCapsLock = 1u << 16, kShift = 1u << 17, kControl = 1u << 18, kOption = 1u << 19,
                   kCommand = 1u << 20;

// A view that notes when it makes its drawing context current.
class ProbeView : public SomnelView {
public:
    static std::unique_ptr<ProbeView> make(platform::Rect frame, bool preview, std::shared_ptr<platform::Bundle> b) {
        return createView<ProbeView>(frame, "InputRecorder", preview, std::move(b));
    }

protected:
    ProbeView(platform::Rect f, bool preview, std::shared_ptr<platform::Bundle> b)
        : SomnelView(f, preview, std::move(b)) {}
    void prepareContext() override { trace.push_back("prepare"); }
    friend class SomnelView;
};

Event key(Event::Type type, const std::string &chars, unsigned flags = 0) {
    Event e;
    e.type = type;
    e.characters = e.charactersIgnoringModifiers = chars;
    e.modifierFlags = flags;
    return e;
}

Event flags(unsigned f) {
    Event e;
    e.type = Event::FlagsChanged;
    e.modifierFlags = f;
    return e;
}

// A mouse event at a y-up point of the view's window.
Event mouse(Event::Type type, double x, double y, int button = 0, unsigned f = 0) {
    Event e;
    e.type = type;
    e.locationInWindow = {x, y};
    e.buttonNumber = button;
    e.modifierFlags = f;
    return e;
}

Event scroll(double dx, double dy) {
    Event e = mouse(Event::ScrollWheel, 30, 40);
    e.deltaX = dx;
    e.deltaY = dy;
    return e;
}

class EventTranslationTest : public ::testing::Test {
protected:
    void SetUp() override {
        offered.clear();
        trace.clear();
        consume = False;
        platform::setClockSource([] { return 1e9; });
        bundle = testsupport::inProcessBundle(dir, "InputRecorder");
    }
    void TearDown() override {
        inputrecorder_somnel_function_table.event_cb = rec_event;
        platform::setClockSource({});
    }

    // A view that has started and drawn its first frame, so the hack runs.
    std::unique_ptr<ProbeView> running(bool preview = true,
                                       platform::Rect frame = platform::Rect::make(0, 0, 640, 480)) {
        auto v = ProbeView::make(frame, preview, bundle);
        EXPECT_TRUE(v);
        v->startAnimation();
        v->animateOneFrame();
        EXPECT_TRUE(v->isInitialized());
        trace.clear();
        return v;
    }
    static void stop(SomnelView &v) {
        v.stopAnimation();
        v.dealloc();
    }

    // The one X event the hack got for e.
    XEvent translate(SomnelView &v, const Event &e) {
        offered.clear();
        v.dispatchEvent(e);
        EXPECT_EQ(offered.size(), 1u);
        return offered.empty() ? XEvent{} : offered.back();
    }
    unsigned keysym(SomnelView &v, const Event &e) { return translate(v, e).xkey.keycode; }

    testsupport::TempDir dir;
    std::shared_ptr<platform::Bundle> bundle;
};

TEST_F(EventTranslationTest, CharactersBecomeKeySymbols) {
    auto v = running();

    // A typed letter: press then release, with the same symbol.
    XEvent down = translate(*v, key(Event::KeyDown, "a"));
    EXPECT_EQ(down.type, KeyPress);
    EXPECT_EQ(down.xkey.keycode, 0x61u);
    EXPECT_EQ(down.xkey.state, 0u);
    XEvent up = translate(*v, key(Event::KeyUp, "a"));
    EXPECT_EQ(up.type, KeyRelease);
    EXPECT_EQ(up.xkey.keycode, 0x61u);

    // Shift makes the capital and is in the state; Control reads the key's
    // own letter rather than the control character it types.
    XEvent shifted = translate(*v, key(Event::KeyDown, "G", kShift));
    EXPECT_EQ(shifted.xkey.keycode, unsigned('G'));
    EXPECT_EQ(shifted.xkey.state, unsigned(ShiftMask));
    Event ctrl = key(Event::KeyDown, "g", kControl);
    ctrl.characters = "\x07";
    XEvent control = translate(*v, ctrl);
    EXPECT_EQ(control.xkey.keycode, unsigned('g'));
    EXPECT_EQ(control.xkey.state, unsigned(ControlMask));

    // Latin-1 letters keep their code; anything beyond has no symbol.
    EXPECT_EQ(keysym(*v, key(Event::KeyDown, "é")), 0xE9u);
    EXPECT_EQ(keysym(*v, key(Event::KeyDown, "ÿ")), 0xFFu);
    EXPECT_EQ(keysym(*v, key(Event::KeyDown, "Ж")), 0u);
    EXPECT_EQ(keysym(*v, key(Event::KeyDown, "\xF0\x9F\x98\x80")), 0u);  // outside the basic plane
    EXPECT_EQ(keysym(*v, key(Event::KeyDown, "ab")), 0u);
    EXPECT_EQ(keysym(*v, key(Event::KeyDown, "\xC3")), 0u);  // cut-off UTF-8
    EXPECT_EQ(keysym(*v, key(Event::KeyDown, "\xC1\xA1")), 0u);      // 'a' in an overlong form
    EXPECT_EQ(keysym(*v, key(Event::KeyDown, "\xED\xA0\x80")), 0u);  // a surrogate
    EXPECT_EQ(keysym(*v, key(Event::KeyDown, "\xEF\xBB\xBF" "a")), 0x61u);  // a byte-order mark is skipped
    EXPECT_EQ(keysym(*v, key(Event::KeyDown, "\x1B")), 0x1Bu);

    // A key without characters reports the modifier held, if any.
    EXPECT_EQ(keysym(*v, key(Event::KeyDown, "", kOption)), unsigned(XK_Alt_L));
    EXPECT_EQ(keysym(*v, key(Event::KeyDown, "")), 0u);
    stop(*v);
}

TEST_F(EventTranslationTest, FunctionKeysMapToXSymbols) {
    auto v = running();
    const struct {
        char16_t platform;
        unsigned x;
    } table[] = {
        {0xF700, XK_Up},    {0xF701, XK_Down},  {0xF702, XK_Left}, {0xF703, XK_Right},
        {0xF729, XK_Home},  {0xF72A, XK_Begin}, {0xF72B, XK_End},  {0xF72C, XK_Prior},
        {0xF72D, XK_Next},  {0xF73F, XK_Prior}, {0xF740, XK_Next},
    };
    for (auto &row : table) {
        const std::string chars = QString(QChar(row.platform)).toStdString();
        EXPECT_EQ(keysym(*v, key(Event::KeyDown, chars)), row.x) << std::hex << unsigned(row.platform);
    }
    // Other function keys (F1 here) have no Latin-1 form.
    EXPECT_EQ(keysym(*v, key(Event::KeyDown, QString(QChar(0xF704)).toStdString())), 0u);
    stop(*v);
}

TEST_F(EventTranslationTest, ModifiersGiveStateAndModifierKeys) {
    auto v = running();

    // Shift alone, then let go: the release is a press of symbol 0.
    XEvent shift = translate(*v, flags(kShift));
    EXPECT_EQ(shift.type, KeyPress);
    EXPECT_EQ(shift.xkey.keycode, unsigned(XK_Shift_L));
    EXPECT_EQ(shift.xkey.state, unsigned(ShiftMask));
    XEvent none = translate(*v, flags(0));
    EXPECT_EQ(none.type, KeyPress);
    EXPECT_EQ(none.xkey.keycode, 0u);
    EXPECT_EQ(none.xkey.state, 0u);

    // The most significant modifier names the key; each flag has its bit.
    XEvent caps = translate(*v, flags(kCapsLock | kShift));
    EXPECT_EQ(caps.xkey.keycode, unsigned(XK_Caps_Lock));
    EXPECT_EQ(caps.xkey.state, unsigned(LockMask | ShiftMask));
    EXPECT_EQ(keysym(*v, flags(kControl | kOption | kCommand)), unsigned(XK_Control_L));
    EXPECT_EQ(keysym(*v, flags(kOption | kCommand)), unsigned(XK_Alt_L));
    EXPECT_EQ(keysym(*v, flags(kCommand)), unsigned(XK_Meta_L));
    EXPECT_EQ(translate(*v, flags(kCapsLock | kShift | kControl | kOption | kCommand)).xkey.state, 31u);
    EXPECT_EQ(translate(*v, flags(kControl)).xkey.state, unsigned(ControlMask));
    EXPECT_EQ(translate(*v, flags(kOption)).xkey.state, unsigned(Mod1Mask));
    EXPECT_EQ(translate(*v, flags(kCommand)).xkey.state, unsigned(Mod2Mask));
    // Flags outside the five do not leak into the state.
    EXPECT_EQ(translate(*v, key(Event::KeyDown, "x", kShift | 1u << 23 | 1u)).xkey.state, unsigned(ShiftMask));
    stop(*v);
}

TEST_F(EventTranslationTest, ClicksAndMotionCountFromTheTopLeft) {
    auto v = running();

    // 10 right of the left edge and 10 below the top, whatever the height.
    XEvent press = translate(*v, mouse(Event::MouseDown, 10, 470, 0, kShift));
    EXPECT_EQ(press.type, ButtonPress);
    EXPECT_EQ(press.xbutton.x, 10);
    EXPECT_EQ(press.xbutton.y, 10);
    EXPECT_EQ(press.xbutton.button, 1u);
    EXPECT_EQ(press.xbutton.state, unsigned(ShiftMask));
    XEvent release = translate(*v, mouse(Event::MouseUp, 10.9, 469.6));
    EXPECT_EQ(release.type, ButtonRelease);
    EXPECT_EQ(release.xbutton.x, 10);  // truncated, not rounded
    EXPECT_EQ(release.xbutton.y, 10);
    EXPECT_EQ(translate(*v, mouse(Event::MouseDown, 0, 0, 2)).xbutton.button, 3u);  // middle
    EXPECT_EQ(translate(*v, mouse(Event::MouseDown, 0, 0, 3)).xbutton.button, 4u);  // a further button

    v->setFrameSize({300, 200});
    XEvent small = translate(*v, mouse(Event::MouseDown, 10, 190));
    EXPECT_EQ(small.xbutton.y, 10);

    XEvent moved = translate(*v, mouse(Event::MouseMoved, 25, 150, 0, kControl));
    EXPECT_EQ(moved.type, MotionNotify);
    EXPECT_EQ(moved.xmotion.x, 25);
    EXPECT_EQ(moved.xmotion.y, 50);
    EXPECT_EQ(moved.xmotion.state, unsigned(ControlMask));
    EXPECT_EQ(moved.xbutton.button, 0u);  // the record was cleared
    XEvent dragged = translate(*v, mouse(Event::MouseDragged, 30, 100, 2));
    EXPECT_EQ(dragged.type, MotionNotify);
    EXPECT_EQ(dragged.xmotion.y, 100);

    // The right button belongs to the host.
    offered.clear();
    v->dispatchEvent(mouse(Event::MouseDown, 10, 10, 1));
    v->dispatchEvent(mouse(Event::MouseDragged, 20, 10, 1));
    v->dispatchEvent(mouse(Event::MouseUp, 20, 10, 1));
    EXPECT_TRUE(offered.empty());
    stop(*v);
}

TEST_F(EventTranslationTest, ViewsInsideTheirWindowCountFromTheirOwnCorner) {
    // A view whose frame starts at (100, 50) in its window.
    auto v = running(true, platform::Rect::make(100, 50, 200, 120));
    XEvent e = translate(*v, mouse(Event::MouseDown, 110, 50 + 120 - 10));
    EXPECT_EQ(e.xbutton.x, 10);
    EXPECT_EQ(e.xbutton.y, 10);
    stop(*v);
}

TEST_F(EventTranslationTest, ScrollingPressesWheelButtons) {
    auto v = running();
    EXPECT_EQ(translate(*v, scroll(0, 1)).xbutton.button, 4u);
    EXPECT_EQ(translate(*v, scroll(0, -0.1)).xbutton.button, 5u);
    EXPECT_EQ(translate(*v, scroll(2, 0)).xbutton.button, 6u);
    EXPECT_EQ(translate(*v, scroll(-2, 0)).xbutton.button, 7u);
    EXPECT_EQ(translate(*v, scroll(0, 0)).xbutton.button, 0u);
    EXPECT_EQ(translate(*v, scroll(-5, 1)).xbutton.button, 4u);  // vertical wins

    // One press, no release, at the pointer.
    XEvent e = translate(*v, scroll(0, -1));
    EXPECT_EQ(e.type, ButtonPress);
    EXPECT_EQ(e.xbutton.x, 30);
    EXPECT_EQ(e.xbutton.y, 480 - 40);
    stop(*v);
}

TEST_F(EventTranslationTest, OnlyARunningPreviewHearsInput) {
    // Full screen: nothing reaches the hack, and input ends the saver.
    auto full = running(false);
    int exits = 0;
    full->onExitRequested = [&] { exits++; };
    full->dispatchEvent(key(Event::KeyDown, "g"));
    full->dispatchEvent(mouse(Event::MouseDown, 10, 10));
    EXPECT_TRUE(offered.empty());
    EXPECT_EQ(exits, 2);
    stop(*full);

    // A preview hears nothing before its first frame or after a stop.
    auto v = ProbeView::make(platform::Rect::make(0, 0, 640, 480), true, bundle);
    ASSERT_TRUE(v);
    v->dispatchEvent(key(Event::KeyDown, "g"));
    v->startAnimation();
    v->dispatchEvent(key(Event::KeyDown, "g"));
    EXPECT_FALSE(v->doEvent(key(Event::KeyDown, "g"), KeyPress));
    EXPECT_TRUE(offered.empty());
    v->animateOneFrame();
    v->dispatchEvent(key(Event::KeyDown, "g"));
    EXPECT_EQ(offered.size(), 1u);
    v->stopAnimation();
    v->dispatchEvent(key(Event::KeyDown, "g"));
    EXPECT_EQ(offered.size(), 1u);
    v->dealloc();
}

TEST_F(EventTranslationTest, TheHackAnswersWithItsContextCurrent) {
    auto v = running();
    consume = False;
    EXPECT_FALSE(v->doEvent(key(Event::KeyDown, "p"), KeyPress));
    consume = 7;  // any non-zero Bool
    EXPECT_TRUE(v->doEvent(key(Event::KeyDown, "p"), KeyPress));
    EXPECT_EQ(trace, (std::vector<std::string>{"prepare", "event", "prepare", "event"}));

    // A hack without an event callback takes nothing.
    inputrecorder_somnel_function_table.event_cb = nullptr;
    trace.clear();
    EXPECT_FALSE(v->doEvent(key(Event::KeyDown, "p"), KeyPress));
    EXPECT_TRUE(trace.empty());
    inputrecorder_somnel_function_table.event_cb = rec_event;

    // A type the event record has no view for is a programming error.
    EXPECT_EQ(testsupport::abortReason([&] { v->doEvent(key(Event::KeyDown, "p"), 7); }),
              "unknown X11 event type: 7");
    EXPECT_EQ(testsupport::abortReason([&] { v->doEvent(key(Event::KeyDown, "p"), 0); }),
              "unknown X11 event type: 0");
    stop(*v);
}

TEST_F(EventTranslationTest, QtInputReachesTheHackThroughTheWindow) {
    auto v = running();
    platform::SaverWindow window(v.get());

    QKeyEvent g(QEvent::KeyPress, Qt::Key_G, Qt::ShiftModifier, "G");
    QCoreApplication::sendEvent(&window, &g);
    ASSERT_EQ(offered.size(), 1u);
    EXPECT_EQ(offered[0].type, KeyPress);
    EXPECT_EQ(offered[0].xkey.keycode, unsigned('G'));
    EXPECT_EQ(offered[0].xkey.state, unsigned(ShiftMask));

    QKeyEvent left(QEvent::KeyRelease, Qt::Key_Left, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &left);
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[1].type, KeyRelease);
    EXPECT_EQ(offered[1].xkey.keycode, unsigned(XK_Left));

    QMouseEvent click(QEvent::MouseButtonPress, QPointF(12, 34), QPointF(12, 34), Qt::MiddleButton,
                      Qt::MiddleButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &click);
    ASSERT_EQ(offered.size(), 3u);
    EXPECT_EQ(offered[2].type, ButtonPress);
    EXPECT_EQ(offered[2].xbutton.button, 3u);
    EXPECT_EQ(offered[2].xbutton.x, 12);
    EXPECT_EQ(offered[2].xbutton.y, 34);

    QWheelEvent wheel(QPointF(5, 6), QPointF(5, 6), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&window, &wheel);
    ASSERT_EQ(offered.size(), 4u);
    EXPECT_EQ(offered[3].xbutton.button, 5u);
    EXPECT_EQ(offered[3].xbutton.y, 6);
    stop(*v);
}

}  // namespace
