// Wayland idle sources, on a connection of our own to the compositor:
// ext_idle_notifier_v1, or the older org_kde_kwin_idle. Both send "idle"
// after the timeout without input on the seat and "resumed" at the next
// input, and the compositor holds "idle" back while a client's idle
// inhibitor is active. The bindings are generated from the protocol files
// in platform/protocols/ by wayland-scanner.
#include "platform/idle.h"

#include "platform/log.h"
#include "platform/protocols/ext_idle_notify_v1.h"
#include "platform/protocols/kde_idle.h"

#include <QSocketNotifier>

#include <wayland-client.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

class WaylandMonitor : public IdleMonitor {
public:
    explicit WaylandMonitor(bool ext) : ext_(ext) {}
    ~WaylandMonitor() override {
        delete notifier_;
        dropNotification();
        if (extNotifier_) ext_idle_notifier_v1_destroy(extNotifier_);
        if (kdeIdle_) org_kde_kwin_idle_destroy(kdeIdle_);
        if (seat_) wl_seat_destroy(seat_);
        if (registry_) wl_registry_destroy(registry_);
        if (display_) wl_display_disconnect(display_);
    }

    bool open(std::string *why) {
        const char *name = getenv("WAYLAND_DISPLAY");
        if (!name || !*name) {
            *why = "WAYLAND_DISPLAY is not set";
            return false;
        }
        display_ = wl_display_connect(nullptr);
        if (!display_) {
            *why = std::string("cannot connect to the Wayland display \"") + name + "\"";
            return false;
        }
        registry_ = wl_display_get_registry(display_);
        static const wl_registry_listener registryListener = {onGlobal, onGlobalRemove};
        wl_registry_add_listener(registry_, &registryListener, this);
        if (wl_display_roundtrip(display_) < 0) {
            *why = "the compositor closed the connection";
            return false;
        }
        if (ext_ ? !extNotifier_ : !kdeIdle_) {
            *why = std::string("the compositor does not offer ") + interfaceName();
            return false;
        }
        if (!seat_) {
            *why = "the compositor offers no seat";
            return false;
        }
        notifier_ = new QSocketNotifier(wl_display_get_fd(display_), QSocketNotifier::Read);
        QObject::connect(notifier_, &QSocketNotifier::activated, [this] { readEvents(); });
        return true;
    }

    std::string name() const override { return std::string("the compositor's ") + interfaceName(); }

    void watch(int timeoutMs) override {
        dropNotification();
        const uint32_t timeout = uint32_t(timeoutMs < 1 ? 1 : timeoutMs);
        if (ext_) {
            static const ext_idle_notification_v1_listener listener = {onIdled, onResumed};
            extNotification_ = ext_idle_notifier_v1_get_idle_notification(extNotifier_, timeout, seat_);
            ext_idle_notification_v1_add_listener(extNotification_, &listener, this);
        } else {
            static const org_kde_kwin_idle_timeout_listener listener = {onIdled, onResumed};
            kdeTimeout_ = org_kde_kwin_idle_get_idle_timeout(kdeIdle_, seat_, timeout);
            org_kde_kwin_idle_timeout_add_listener(kdeTimeout_, &listener, this);
        }
        flush();
    }

    bool resetIdle() override {
        // NOTE: ext_idle_notifier_v1 has no way for a client to count as
        // input; the older protocol has one.
        if (!kdeTimeout_) return false;
        org_kde_kwin_idle_timeout_simulate_user_activity(kdeTimeout_);
        flush();
        return true;
    }

private:
    const char *interfaceName() const { return ext_ ? "ext_idle_notifier_v1" : "org_kde_kwin_idle"; }

    void dropNotification() {
        if (extNotification_) ext_idle_notification_v1_destroy(extNotification_);
        if (kdeTimeout_) org_kde_kwin_idle_timeout_release(kdeTimeout_);
        extNotification_ = nullptr;
        kdeTimeout_ = nullptr;
    }

    static void onGlobal(void *data, wl_registry *registry, uint32_t id, const char *interface, uint32_t) {
        auto *self = static_cast<WaylandMonitor *>(data);
        // The first seat is the user's; a second one is rare (and would
        // need a watch of its own).
        if (!strcmp(interface, wl_seat_interface.name) && !self->seat_)
            self->seat_ = static_cast<wl_seat *>(wl_registry_bind(registry, id, &wl_seat_interface, 1));
        else if (self->ext_ && !strcmp(interface, ext_idle_notifier_v1_interface.name) && !self->extNotifier_)
            self->extNotifier_ = static_cast<ext_idle_notifier_v1 *>(
                wl_registry_bind(registry, id, &ext_idle_notifier_v1_interface, 1));
        else if (!self->ext_ && !strcmp(interface, org_kde_kwin_idle_interface.name) && !self->kdeIdle_)
            self->kdeIdle_ =
                static_cast<org_kde_kwin_idle *>(wl_registry_bind(registry, id, &org_kde_kwin_idle_interface, 1));
    }
    static void onGlobalRemove(void *, wl_registry *, uint32_t) {}

    template <class Object>
    static void onIdled(void *data, Object *) {
        auto *self = static_cast<WaylandMonitor *>(data);
        if (self->onIdle) self->onIdle();
    }
    template <class Object>
    static void onResumed(void *data, Object *) {
        auto *self = static_cast<WaylandMonitor *>(data);
        if (self->onActive) self->onActive();
    }

    void flush() {
        if (wl_display_flush(display_) < 0 && errno != EAGAIN) lost();
    }

    // Reads what the socket holds and runs the listeners.
    void readEvents() {
        while (wl_display_prepare_read(display_) != 0) wl_display_dispatch_pending(display_);
        if (wl_display_read_events(display_) < 0) {
            lost();
            return;
        }
        wl_display_dispatch_pending(display_);
        flush();
    }

    void lost() {
        notifier_->setEnabled(false);
        const int error = wl_display_get_error(display_);
        const std::string why = std::string("the Wayland compositor closed the connection") +
                                (error ? std::string(" (") + strerror(error) + ")" : std::string());
        if (onLost) onLost(why);
    }

    bool ext_;
    wl_display *display_ = nullptr;
    wl_registry *registry_ = nullptr;
    wl_seat *seat_ = nullptr;
    ext_idle_notifier_v1 *extNotifier_ = nullptr;
    org_kde_kwin_idle *kdeIdle_ = nullptr;
    ext_idle_notification_v1 *extNotification_ = nullptr;
    org_kde_kwin_idle_timeout *kdeTimeout_ = nullptr;
    QSocketNotifier *notifier_ = nullptr;
};

}  // namespace

std::unique_ptr<IdleMonitor> openWaylandMonitor(bool extNotifier, std::string *why) {
    auto m = std::make_unique<WaylandMonitor>(extNotifier);
    if (!m->open(why)) return nullptr;
    return m;
}

}  // namespace platform
