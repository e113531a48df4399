// Whether the window system shows a window at all, beyond Qt's exposure:
// an X11 window that others cover entirely is still "exposed" to Qt.
// Used inside the platform library only.
#pragma once

#include <functional>

class QWindow;

namespace platform {

// Calls changed(true) when the window becomes fully obscured by others and
// changed(false) when any of it shows again, for as long as it is watched.
// Call again whenever the native window is made (its events are selected
// on the native window). No effect off X11, or where a compositing manager
// keeps every window unobscured.
void watchObscured(QWindow *window, std::function<void(bool obscured)> changed);
void stopWatchingObscured(QWindow *window);

}  // namespace platform
