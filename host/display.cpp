// Choosing the display platform before the toolkit starts.
#include "host/display.h"

#include "host/exit_status.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <QString>
#include <QtGlobal>

#include <X11/Xlib.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

namespace somnel::host {

namespace {

std::string env(const char *name) {
    const char *v = getenv(name);
    return v ? v : "";
}

// The keys of every platform plug-in Qt could load: the folders it
// searches, read from each plug-in's metadata without loading it.
std::set<std::string> platformPluginKeys() {
    std::vector<QString> dirs;
    if (const char *own = getenv("QT_QPA_PLATFORM_PLUGIN_PATH")) dirs.push_back(QString::fromLocal8Bit(own));
    for (const QString &d : QString::fromLocal8Bit(env("QT_PLUGIN_PATH").c_str()).split(':', Qt::SkipEmptyParts))
        dirs.push_back(d + "/platforms");
    dirs.push_back(QLibraryInfo::path(QLibraryInfo::PluginsPath) + "/platforms");
    std::set<std::string> keys;
    for (const QString &d : dirs) {
        const QDir dir(d);
        for (const QString &file : dir.entryList({"*.so"}, QDir::Files)) {
            const QJsonObject meta = QPluginLoader(dir.filePath(file)).metaData().value("MetaData").toObject();
            for (const QJsonValue &k : meta.value("Keys").toArray()) keys.insert(k.toString().toLower().toStdString());
        }
    }
    return keys;
}

// Whether a Wayland compositor answers where libwayland would look.
bool waylandAnswers(std::string *why) {
    if (!env("WAYLAND_SOCKET").empty()) return true;  // a connection handed down
    std::string name = env("WAYLAND_DISPLAY");
    if (name.empty()) name = "wayland-0";
    std::string path = name;
    if (name[0] != '/') {
        const std::string runtime = env("XDG_RUNTIME_DIR");
        if (runtime.empty()) {
            *why = "no Wayland compositor can be found (XDG_RUNTIME_DIR is not set)";
            return false;
        }
        path = runtime + "/" + name;
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    bool ok = path.size() < sizeof addr.sun_path;
    if (ok) {
        memcpy(addr.sun_path, path.c_str(), path.size() + 1);
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ok = fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
        if (fd >= 0) close(fd);
    }
    if (!ok) *why = "no Wayland compositor answers at " + path;
    return ok;
}

bool xServerAnswers(std::string *why) {
    const std::string name = env("DISPLAY");
    if (name.empty()) {
        *why = "DISPLAY is not set";
        return false;
    }
    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        *why = "no X server answers at DISPLAY \"" + name + "\"";
        return false;
    }
    XCloseDisplay(dpy);
    return true;
}

// Whether the entry of a platform list ("name" or "name:arguments") can
// start; why not otherwise.
bool usable(const std::string &entry, const std::set<std::string> &keys, std::string *why) {
    std::string name = entry.substr(0, entry.find(':'));
    for (char &c : name) c = char(tolower(static_cast<unsigned char>(c)));
    const bool wayland = name.rfind("wayland", 0) == 0;
    if (!keys.count(name)) {
        *why = wayland ? "Qt's Wayland plug-in is not installed (Debian package qt6-wayland)"
                       : "Qt has no display plug-in \"" + name + "\"";
        return false;
    }
    if (wayland) return waylandAnswers(why);
    if (name == "xcb") return xServerAnswers(why);
    return true;  // off screen, VNC, ...: the plug-in decides
}

std::vector<std::string> split(const std::string &list) {
    std::vector<std::string> out;
    size_t from = 0;
    while (from <= list.size()) {
        const size_t end = std::min(list.find(';', from), list.size());
        if (end > from) out.push_back(list.substr(from, end - from));
        from = end + 1;
    }
    return out;
}

// The toolkit's warnings held back while the application object is made.
QtMessageHandler previousHandler = nullptr;
std::vector<std::pair<QtMsgType, std::pair<std::string, std::string>>> heldBack;

void holdBack(QtMsgType type, const QMessageLogContext &context, const QString &message) {
    if (type == QtFatalMsg) {
        // NOTE: the toolkit aborts once this returns. When no plug-in
        // started, the reason a plug-in gave first ("could not connect to
        // display ...") says more than the closing words.
        std::string why = message.section('\n', 0, 0).toStdString();
        if (message.startsWith("This application failed to start"))
            for (const auto &m : heldBack)
                if (m.first == QtWarningMsg && !m.second.second.empty()) {
                    why = m.second.second;
                    break;
                }
        reportError("cannot start the display platform: " + why);
        fflush(stderr);
        _exit(exitCode(ExitStatus::Failure));
    }
    heldBack.push_back({type, {context.category ? context.category : "", message.toStdString()}});
}

}  // namespace

bool chooseDisplayPlatform(bool showsWindows, DisplayChoice *choice, std::string *error) {
    const std::string asked = env("QT_QPA_PLATFORM");
    const bool waylandSession = !env("WAYLAND_DISPLAY").empty() || env("XDG_SESSION_TYPE") == "wayland";
    if (asked.empty() && !waylandSession && env("DISPLAY").empty()) {
        if (showsWindows) {
            *error = "no display to show a window on (neither DISPLAY nor WAYLAND_DISPLAY is set); "
                     "try \"somnel render\"";
            return false;
        }
        choice->platform = "offscreen";
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return true;
    }
    // Qt's own order: Wayland first in a Wayland session, X11 after it.
    const std::vector<std::string> entries =
        asked.empty() ? (waylandSession ? std::vector<std::string>{"wayland", "xcb"} : std::vector<std::string>{"xcb"})
                      : split(asked);
    const std::set<std::string> keys = platformPluginKeys();
    std::string reasons;
    for (const std::string &entry : entries) {
        std::string why;
        if (usable(entry, keys, &why)) {
            choice->platform = entry.substr(0, entry.find(':'));
            // Qt tries only this one: no warnings about those passed over.
            setenv("QT_QPA_PLATFORM", entry.c_str(), 1);
            return true;
        }
        if (choice->passedOver.empty()) choice->passedOver = why;
        reasons += (reasons.empty() ? "" : "; ") + why;
    }
    if (!showsWindows) {
        choice->platform = "offscreen";
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        return true;
    }
    *error = "cannot open a display: " + reasons;
    return false;
}

PlatformStartGuard::PlatformStartGuard() {
    heldBack.clear();
    previousHandler = qInstallMessageHandler(holdBack);
}

PlatformStartGuard::~PlatformStartGuard() {
    qInstallMessageHandler(previousHandler);
    for (const auto &m : heldBack) {
        const QMessageLogContext context(nullptr, 0, nullptr, m.second.first.c_str());
        qt_message_output(m.first, context, QString::fromStdString(m.second.second));
    }
    heldBack.clear();
}

}  // namespace somnel::host
