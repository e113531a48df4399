// org.freedesktop.ScreenSaver on the session bus, answered by hand (a
// virtual object per path): Inhibit, UnInhibit, SimulateUserActivity,
// GetActive, GetActiveTime, SetActive, and the ActiveChanged signal.
#include "platform/inhibit_service.h"

#include "platform/log.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVirtualObject>
#include <QFile>

#include <algorithm>

namespace platform {

namespace {

const char kName[] = "org.freedesktop.ScreenSaver";
const char kInterface[] = "org.freedesktop.ScreenSaver";
// Clients call one or the other.
const char *const kPaths[] = {"/ScreenSaver", "/org/freedesktop/ScreenSaver"};

const char kIntrospection[] =
    "  <interface name=\"org.freedesktop.ScreenSaver\">\n"
    "    <method name=\"Inhibit\">\n"
    "      <arg name=\"application_name\" type=\"s\" direction=\"in\"/>\n"
    "      <arg name=\"reason_for_inhibit\" type=\"s\" direction=\"in\"/>\n"
    "      <arg name=\"cookie\" type=\"u\" direction=\"out\"/>\n"
    "    </method>\n"
    "    <method name=\"UnInhibit\">\n"
    "      <arg name=\"cookie\" type=\"u\" direction=\"in\"/>\n"
    "    </method>\n"
    "    <method name=\"SimulateUserActivity\"/>\n"
    "    <method name=\"GetActive\">\n"
    "      <arg type=\"b\" direction=\"out\"/>\n"
    "    </method>\n"
    "    <method name=\"GetActiveTime\">\n"
    "      <arg name=\"seconds\" type=\"u\" direction=\"out\"/>\n"
    "    </method>\n"
    "    <method name=\"SetActive\">\n"
    "      <arg type=\"b\" direction=\"in\"/>\n"
    "      <arg type=\"b\" direction=\"out\"/>\n"
    "    </method>\n"
    "    <signal name=\"ActiveChanged\">\n"
    "      <arg type=\"b\"/>\n"
    "    </signal>\n"
    "  </interface>\n";

// The program behind a bus name, for the line that says who owns it.
std::string describeOwner(QDBusConnectionInterface *bus, const QString &name) {
    const QString owner = bus->serviceOwner(name).value();
    const uint pid = bus->servicePid(name).value();
    QFile comm(QString("/proc/%1/comm").arg(pid));
    QString program;
    if (pid && comm.open(QIODevice::ReadOnly)) program = QString::fromUtf8(comm.readAll()).trimmed();
    std::string text = owner.toStdString();
    if (!program.isEmpty()) text += " (" + program.toStdString() + ", process " + std::to_string(pid) + ")";
    return text;
}

}  // namespace

struct InhibitService::Impl : QDBusVirtualObject {
    Impl() : bus(QDBusConnection::sessionBus()) {}

    QString introspect(const QString &) const override { return QString::fromLatin1(kIntrospection); }

    bool handleMessage(const QDBusMessage &m, const QDBusConnection &connection) override {
        if (m.type() != QDBusMessage::MethodCallMessage) return false;
        if (!m.interface().isEmpty() && m.interface() != kInterface) return false;
        const QString member = m.member(), signature = m.signature();
        const QVariantList args = m.arguments();
        auto reply = [&](const QVariantList &out) { connection.send(m.createReply(out)); };
        if (member == "Inhibit" && signature == "ss") {
            reply({inhibit(m.service(), args[0].toString(), args[1].toString())});
        } else if (member == "UnInhibit" && signature == "u") {
            release([&](const Inhibitor &i) { return i.cookie == args[0].toUInt(); });
            reply({});
        } else if (member == "SimulateUserActivity" && signature.isEmpty()) {
            if (hooks.simulateActivity) hooks.simulateActivity();
            reply({});
        } else if (member == "GetActive" && signature.isEmpty()) {
            reply({hooks.active && hooks.active()});
        } else if (member == "GetActiveTime" && signature.isEmpty()) {
            reply({hooks.activeSeconds ? hooks.activeSeconds() : 0u});
        } else if (member == "SetActive" && signature == "b") {
            reply({hooks.setActive && hooks.setActive(args[0].toBool())});
        } else {
            connection.send(m.createErrorReply(QDBusError::UnknownMethod,
                                               QString("no method %1(%2) in %3").arg(member, signature, kInterface)));
        }
        return true;
    }

    uint32_t inhibit(const QString &client, const QString &application, const QString &reason) {
        // Cookies are never 0 (some clients take 0 for a failure) and never
        // one still held.
        auto held = [this](uint32_t c) {
            return std::any_of(list.begin(), list.end(), [c](const Inhibitor &i) { return i.cookie == c; });
        };
        do {
            if (++nextCookie == 0) nextCookie = 1;
        } while (held(nextCookie));
        list.push_back({nextCookie, application.toStdString(), reason.toStdString(), client.toStdString()});
        logInfo(LogArea::Idle, "inhibited by \"%s\" (%s), cookie %u, client %s", qPrintable(application),
                qPrintable(reason), nextCookie, qPrintable(client));
        // NOTE: a client may leave the bus before we start watching it
        // (a one-shot command does, right after the reply): ask once more.
        const uint32_t cookie = nextCookie;
        clients->addWatchedService(client);
        if (!bus.interface()->isServiceRegistered(client).value())
            QMetaObject::invokeMethod(
                clients.get(), [this, client] { clientLeft(client); }, Qt::QueuedConnection);
        changed();
        return cookie;
    }

    template <class Pred>
    void release(Pred pred) {
        const size_t before = list.size();
        for (const Inhibitor &i : list)
            if (pred(i))
                logInfo(LogArea::Idle, "inhibit of \"%s\" released, cookie %u", i.application.c_str(), i.cookie);
        list.erase(std::remove_if(list.begin(), list.end(), pred), list.end());
        if (list.size() != before) changed();
    }

    void clientLeft(const QString &client) {
        clients->removeWatchedService(client);
        const std::string name = client.toStdString();
        release([&](const Inhibitor &i) { return i.client == name; });
    }

    void changed() {
        if (hooks.inhibitorsChanged) hooks.inhibitorsChanged();
    }

    QDBusConnection bus;
    Hooks hooks;
    std::vector<Inhibitor> list;
    uint32_t nextCookie = 0;
    std::unique_ptr<QDBusServiceWatcher> clients;
};

InhibitService::InhibitService() : impl_(std::make_unique<Impl>()) {}

InhibitService::~InhibitService() {
    if (impl_->bus.isConnected()) {
        impl_->bus.interface()->unregisterService(kName);
        for (const char *path : kPaths) impl_->bus.unregisterObject(path);
    }
}

std::unique_ptr<InhibitService> InhibitService::serve(Hooks hooks, std::string *why) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        *why = "no session bus";
        return nullptr;
    }
    QDBusConnectionInterface *iface = bus.interface();
    if (iface->isServiceRegistered(kName).value()) {
        *why = std::string(kName) + " is served by " + describeOwner(iface, kName);
        return nullptr;
    }
    std::unique_ptr<InhibitService> service(new InhibitService);
    Impl *impl = service->impl_.get();
    impl->hooks = std::move(hooks);
    impl->clients = std::make_unique<QDBusServiceWatcher>();
    impl->clients->setConnection(bus);
    impl->clients->setWatchMode(QDBusServiceWatcher::WatchForUnregistration);
    QObject::connect(impl->clients.get(), &QDBusServiceWatcher::serviceUnregistered,
                     [impl](const QString &client) { impl->clientLeft(client); });
    // The objects first, so that a call right after the name is ours finds them.
    for (const char *path : kPaths)
        if (!bus.registerVirtualObject(path, impl, QDBusConnection::SingleNode)) {
            *why = std::string("cannot serve the object ") + path + " on the session bus";
            return nullptr;
        }
    // Another program that asks for the name gets it; from then on its
    // inhibits are its own, and ours are gone with the name.
    QObject::connect(iface, &QDBusConnectionInterface::serviceUnregistered, impl->clients.get(),
                     [impl](const QString &name) {
        if (name != kName || impl->list.empty()) return;
        logInfo(LogArea::Idle, "%s was taken over by another program; its inhibits apply now", kName);
        impl->release([](const Inhibitor &) { return true; });
    });
    const auto registered = iface->registerService(kName, QDBusConnectionInterface::DontQueueService,
                                                   QDBusConnectionInterface::AllowReplacement);
    if (registered.value() != QDBusConnectionInterface::ServiceRegistered) {
        *why = std::string(kName) + " is served by " + describeOwner(iface, kName);
        return nullptr;
    }
    logInfo(LogArea::Idle, "serving %s on the session bus", kName);
    return service;
}

const std::vector<InhibitService::Inhibitor> &InhibitService::inhibitors() const { return impl_->list; }

void InhibitService::announceActive(bool on) {
    for (const char *path : kPaths) {
        QDBusMessage signal = QDBusMessage::createSignal(path, kInterface, "ActiveChanged");
        signal << on;
        impl_->bus.send(signal);
    }
}

}  // namespace platform
