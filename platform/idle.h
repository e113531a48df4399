// How long the user has left keyboard and pointer alone, as the session
// tells it: one watch at a time, "idle" once the user has been idle for the
// watch's timeout, "active" at the first input after that. One back end per
// kind of session, each in its own file (idle_x11.cpp, idle_wayland.cpp,
// idle_gnome.cpp); openIdleMonitor picks the one the session offers.
//
// The back ends run on the Qt event loop of the main thread (socket
// notifiers, the session bus) but need no window system plug-in: a
// QCoreApplication is enough.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace platform {

class IdleMonitor {
public:
    virtual ~IdleMonitor() = default;

    // The source in a few words, for status and information lines.
    virtual std::string name() const = 0;
    // Starts the watch afresh with a timeout in milliseconds (1 or more):
    // not idle now, onIdle once the user has been idle that long (counted
    // from the last input, which may be before this call), then onActive
    // at the next input, then onIdle again, and so on.
    virtual void watch(int timeoutMs) = 0;
    // Counts as input where the session lets a client say so; false where
    // it does not (the caller then treats the user as active itself).
    virtual bool resetIdle() = 0;

    std::function<void()> onIdle;
    std::function<void()> onActive;
    // The session's connection is gone (the display closed, the
    // compositor or the bus went away), with the reason. NOTE: after a
    // lost X11 connection Xlib ends the process once this returns.
    std::function<void(const std::string &why)> onLost;
};

// Which source to use: the session's (Automatic), or one named. Tests and
// users whose session offers several pick one with `somnel idle --source`.
enum class IdleSource { Automatic, X11Sync, X11ScreenSaver, WaylandExt, WaylandKde, Gnome };

// The name `--source` takes for a source ("x11-sync", ...), and back;
// idleSourceNames lists them all, for messages.
const char *idleSourceName(IdleSource source);
bool idleSourceFromName(const std::string &name, IdleSource *out);
std::string idleSourceNames();

// The monitor for this session, or for the source asked for. Automatic
// tries, with WAYLAND_DISPLAY set, Wayland's ext_idle_notifier_v1, then
// org_kde_kwin_idle, then GNOME's idle monitor on the session bus; with
// only DISPLAY set, X11's SYNC IDLETIME counter, then the MIT-SCREEN-SAVER
// extension, then GNOME's bus interface. nullptr when none works, with
// *tried naming each source tried and why it could not be used.
std::unique_ptr<IdleMonitor> openIdleMonitor(IdleSource source, std::string *tried);

// The back ends, one per file; each returns nullptr with *why on failure.
std::unique_ptr<IdleMonitor> openX11SyncMonitor(std::string *why);
std::unique_ptr<IdleMonitor> openX11ScreenSaverMonitor(std::string *why);
std::unique_ptr<IdleMonitor> openWaylandMonitor(bool extNotifier, std::string *why);
std::unique_ptr<IdleMonitor> openGnomeMonitor(std::string *why);

}  // namespace platform
