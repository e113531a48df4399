// GNOME's idle source: the compositor's idle monitor on the session bus
// (org.gnome.Mutter.IdleMonitor). An idle watch fires each time the idle
// time reaches its interval; a user-active watch fires once, at the next
// input, and is gone. The monitor holds its idle watches back while the
// session's inhibitors of idleness are held.
#include "platform/idle.h"

#include "platform/dbus_signal.h"
#include "platform/log.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>

namespace platform {

namespace {

const char kService[] = "org.gnome.Mutter.IdleMonitor";
const char kPath[] = "/org/gnome/Mutter/IdleMonitor/Core";
const char kInterface[] = "org.gnome.Mutter.IdleMonitor";

class GnomeMonitor : public IdleMonitor {
public:
    GnomeMonitor() : bus_(QDBusConnection::sessionBus()) {}
    ~GnomeMonitor() override {
        if (bus_.isConnected()) {
            remove(idleWatch_);
            remove(activeWatch_);
        }
    }

    bool open(std::string *why) {
        if (!bus_.isConnected()) {
            *why = "no session bus";
            return false;
        }
        if (!bus_.interface()->isServiceRegistered(kService)) {
            *why = std::string(kService) + " is not on the session bus";
            return false;
        }
        QDBusReply<qulonglong> idle = bus_.call(method("GetIdletime"));
        if (!idle.isValid()) {
            *why = std::string(kService) + " does not answer: " + idle.error().message().toStdString();
            return false;
        }
        receiver_ = std::make_unique<DBusSignalReceiver>([this](const QDBusMessage &m) { fired(m); });
        bus_.connect(kService, kPath, kInterface, "WatchFired", receiver_.get(), SLOT(deliver(QDBusMessage)));
        watcher_ = std::make_unique<QDBusServiceWatcher>(kService, bus_, QDBusServiceWatcher::WatchForUnregistration);
        QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceUnregistered, [this] {
            if (onLost) onLost(std::string(kService) + " left the session bus");
        });
        return true;
    }

    std::string name() const override { return std::string("GNOME's idle monitor (") + kService + ")"; }

    void watch(int timeoutMs) override {
        remove(idleWatch_);
        remove(activeWatch_);
        idle_ = false;
        QDBusMessage call = method("AddIdleWatch");
        call << qulonglong(timeoutMs < 1 ? 1 : timeoutMs);
        idleWatch_ = add(call);
    }

    bool resetIdle() override {
        return bus_.call(method("ResetIdletime")).type() == QDBusMessage::ReplyMessage;
    }

private:
    static QDBusMessage method(const char *name) {
        return QDBusMessage::createMethodCall(kService, kPath, kInterface, name);
    }

    // The id of the watch the call adds, 0 when it failed (said once).
    unsigned add(const QDBusMessage &call) {
        QDBusReply<unsigned> id = bus_.call(call);
        if (id.isValid()) return id.value();
        log("%s: %s failed: %s", kService, qPrintable(call.member()), qPrintable(id.error().message()));
        return 0;
    }
    void remove(unsigned &id) {
        if (!id) return;
        QDBusMessage call = method("RemoveWatch");
        call << id;
        bus_.call(call, QDBus::NoBlock);
        id = 0;
    }

    void fired(const QDBusMessage &m) {
        if (m.arguments().isEmpty()) return;
        const unsigned id = m.arguments().first().toUInt();
        if (id && id == idleWatch_ && !idle_) {
            idle_ = true;
            activeWatch_ = add(method("AddUserActiveWatch"));
            if (onIdle) onIdle();
        } else if (id && id == activeWatch_ && idle_) {
            // A user-active watch fires once and is removed by the monitor.
            activeWatch_ = 0;
            idle_ = false;
            if (onActive) onActive();
        }
    }

    QDBusConnection bus_;
    std::unique_ptr<DBusSignalReceiver> receiver_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    unsigned idleWatch_ = 0, activeWatch_ = 0;
    bool idle_ = false;
};

}  // namespace

std::unique_ptr<IdleMonitor> openGnomeMonitor(std::string *why) {
    auto m = std::make_unique<GnomeMonitor>();
    if (!m->open(why)) return nullptr;
    return m;
}

}  // namespace platform
