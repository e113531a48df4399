// The display platform the program opens: chosen before Qt's application
// object exists, so that a missing plug-in or a display that cannot be
// reached is one line and a status, never the toolkit's abort.
#pragma once

#include <string>

namespace somnel::host {

// What was chosen, for the information log and for the run's advice.
struct DisplayChoice {
    std::string platform;  // "wayland", "xcb", "offscreen", or what QT_QPA_PLATFORM named
    // Why a platform tried first was passed over ("" when none was): a
    // Wayland session without Qt's Wayland plug-in falls back to X11.
    std::string passedOver;
};

// Picks the display platform (platform::chooseDisplayPlatform) and hands
// the choice to Qt. A command that shows windows fails with a one-line
// reason when no display is usable; any other command then runs on the
// off-screen platform.
bool chooseDisplayPlatform(bool showsWindows, DisplayChoice *choice, std::string *error);

// While the application object is made: a fatal message from the
// toolkit's platform start becomes one line and status 1 instead of an
// abort, and its warnings are held back (and printed after a good start).
class PlatformStartGuard {
public:
    PlatformStartGuard();
    ~PlatformStartGuard();
    PlatformStartGuard(const PlatformStartGuard &) = delete;
    PlatformStartGuard &operator=(const PlatformStartGuard &) = delete;
};

}  // namespace somnel::host
