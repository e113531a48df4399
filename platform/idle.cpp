// Choosing the idle source from the session.
#include "platform/idle.h"

#include "platform/log.h"

#include <cstdlib>
#include <vector>

namespace platform {

namespace {

struct SourceName {
    IdleSource source;
    const char *name;
};
const SourceName kSourceNames[] = {
    {IdleSource::Automatic, "auto"},           {IdleSource::X11Sync, "x11-sync"},
    {IdleSource::X11ScreenSaver, "x11-mit"},   {IdleSource::WaylandExt, "wayland-ext"},
    {IdleSource::WaylandKde, "wayland-kde"},   {IdleSource::Gnome, "gnome"},
};

std::unique_ptr<IdleMonitor> openOne(IdleSource source, std::string *why) {
    switch (source) {
    case IdleSource::X11Sync: return openX11SyncMonitor(why);
    case IdleSource::X11ScreenSaver: return openX11ScreenSaverMonitor(why);
    case IdleSource::WaylandExt: return openWaylandMonitor(true, why);
    case IdleSource::WaylandKde: return openWaylandMonitor(false, why);
    case IdleSource::Gnome: return openGnomeMonitor(why);
    case IdleSource::Automatic: break;
    }
    *why = "not a source";
    return nullptr;
}

bool envSet(const char *name) {
    const char *v = getenv(name);
    return v && *v;
}

}  // namespace

const char *idleSourceName(IdleSource source) {
    for (const SourceName &n : kSourceNames)
        if (n.source == source) return n.name;
    return "?";
}

bool idleSourceFromName(const std::string &name, IdleSource *out) {
    for (const SourceName &n : kSourceNames)
        if (name == n.name) {
            *out = n.source;
            return true;
        }
    return false;
}

std::string idleSourceNames() {
    std::string all;
    for (const SourceName &n : kSourceNames) all += (all.empty() ? "" : ", ") + std::string(n.name);
    return all;
}

// On a Wayland session the X server, where there is one, sees only the
// input of X clients, so X11 sources are not tried there.
std::unique_ptr<IdleMonitor> openIdleMonitor(IdleSource source, std::string *tried) {
    std::vector<IdleSource> order;
    if (source != IdleSource::Automatic)
        order = {source};
    else if (envSet("WAYLAND_DISPLAY"))
        order = {IdleSource::WaylandExt, IdleSource::WaylandKde, IdleSource::Gnome};
    else if (envSet("DISPLAY"))
        order = {IdleSource::X11Sync, IdleSource::X11ScreenSaver, IdleSource::Gnome};
    else
        order = {IdleSource::Gnome};
    tried->clear();
    for (IdleSource s : order) {
        std::string why;
        if (auto monitor = openOne(s, &why)) {
            logInfo(LogArea::Idle, "idle source: %s", monitor->name().c_str());
            return monitor;
        }
        *tried += (tried->empty() ? "" : "; ") + std::string(idleSourceName(s)) + ": " + why;
    }
    return nullptr;
}

}  // namespace platform
