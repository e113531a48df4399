// The window of a 2D saver view: paints its backing image, maps input.
#include "platform/saver_window.h"
#include "platform/context2d.h"
#include "platform/gl.h"
#include "platform/log.h"
#include "platform/visibility.h"

#include <QBackingStore>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPlatformSurfaceEvent>
#include <QWheelEvent>

#include <cmath>

namespace platform {

namespace {

constexpr unsigned kCapsLock = 1u << 16, kShift = 1u << 17, kControl = 1u << 18, kOption = 1u << 19,
                   kCommand = 1u << 20;
constexpr unsigned kX11LockMask = 2;

unsigned flagsFor(Qt::KeyboardModifiers m, bool capsLock) {
    unsigned f = capsLock ? kCapsLock : 0;
    if (m & Qt::ShiftModifier) f |= kShift;
    if (m & Qt::ControlModifier) f |= kControl;
    if (m & Qt::AltModifier) f |= kOption;
    if (m & Qt::MetaModifier) f |= kCommand;
    return f;
}

// The modifier flag a modifier key stands for, 0 for other keys.
unsigned modifierKeyFlag(int key) {
    switch (key) {
    case Qt::Key_Shift: return kShift;
    case Qt::Key_Control: return kControl;
    case Qt::Key_Alt:
    case Qt::Key_AltGr: return kOption;
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R: return kCommand;
    case Qt::Key_CapsLock: return kCapsLock;
    default: return 0;
    }
}

// Function keys travel as characters in the private-use area, as the
// event's consumers expect: arrows from U+F700, F1 from U+F704, and so on.
char32_t functionKeyCharacter(int key) {
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35) return 0xF704 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Up: return 0xF700;
    case Qt::Key_Down: return 0xF701;
    case Qt::Key_Left: return 0xF702;
    case Qt::Key_Right: return 0xF703;
    case Qt::Key_Insert: return 0xF727;
    case Qt::Key_Delete: return 0xF728;
    case Qt::Key_Home: return 0xF729;
    case Qt::Key_Clear: return 0xF72A;  // keypad 5 without Num Lock: Begin
    case Qt::Key_End: return 0xF72B;
    case Qt::Key_PageUp: return 0xF72C;
    case Qt::Key_PageDown: return 0xF72D;
    case Qt::Key_Print: return 0xF72E;
    case Qt::Key_ScrollLock: return 0xF72F;
    case Qt::Key_Pause: return 0xF730;
    case Qt::Key_SysReq: return 0xF731;
    case Qt::Key_Stop: return 0xF734;
    case Qt::Key_Menu: return 0xF735;
    case Qt::Key_Select: return 0xF741;
    case Qt::Key_Execute: return 0xF742;
    case Qt::Key_Undo: return 0xF743;
    case Qt::Key_Redo: return 0xF744;
    case Qt::Key_Find: return 0xF745;
    case Qt::Key_Help: return 0xF746;
    case Qt::Key_Mode_switch: return 0xF747;
    default: return 0;
    }
}

std::string utf8(char32_t c) { return QString::fromUcs4(&c, 1).toStdString(); }

int buttonNumber(Qt::MouseButton b) {
    switch (b) {
    case Qt::LeftButton: return 0;
    case Qt::RightButton: return 1;
    case Qt::MiddleButton: return 2;
    case Qt::BackButton: return 3;
    case Qt::ForwardButton: return 4;
    default: {
        // Further buttons count on from there.
        unsigned bits = unsigned(b);
        int n = 0;
        while (bits > 1) bits >>= 1, n++;
        return n;
    }
    }
}

Qt::MouseButton lowestButton(Qt::MouseButtons buttons) {
    for (unsigned bit = 1; bit; bit <<= 1)
        if (buttons & Qt::MouseButton(bit)) return Qt::MouseButton(bit);
    return Qt::NoButton;
}

}  // namespace

SaverWindow::SaverWindow(ScreenSaverView *view, QWindow *parent, GLFrames frames) : QWindow(parent), view_(view) {
    SOMNEL_ASSERT(view_, "SaverWindow needs a view");
    if (view_->wantsOpenGLSurface() && frames == GLFrames::Copied) {
        copiesGL_ = offScreenGLAvailable();
        if (!copiesGL_) logInfo(LogArea::View, "no off-screen OpenGL here: the saver draws on its window");
    }
    if (view_->wantsOpenGLSurface() && !copiesGL_) {
        setSurfaceType(QSurface::OpenGLSurface);
        // The visual is chosen when the native window is made: give it the
        // format the view's context will ask for, so that it is made once.
        setFormat(surfaceFormatFor(view_->openGLFormat()));
    } else {
        setSurfaceType(QSurface::RasterSurface);
        store_ = new QBackingStore(this);
    }
    view_->setWindow(this);
    // NOTE: on Wayland a frame is drawn when the compositor asks for one
    // (Qt's update requests follow its frame callbacks), so a surface it
    // no longer shows draws nothing; swaps never wait for a callback.
    if (QGuiApplication::platformName().startsWith("wayland"))
        view_->setFrameRequester([this] { requestUpdate(); });
    const Size s = view_->frame().size;
    resize(std::max(1, int(s.width)), std::max(1, int(s.height)));
}

SaverWindow::~SaverWindow() {
    stopWatchingObscured(this);
    if (view_->window() == this) {
        view_->setFrameRequester({});
        view_->setCovered(false);
        view_->setWindow(nullptr);
    }
    delete store_;
}

// Covered: hidden, no longer shown by the compositor, or fully obscured.
void SaverWindow::followVisibility() { view_->setCovered(obscured_ || !isExposed()); }

Point SaverWindow::toView(QPointF p) const {
    const qreal dpr = devicePixelRatio();
    return Point{p.x() * dpr, deviceSize().height() - p.y() * dpr};
}

void SaverWindow::deliver(const Event &e) {
    runAtFrameBoundary([&] { view_->dispatchEvent(e); });
}

QSize SaverWindow::deviceSize() const {
    const qreal dpr = devicePixelRatio();
    return QSize(std::max(1, int(std::lround(width() * dpr))), std::max(1, int(std::lround(height() * dpr))));
}

// The view's frame is the window's size in device pixels: a GL viewport
// and a 2D backing image then cover the window pixel for pixel on a
// scaled screen too.
void SaverWindow::followSize() {
    const QSize d = deviceSize();
    const Size s{double(d.width()), double(d.height())};
    const Size now = view_->frame().size;
    if (s.width != now.width || s.height != now.height) {
        runAtFrameBoundary([&] { view_->setFrameSize(s); });
        needsDraw_ = true;
    }
}

void SaverWindow::exposeEvent(QExposeEvent *) {
    needsDraw_ = true;
    followSize();
    followVisibility();
    if (isExposed() && !roleApplied_) applyRole();
    if (isExposed()) renderNow();
}

bool SaverWindow::event(QEvent *e) {
    if (e->type() == QEvent::UpdateRequest) {
        view_->drawRequestedFrame();
        renderNow();
        return true;
    }
    if (e->type() == QEvent::PlatformSurface) {
        Desktop &desktop = Desktop::current();
        if (static_cast<QPlatformSurfaceEvent *>(e)->surfaceEventType() == QPlatformSurfaceEvent::SurfaceCreated) {
            // A native window made (again): it goes where its role says
            // before it is shown, and takes the rest once viewable. It
            // starts unobscured, with its visibility events selected anew.
            if (inside_) desktop.embed(this, inside_);
            roleApplied_ = !role_.grabInput && role_.stacking == Stacking::Normal;
            obscured_ = false;
            watchObscured(this, [this](bool obscured) {
                obscured_ = obscured;
                followVisibility();
            });
        } else {
            desktop.forget(this);
            holdsInput_ = false;
        }
    }
    return QWindow::event(e);
}

void SaverWindow::setDesktopRole(const DesktopRole &role, ForeignWindow *inside) {
    // The native window would have been made without the role.
    SOMNEL_ASSERT(!handle(), "setDesktopRole after the window was shown");
    role_ = role;
    inside_ = inside;
    Desktop &desktop = Desktop::current();
    if (role.bypassWindowManager) desktop.bypassWindowManager(this);
    if (role.hideCursor) desktop.hideCursor(this);
    Qt::WindowFlags f = flags();
    if (role.inputPassesThrough) f |= Qt::WindowTransparentForInput;
    // Also a request to the window manager, where one stacks the window.
    if (role.stacking == Stacking::AboveAll) f |= Qt::WindowStaysOnTopHint;
    if (role.stacking == Stacking::BelowAll) f |= Qt::WindowStaysOnBottomHint;
    setFlags(f);
}

void SaverWindow::showInRole() {
    if (role_.fullScreen)
        Desktop::current().showFullScreen(this);
    else
        show();
}

void SaverWindow::applyRole() {
    roleApplied_ = true;
    Desktop &desktop = Desktop::current();
    if (role_.stacking == Stacking::AboveAll) desktop.keepAbove(this);
    if (role_.stacking == Stacking::BelowAll) desktop.keepBelow(this);
    if (role_.grabInput) grabInput();
}

DesktopAnswer SaverWindow::grabInput() {
    if (holdsInput_) return DesktopAnswer::Done;
    const DesktopAnswer answer = Desktop::current().grabInput(this);
    holdsInput_ = answer == DesktopAnswer::Done;
    if (holdsInput_)
        logInfo(LogArea::View, "keyboard and pointer held by window 0x%llx", (unsigned long long)winId());
    return answer;
}

void SaverWindow::resizeEvent(QResizeEvent *) {
    followSize();
    needsDraw_ = true;
}

// The backing image is made at device pixels; with its pixel ratio set it
// lands on the window one image pixel per device pixel.
void SaverWindow::renderNow() {
    if (needsDraw_) {
        needsDraw_ = false;
        runAtFrameBoundary([&] { view_->drawRect(view_->bounds()); });
    }
    if (!store_) return;
    if (copiesGL_)
        paint(glFrame_);
    else
        paint(view_->graphicsContext()->image());
}

void SaverWindow::showGLFrame(QImage frame) {
    SOMNEL_ASSERT(copiesGL_, "showGLFrame on a window whose GL view draws on it directly");
    glFrame_ = std::move(frame);
    paint(glFrame_);
}

void SaverWindow::paint(const QImage &image) {
    if (!isExposed()) return;
    const QRect r(0, 0, width(), height());
    store_->resize(size());
    store_->beginPaint(r);
    {
        QPainter p(store_->paintDevice());
        p.setCompositionMode(QPainter::CompositionMode_Source);
        const QSize d = deviceSize();
        if (image.width() < d.width() || image.height() < d.height())
            p.fillRect(r, Qt::black);  // what the image does not cover
        if (!image.isNull()) {
            QImage shown = image;
            shown.setDevicePixelRatio(devicePixelRatio());
            p.drawImage(QPointF(0, 0), shown);
        }
    }
    store_->endPaint();
    store_->flush(r);
}

bool SaverWindow::translateKey(const QKeyEvent *e, Event *out) {
    const bool press = e->type() == QEvent::KeyPress;
    if (QGuiApplication::platformName() == "xcb") {
        capsLock_ = e->nativeModifiers() & kX11LockMask;  // the state before this key
    }
    Event ev;
    const QPointF at = mapFromGlobal(QCursor::pos().toPointF());
    ev.locationInWindow = toView(at);

    const unsigned modifier = modifierKeyFlag(e->key());
    if (modifier) {
        // A modifier key changes the flags instead of typing a key.
        if (e->key() == Qt::Key_CapsLock) {
            if (!press) return false;  // toggles on the press
            capsLock_ = !capsLock_;
        }
        unsigned flags = flagsFor(e->modifiers(), capsLock_);
        if (modifier != kCapsLock) flags = press ? (flags | modifier) : (flags & ~modifier);
        ev.type = Event::FlagsChanged;
        ev.modifierFlags = flags;
        *out = ev;
        return true;
    }
    if (!press && e->isAutoRepeat()) return false;  // repeats come as presses only

    ev.type = press ? Event::KeyDown : Event::KeyUp;
    ev.modifierFlags = flagsFor(e->modifiers(), capsLock_);
    if (char32_t f = functionKeyCharacter(e->key())) {
        ev.characters = ev.charactersIgnoringModifiers = utf8(f);
    } else {
        ev.characters = e->text().toStdString();
        // Ignoring modifiers means all but Shift: Control+A reads "a".
        const int key = e->key();
        if (key >= 0x20 && key <= 0xFF) {
            QChar c(key);
            ev.charactersIgnoringModifiers = QString(ev.modifierFlags & kShift ? c.toUpper() : c.toLower()).toStdString();
        } else {
            ev.charactersIgnoringModifiers = ev.characters;
        }
    }
    *out = ev;
    return true;
}

bool SaverWindow::translateMouse(const QMouseEvent *e, Event *out) const {
    Event ev;
    ev.modifierFlags = flagsFor(e->modifiers(), capsLock_);
    ev.locationInWindow = toView(e->position());
    switch (e->type()) {
    case QEvent::MouseButtonPress:
        ev.type = Event::MouseDown;
        ev.buttonNumber = buttonNumber(e->button());
        break;
    case QEvent::MouseButtonRelease:
        ev.type = Event::MouseUp;
        ev.buttonNumber = buttonNumber(e->button());
        break;
    case QEvent::MouseMove:
        if (e->buttons() != Qt::NoButton) {
            ev.type = Event::MouseDragged;
            ev.buttonNumber = buttonNumber(lowestButton(e->buttons()));
        } else {
            // A full-screen view always hears of movement: it ends the saver.
            if (!view_->acceptsMouseMovedEvents() && view_->isPreview()) return false;
            ev.type = Event::MouseMoved;
        }
        break;
    default:
        return false;
    }
    *out = ev;
    return true;
}

bool SaverWindow::translateWheel(const QWheelEvent *e, Event *out) const {
    Event ev;
    ev.type = Event::ScrollWheel;
    ev.modifierFlags = flagsFor(e->modifiers(), capsLock_);
    ev.locationInWindow = toView(e->position());
    // One wheel notch (120 eighths of a degree) is one line.
    QPointF delta = QPointF(e->angleDelta()) / 120.0;
    if (delta.isNull()) delta = QPointF(e->pixelDelta()) / 10.0;
    ev.deltaX = delta.x();
    ev.deltaY = delta.y();
    *out = ev;
    return true;
}

void SaverWindow::keyPressEvent(QKeyEvent *e) {
    Event ev;
    if (translateKey(e, &ev)) deliver(ev);
}

void SaverWindow::keyReleaseEvent(QKeyEvent *e) {
    Event ev;
    if (translateKey(e, &ev)) deliver(ev);
}

void SaverWindow::mousePressEvent(QMouseEvent *e) {
    Event ev;
    if (translateMouse(e, &ev)) deliver(ev);
}

void SaverWindow::mouseReleaseEvent(QMouseEvent *e) {
    Event ev;
    if (translateMouse(e, &ev)) deliver(ev);
}

void SaverWindow::mouseMoveEvent(QMouseEvent *e) {
    Event ev;
    if (translateMouse(e, &ev)) deliver(ev);
}

void SaverWindow::wheelEvent(QWheelEvent *e) {
    Event ev;
    if (translateWheel(e, &ev)) deliver(ev);
}

}  // namespace platform
