// Picks the desktop back end for the display platform; a platform without
// one gets a back end that answers NotSupported.
#include "platform/desktop.h"
#include "platform/desktop_backends.h"

#include <QGuiApplication>
#include <QWindow>

#include <cstdlib>

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
        if (!desktop) desktop = std::make_unique<NoDesktop>(platform.toStdString());
    }
    return *desktop;
}

bool displayReachable(std::string *error) {
    const char *forced = getenv("QT_QPA_PLATFORM");
    const std::string platform = forced ? forced : "";
    // The X11 platform: asked for by name, or the toolkit's choice when no
    // Wayland display is named.
    const bool x11 = platform.rfind("xcb", 0) == 0 || (platform.empty() && !getenv("WAYLAND_DISPLAY"));
    if (x11) return detail::x11DisplayReachable(error);
    return true;
}

}  // namespace platform
