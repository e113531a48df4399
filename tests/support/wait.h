// The one guard for waits on real events: a window exposed, a resize
// delivered, a timer fired, a child process gone, a picture on the server.
// A test waits for the event itself, never for an amount of time; the
// limit only keeps a fault from hanging the suite, so it is generous
// (a loaded machine may take long, and a pass returns at once).
#pragma once

#include <functional>

class QWidget;
class QWindow;

namespace testsupport {

// How long a wait may take before the test fails.
inline constexpr int kEventTimeoutMs = 30000;

// Lets events run until done() holds: true then, false once
// kEventTimeoutMs has passed without. The Qt event loop runs between
// polls (deferred deletions included); needs the application object that
// every test program makes.
bool waitFor(const std::function<bool()> &done);

// Waits for the window (or the widget's window) to be exposed on screen.
bool waitExposed(QWindow *window);
bool waitExposed(QWidget *widget);

// For a check that something does NOT happen (no further tick, no second
// shot): lets events run for ms milliseconds. Never a way to wait for
// something that should happen: use waitFor.
void letEventsRun(int ms);

}  // namespace testsupport
