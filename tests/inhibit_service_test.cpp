// The inhibit service on a session bus of the test's own: what clients
// may call on either path, and the name left to, or handed over to, the
// desktop's own service.
#include "tests/support/test_support.h"

#include "tests/support/desktop_session.h"

#include "platform/inhibit_service.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>

#include <cstdlib>

namespace {

using platform::InhibitService;

class Inhibit : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        bus_ = new testsupport::PrivateSessionBus;
        // The service uses the process's session bus.
        setenv("DBUS_SESSION_BUS_ADDRESS", bus_->address().c_str(), 1);
    }
    static void TearDownTestSuite() { delete bus_; }
    void SetUp() override { ASSERT_TRUE(bus_->ok()); }

    static QDBusConnection client(const QString &name) {
        return QDBusConnection::connectToBus(QString::fromStdString(bus_->address()), name);
    }
    static QDBusMessage call(const QString &name, const QString &path, const QString &method, QVariantList args = {}) {
        QDBusMessage m = QDBusMessage::createMethodCall("org.freedesktop.ScreenSaver", path,
                                                        "org.freedesktop.ScreenSaver", method);
        m.setArguments(args);
        return client(name).call(m, QDBus::BlockWithGui);  // the service answers on this thread
    }

    static inline testsupport::PrivateSessionBus *bus_ = nullptr;
};

TEST_F(Inhibit, BothPathsAnswerWhatClientsAsk) {
    std::vector<bool> setActive;
    int changes = 0;
    InhibitService::Hooks hooks;
    hooks.inhibitorsChanged = [&] { changes++; };
    hooks.active = [] { return true; };
    hooks.activeSeconds = [] { return 42u; };
    hooks.setActive = [&](bool on) {
        setActive.push_back(on);
        return true;
    };
    std::string why;
    auto service = InhibitService::serve(hooks, &why);
    ASSERT_TRUE(service) << why;
    const QDBusMessage first = call("a", "/ScreenSaver", "Inhibit", {"player", "video"});
    const QDBusMessage second = call("a", "/org/freedesktop/ScreenSaver", "Inhibit", {"slides", ""});
    ASSERT_EQ(second.type(), QDBusMessage::ReplyMessage) << second.errorMessage().toStdString();
    const uint c1 = first.arguments().value(0).toUInt(), c2 = second.arguments().value(0).toUInt();
    EXPECT_TRUE(c1 && c2 && c1 != c2) << c1 << " " << c2;
    ASSERT_EQ(service->inhibitors().size(), 2u);
    EXPECT_EQ(service->inhibitors()[0].application, "player");
    EXPECT_EQ(service->inhibitors()[0].reason, "video");
    EXPECT_EQ(service->inhibitors()[0].client, client("a").baseService().toStdString());
    call("a", "/ScreenSaver", "UnInhibit", {c1});
    ASSERT_EQ(service->inhibitors().size(), 1u);
    EXPECT_EQ(service->inhibitors()[0].cookie, c2);
    EXPECT_EQ(changes, 3);

    EXPECT_EQ(call("a", "/ScreenSaver", "GetActive").arguments().value(0), QVariant(true));
    EXPECT_EQ(call("a", "/ScreenSaver", "GetActiveTime").arguments().value(0), QVariant(42u));
    EXPECT_EQ(call("a", "/ScreenSaver", "SetActive", {false}).arguments().value(0), QVariant(true));
    EXPECT_EQ(setActive, std::vector<bool>{false});
    EXPECT_EQ(call("a", "/ScreenSaver", "Lock").type(), QDBusMessage::ErrorMessage);
    EXPECT_EQ(call("a", "/ScreenSaver", "Inhibit", {"one argument"}).type(), QDBusMessage::ErrorMessage);
}

TEST_F(Inhibit, TheNameIsLeftToTheProgramThatServesIt) {
    QDBusConnection desktop = client("desktop");
    ASSERT_TRUE(desktop.registerService("org.freedesktop.ScreenSaver"));
    std::string why;
    EXPECT_FALSE(InhibitService::serve({}, &why));
    EXPECT_EQ(why.rfind("org.freedesktop.ScreenSaver is served by " + desktop.baseService().toStdString(), 0), 0u)
        << why;
    desktop.unregisterService("org.freedesktop.ScreenSaver");

    // A desktop that comes later takes the name over; the inhibits held
    // here go with it.
    int changes = 0;
    InhibitService::Hooks hooks;
    hooks.inhibitorsChanged = [&] { changes++; };
    auto service = InhibitService::serve(hooks, &why);
    ASSERT_TRUE(service) << why;
    call("a", "/ScreenSaver", "Inhibit", {"player", "video"});
    ASSERT_EQ(service->inhibitors().size(), 1u);
    ASSERT_EQ(desktop.interface()->registerService("org.freedesktop.ScreenSaver",
                                                   QDBusConnectionInterface::ReplaceExistingService).value(),
              QDBusConnectionInterface::ServiceRegistered);
    EXPECT_TRUE(testsupport::waitFor([&] { return service->inhibitors().empty(); }));
    EXPECT_EQ(changes, 2);
}

}  // namespace
