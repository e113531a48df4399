// What a desktop session gives a saver window: the keyboard and pointer, a
// place in the stacking order, a hidden cursor, a window the window manager
// leaves alone, windows of other programs to draw in, the pointer's
// position, and one full-screen saver per display.
//
// One back end per kind of session, each in its own file (X11:
// desktop_x11.cpp, Wayland: desktop_wayland.cpp). A request the session cannot do is answered
// NotSupported, never pretended; callers decide what that means for them.
// Qt-free: Qt types are only declared, for the Qt-facing callers.
#pragma once

#include "platform/export.h"
#include "platform/geometry.h"

#include <functional>
#include <memory>
#include <string>

class QWindow;

namespace platform {

// The answer to each request.
enum class DesktopAnswer {
    Done,          // done (or already so)
    Refused,       // not now: another program holds it, or the window is not viewable yet
    NotSupported,  // this kind of session has no such thing
};

// Where a window stays in the stacking order.
enum class Stacking { Normal, AboveAll, BelowAll };

// What a saver window asks of the session. It is part of the window's
// state (SaverWindow::setDesktopRole), applied again whenever the native
// window is made: a native window made again loses grabs and stacking.
struct DesktopRole {
    bool grabInput = false;            // keyboard and pointer come to this window
    Stacking stacking = Stacking::Normal;
    bool hideCursor = false;
    bool bypassWindowManager = false;  // not framed, moved, stacked or focused by a window manager
    bool inputPassesThrough = false;   // input goes to whatever lies beneath
    bool fullScreen = false;           // covers its screen (the one set on the window) exactly
};

// A window of another program, or the root window, that a saver draws in.
class SOMNEL_EXPORT ForeignWindow {
public:
    virtual ~ForeignWindow() = default;
    virtual unsigned long id() const = 0;
    virtual bool isRoot() const = 0;
    // Its size in device pixels, as last seen.
    virtual Size size() const = 0;
    // Calls resized on each size change and gone once the window is
    // destroyed, from the event loop, or at once when it is gone already
    // (its end may come before the event loop runs).
    virtual void watch(std::function<void(Size)> resized, std::function<void()> gone) = 0;
    // Whether the window is known to be destroyed.
    virtual bool gone() const = 0;
    // The parent to give a saver window made for it (Desktop::embed then
    // puts its native window inside).
    virtual QWindow *parentForSaver() = 0;
};

class SOMNEL_EXPORT Desktop {
public:
    // The back end of the application's display platform ("xcb": X11,
    // "wayland": Wayland; a platform without one gets a back end that
    // supports nothing). Needs the application object; made on first use,
    // kept for the process.
    static Desktop &current();
    virtual ~Desktop() = default;

    // "x11", "wayland", or the name of the platform nothing is supported on.
    virtual std::string name() const = 0;

    // Before the native window exists; the toolkit keeps these across a
    // re-creation.
    virtual DesktopAnswer bypassWindowManager(QWindow *window) = 0;
    virtual DesktopAnswer hideCursor(QWindow *window) = 0;

    // Once the native window is viewable, and again after each re-creation.
    // Keyboard and pointer go to the window until it goes; Refused while
    // another program holds either, or the window is not viewable yet.
    virtual DesktopAnswer grabInput(QWindow *window) = 0;
    // The socket of the connection that holds the grabs, -1 where there is
    // none: a process ending at once from a signal handler shuts it down so
    // that the server lets go of keyboard and pointer.
    virtual int inputConnection() { return -1; }
    // Whether a grab could be taken now (Refused: another program holds the
    // keyboard or the pointer). Needs no window.
    virtual DesktopAnswer inputAvailable() = 0;
    // Shows the window over the whole of its screen: a window of the
    // screen's size where windows place themselves (X11), the shell's
    // full-screen request for that output where the compositor places
    // them (Wayland).
    virtual DesktopAnswer showFullScreen(QWindow *window) = 0;
    // Keeps the window above (below) every other window, however they are
    // stacked later.
    virtual DesktopAnswer keepAbove(QWindow *window) = 0;
    virtual DesktopAnswer keepBelow(QWindow *window) = 0;
    // The native window goes: forget what was kept for it.
    virtual void forget(QWindow *window) = 0;

    // The pointer's position now, asked of the display server (logical
    // pixels, y down, desktop coordinates).
    virtual DesktopAnswer pointerPosition(Point *global) = 0;

    // A foreign window by id, or the root window; null with a one-line
    // reason when there is none (or the session has no such windows).
    virtual std::unique_ptr<ForeignWindow> openForeign(unsigned long id, bool root, std::string *error) = 0;
    // Puts the saver window's native window inside the foreign window.
    // Call again whenever the native window is made.
    virtual DesktopAnswer embed(QWindow *window, ForeignWindow *foreign) = 0;

    // Claims the display for one full-screen saver, for as long as the
    // process lives. Refused with a one-line reason when another holds it.
    virtual DesktopAnswer claimFullScreen(std::string *error) = 0;
};

// The display platform the application object is to open, chosen as the
// toolkit would (QT_QPA_PLATFORM when set, else Wayland when
// WAYLAND_DISPLAY or a Wayland session says so, then X11), keeping the
// first whose plug-in is installed and whose display can be reached. Call
// before the application object exists and hand the choice to the toolkit
// (QT_QPA_PLATFORM), so that a display that cannot be used is an error
// line and a status rather than the toolkit's abort.
struct DisplayPlatform {
    std::string entry;       // as the toolkit takes it: "wayland", "xcb", or a QT_QPA_PLATFORM entry
    std::string passedOver;  // why one tried before it could not be used ("" when none was)
};
// False with one line saying, for each display tried, why it cannot be used.
SOMNEL_EXPORT bool chooseDisplayPlatform(DisplayPlatform *chosen, std::string *error);
// Whether the display the application object is about to open can be
// reached: chooseDisplayPlatform without the choice.
SOMNEL_EXPORT bool displayReachable(std::string *error);

}  // namespace platform
