// somnel run: the saver full screen on every monitor, or inside a window
// that another program owns.
#pragma once

#include "host/exit_status.h"

#include <string>

namespace somnel::host {

struct RunOptions {
    std::string saver;
    int screen = -1;               // --screen N: only that screen (from 0)
    bool embed = false;            // --window-id or --root was given
    unsigned long windowId = 0;    // the foreign window (0 with --root)
    bool root = false;             // --root: draw on the root window
    bool exactFiltering = false;   // --exact-filtering: the saver's hint
};

// An X11 window id, decimal or 0x-hex; false for anything else or 0.
bool parseWindowId(const char *text, unsigned long *out);

// Runs the saver until a key, a click or a real pointer movement (full
// screen), the foreign window's end (embedded) or a stop signal; returns
// the process status.
ExitStatus run(const RunOptions &o);

}  // namespace somnel::host
