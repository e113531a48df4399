// The desktop back ends desktop.cpp picks from, one file each (inside the
// platform library only).
#pragma once

#include "platform/desktop.h"

#include <memory>
#include <string>

namespace platform::detail {

// X11 (desktop_x11.cpp): null when the display cannot be used.
std::unique_ptr<Desktop> makeX11Desktop();
// Whether the X display named by DISPLAY accepts a connection; false with
// a line naming it.
bool x11DisplayReachable(std::string *error);

// Wayland (desktop_wayland.cpp).
std::unique_ptr<Desktop> makeWaylandDesktop();
// Whether a compositor answers where the toolkit will look for one.
bool waylandDisplayReachable(std::string *error);

}  // namespace platform::detail
