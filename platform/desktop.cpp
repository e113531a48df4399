// Picks the desktop back end for the display platform; a platform without
// one gets a back end that answers NotSupported.
#include "platform/desktop.h"
#include "platform/desktop_backends.h"

#include <QDir>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QLibraryInfo>
#include <QPluginLoader>
#include <QWindow>

#include <cstdlib>
#include <set>
#include <vector>

namespace platform {

namespace {

// A session that offers none of it (an off-screen platform, a platform
// without a back end yet). The cursor is the toolkit's on every platform.
class NoDesktop : public Desktop {
public:
    explicit NoDesktop(std::string platform) : platform_(std::move(platform)) {}
    std::string name() const override { return platform_; }
    DesktopAnswer bypassWindowManager(QWindow *) override { return DesktopAnswer::NotSupported; }
    DesktopAnswer hideCursor(QWindow *window) override {
        window->setCursor(Qt::BlankCursor);
        return DesktopAnswer::Done;
    }
    DesktopAnswer grabInput(QWindow *) override { return DesktopAnswer::NotSupported; }
    DesktopAnswer inputAvailable() override { return DesktopAnswer::NotSupported; }
    DesktopAnswer showFullScreen(QWindow *window) override {
        window->showFullScreen();
        return DesktopAnswer::Done;
    }
    DesktopAnswer keepAbove(QWindow *) override { return DesktopAnswer::NotSupported; }
    DesktopAnswer keepBelow(QWindow *) override { return DesktopAnswer::NotSupported; }
    void forget(QWindow *) override {}
    DesktopAnswer pointerPosition(Point *) override { return DesktopAnswer::NotSupported; }
    std::unique_ptr<ForeignWindow> openForeign(unsigned long, bool, std::string *error) override {
        *error = "--window-id and --root need an X11 display (this one is \"" + platform_ + "\")";
        return nullptr;
    }
    DesktopAnswer embed(QWindow *, ForeignWindow *) override { return DesktopAnswer::NotSupported; }
    DesktopAnswer claimFullScreen(std::string *) override { return DesktopAnswer::NotSupported; }

private:
    std::string platform_;
};

}  // namespace

Desktop &Desktop::current() {
    static std::unique_ptr<Desktop> desktop;
    if (!desktop) {
        const QString platform = QGuiApplication::platformName();
        if (platform == "xcb") desktop = detail::makeX11Desktop();
        if (platform.startsWith("wayland")) desktop = detail::makeWaylandDesktop();
        if (!desktop) desktop = std::make_unique<NoDesktop>(platform.toStdString());
    }
    return *desktop;
}

namespace {

std::string env(const char *name) {
    const char *v = getenv(name);
    return v ? v : "";
}

// The keys of every display plug-in the toolkit could load, from the
// folders it searches, read from each plug-in's metadata without loading it.
std::set<std::string> platformPluginKeys() {
    std::vector<QString> dirs;
    if (!env("QT_QPA_PLATFORM_PLUGIN_PATH").empty())
        dirs.push_back(QString::fromLocal8Bit(env("QT_QPA_PLATFORM_PLUGIN_PATH").c_str()));
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

// Whether one entry of a platform list ("name" or "name:arguments") can
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
    if (wayland) return detail::waylandDisplayReachable(why);
    if (name == "xcb") {
        if (env("DISPLAY").empty()) {
            *why = "DISPLAY is not set";
            return false;
        }
        return detail::x11DisplayReachable(why);
    }
    return true;  // off screen, VNC, ...: the plug-in decides
}

}  // namespace

bool chooseDisplayPlatform(DisplayPlatform *chosen, std::string *error) {
    const std::string asked = env("QT_QPA_PLATFORM");
    std::vector<std::string> entries;
    if (!asked.empty()) {
        for (const QString &e : QString::fromStdString(asked).split(';', Qt::SkipEmptyParts))
            entries.push_back(e.toStdString());
    } else {
        // The toolkit's own order: Wayland first in a Wayland session.
        if (!env("WAYLAND_DISPLAY").empty() || env("XDG_SESSION_TYPE") == "wayland") entries.push_back("wayland");
        entries.push_back("xcb");
    }
    const std::set<std::string> keys = platformPluginKeys();
    std::string reasons;
    chosen->passedOver.clear();
    for (const std::string &entry : entries) {
        std::string why;
        if (usable(entry, keys, &why)) {
            chosen->entry = entry;
            return true;
        }
        if (chosen->passedOver.empty()) chosen->passedOver = why;
        reasons += (reasons.empty() ? "" : "; ") + why;
    }
    *error = reasons;
    return false;
}

bool displayReachable(std::string *error) {
    DisplayPlatform unused;
    return chooseDisplayPlatform(&unused, error);
}

}  // namespace platform
