// The emulation's entry points for the saver view: the display made over a
// view, its window's geometry, and the way back from a window to its view.
#pragma once

#include "somnel/xshim.h"

extern "C" {
// Frees a display made by xshim_make_display, with its window.
void xshim_free_display(Display *display);
// The input-source table of a display (the Xt input callbacks it watches).
struct xshim_sources *display_sources_data(Display *display);
}

namespace platform {
class ScreenSaverView;
class Context2D;
}  // namespace platform

/* A new display whose one window is the view. The window draws into the
 * given context, else into the view's own graphics context. */
Display *xshim_make_display(platform::ScreenSaverView *view, platform::Context2D *context);
/* The view behind a window. */
platform::ScreenSaverView *xshim_window_view(Window window);
/* The view's frame or size changed: the window's rectangle becomes (x, y,
 * width, height) in its context; a non-null context replaces the stored one. */
void xshim_window_resized(Display *display, Window window, int x, int y, int width, int height,
                          platform::Context2D *context);
