// The Wayland back end of the desktop seam. A Wayland client cannot grab
// input, stack itself, place itself, or see other clients' windows: the
// compositor decides. What it can ask is the shell's full-screen state on
// one output, which covers that output and gives the surface the keyboard.
#include "platform/desktop.h"
#include "platform/desktop_backends.h"

#include <QCursor>
#include <QWindow>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

std::string env(const char *name) {
    const char *v = getenv(name);
    return v ? v : "";
}

// Where libwayland looks for the compositor: WAYLAND_DISPLAY (by default
// "wayland-0"), under XDG_RUNTIME_DIR unless it is a path. "" when it
// cannot be told.
std::string socketPath() {
    std::string name = env("WAYLAND_DISPLAY");
    if (name.empty()) name = "wayland-0";
    if (name[0] == '/') return name;
    const std::string runtime = env("XDG_RUNTIME_DIR");
    return runtime.empty() ? "" : runtime + "/" + name;
}

class WaylandDesktop : public Desktop {
public:
    ~WaylandDesktop() override {
        if (claim_ >= 0) close(claim_);
    }
    std::string name() const override { return "wayland"; }
    DesktopAnswer bypassWindowManager(QWindow *) override { return DesktopAnswer::NotSupported; }
    DesktopAnswer hideCursor(QWindow *window) override {
        window->setCursor(Qt::BlankCursor);
        return DesktopAnswer::Done;
    }
    // NOTE: the toolkit warns on every attempt ("grabbing the mouse only
    // for popup windows"); a full-screen surface has the keyboard anyway.
    DesktopAnswer grabInput(QWindow *) override { return DesktopAnswer::NotSupported; }
    DesktopAnswer inputAvailable() override { return DesktopAnswer::NotSupported; }
    DesktopAnswer keepAbove(QWindow *) override { return DesktopAnswer::NotSupported; }
    DesktopAnswer keepBelow(QWindow *) override { return DesktopAnswer::NotSupported; }
    void forget(QWindow *) override {}
    // The shell's full-screen request for the output of the window's
    // screen: the toolkit names that output when the window is shown.
    DesktopAnswer showFullScreen(QWindow *window) override {
        window->showFullScreen();
        window->requestActivate();
        return DesktopAnswer::Done;
    }
    DesktopAnswer pointerPosition(Point *) override { return DesktopAnswer::NotSupported; }
    std::unique_ptr<ForeignWindow> openForeign(unsigned long, bool, std::string *error) override {
        *error = "--window-id and --root need an X11 display (this one is \"wayland\")";
        return nullptr;
    }
    DesktopAnswer embed(QWindow *, ForeignWindow *) override { return DesktopAnswer::NotSupported; }

    // A socket of its own in the abstract namespace, named for the
    // compositor's socket: no file is written, and the kernel lets go of
    // the name when the process ends. The holder is found by connecting.
    DesktopAnswer claimFullScreen(std::string *error) override {
        if (claim_ >= 0) return DesktopAnswer::Done;
        const std::string socket = socketPath();
        if (socket.empty()) return DesktopAnswer::NotSupported;
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        const std::string name = "somnel-full-screen:" + std::to_string(getuid()) + ":" + socket;
        const size_t length = std::min(name.size(), sizeof addr.sun_path - 1);
        memcpy(addr.sun_path + 1, name.data(), length);  // sun_path[0] == 0: abstract
        const socklen_t size = socklen_t(offsetof(sockaddr_un, sun_path) + 1 + length);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return DesktopAnswer::NotSupported;
        if (bind(fd, reinterpret_cast<sockaddr *>(&addr), size) == 0 && listen(fd, 4) == 0) {
            claim_ = fd;
            return DesktopAnswer::Done;
        }
        close(fd);
        std::string holder = "another process";
        const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ucred peer{};
        socklen_t peerSize = sizeof peer;
        if (probe >= 0 && connect(probe, reinterpret_cast<sockaddr *>(&addr), size) == 0 &&
            getsockopt(probe, SOL_SOCKET, SO_PEERCRED, &peer, &peerSize) == 0 && peer.pid > 0)
            holder = "process " + std::to_string(peer.pid);
        if (probe >= 0) close(probe);
        *error = "a full-screen saver already runs on this display (" + holder + "); not starting another";
        return DesktopAnswer::Refused;
    }

private:
    int claim_ = -1;
};

}  // namespace

namespace detail {

std::unique_ptr<Desktop> makeWaylandDesktop() { return std::make_unique<WaylandDesktop>(); }

bool waylandDisplayReachable(std::string *error) {
    if (!env("WAYLAND_SOCKET").empty()) return true;  // a connection handed down
    const std::string path = socketPath();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    bool ok = !path.empty() && path.size() < sizeof addr.sun_path;
    if (ok) {
        memcpy(addr.sun_path, path.c_str(), path.size() + 1);
        const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        ok = fd >= 0 && connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
        if (fd >= 0) close(fd);
    }
    if (!ok)
        *error = path.empty() ? "cannot reach the Wayland display (XDG_RUNTIME_DIR is not set)"
                              : "cannot reach the Wayland display \"" + path + "\" (no compositor there)";
    return ok;
}

}  // namespace detail

}  // namespace platform
