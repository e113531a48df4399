// The idle watcher on an X server of the test's own, with input sent
// through XTest as a real device sends it: input puts the saver off, a key
// ends it and the watcher starts it again, and programs that keep the
// screen on hold it through a private session bus.
#include "tests/support/test_support.h"

#include "tests/onscreen/xserver.h"
#include "tests/support/desktop_session.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <cstdlib>

#include <X11/Xlib-xcb.h>
#include <xcb/screensaver.h>
#include <X11/keysym.h>

namespace {

using testsupport::Background;
using testsupport::waitFor;

class IdleOnX11 : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(x_.ok());
        ASSERT_TRUE(bus_.ok());
        ASSERT_TRUE(dpy_ = XOpenDisplay(x_.display().c_str()));
        ASSERT_TRUE(xs_open(x_.display().c_str()));
    }
    void TearDown() override {
        xs_close();
        if (dpy_) XCloseDisplay(dpy_);
    }

    std::unique_ptr<Background> watch(const std::string &source) {
        return std::make_unique<Background>(
            testsupport::somnelProgram(),
            std::vector<std::string>{"idle", "--source", source, "--after", "2s", testsupport::testSaver("Tester")},
            env());
    }
    std::vector<std::string> env() const {
        return {"DISPLAY=" + x_.display(), "DBUS_SESSION_BUS_ADDRESS=" + bus_.address(),
                "XDG_RUNTIME_DIR=" + runtime_.path(), "XDG_CONFIG_HOME=" + runtime_.path(),
                "QT_LOGGING_RULES=somnel.idle.info=true"};
    }
    // The watcher's saver as the server shows it: a mapped window of the
    // screen's size made by its child process; 0 while there is none.
    static unsigned long saverWindow(Background &watcher) {
        for (int pid : testsupport::childProcesses(watcher.pid()))
            if (unsigned long w = xs_window_of_pid(pid, 640, 480)) return w;
        return 0;
    }
    // Waits for the saver, and says how long it took from `since`.
    static qint64 saverAfter(Background &watcher, const QElapsedTimer &since) {
        EXPECT_TRUE(waitFor([&] { return saverWindow(watcher) || !watcher.running(); })) << watcher.output();
        EXPECT_NE(saverWindow(watcher), 0u) << watcher.output();
        return since.elapsed();
    }
    void move() {
        XTestFakeRelativeMotionEvent(dpy_, 1, 1, CurrentTime);
        XSync(dpy_, False);
    }
    void key() {
        const KeyCode space = XKeysymToKeycode(dpy_, XK_space);
        XTestFakeKeyEvent(dpy_, space, True, CurrentTime);
        XTestFakeKeyEvent(dpy_, space, False, CurrentTime);
        XSync(dpy_, False);
    }
    // How long the server has seen no input.
    unsigned long serverIdleMs() {
        xcb_connection_t *c = XGetXCBConnection(dpy_);
        xcb_screensaver_query_info_reply_t *info =
            xcb_screensaver_query_info_reply(c, xcb_screensaver_query_info(c, DefaultRootWindow(dpy_)), nullptr);
        const unsigned long idle = info ? info->ms_since_user_input : 0;
        free(info);
        return idle;
    }
    QDBusMessage call(const QString &client, const QString &method, const QVariantList &args) {
        QDBusMessage m = QDBusMessage::createMethodCall("org.freedesktop.ScreenSaver", "/ScreenSaver",
                                                        "org.freedesktop.ScreenSaver", method);
        m.setArguments(args);
        return QDBusConnection::connectToBus(QString::fromStdString(bus_.address()), client).call(m);
    }
    std::string status() {
        std::string prefix = "env";
        for (const std::string &e : env()) prefix += " '" + e + "'";
        return testsupport::somnel("idle --status", prefix).out;
    }

    testsupport::PrivateXServer x_;
    testsupport::PrivateSessionBus bus_;
    testsupport::TempDir runtime_;
    Display *dpy_ = nullptr;
};

TEST_F(IdleOnX11, TheSaverStartsTheIdleTimeAfterTheLastInput) {
    auto watcher = watch("x11-sync");
    // Input every half second for three seconds: no saver meanwhile.
    for (int i = 0; i < 6; i++) {
        move();
        testsupport::letEventsRun(500);
        ASSERT_EQ(saverWindow(*watcher), 0u) << "after input " << i << "\n" << watcher->output();
    }
    QElapsedTimer since;
    since.start();
    move();
    EXPECT_GE(saverAfter(*watcher, since), 2000);
}

// With each X11 source: the saver ends on a key, and the next idle time
// brings it back.
TEST_F(IdleOnX11, AKeyEndsTheSaverAndTheNextIdleStartsItAgain) {
    for (const char *source : {"x11-sync", "x11-mit"}) {
        SCOPED_TRACE(source);
        auto watcher = watch(source);
        QElapsedTimer since;
        since.start();
        saverAfter(*watcher, since);
        since.restart();
        key();
        ASSERT_TRUE(waitFor([&] { return watcher->output().find("ended with status 0") != std::string::npos; }))
            << watcher->output();
        EXPECT_GE(saverAfter(*watcher, since), 2000);
        EXPECT_EQ(watcher->stop(SIGTERM), 0);
        EXPECT_EQ(watcher->output().find("somnel: "), std::string::npos) << watcher->output();
    }
}

// Started when the user has already been idle that long, the watcher
// starts the saver at once (an alarm on the server's idle counter made
// past its value never fires).
TEST_F(IdleOnX11, AWatcherStartedLateStartsTheSaverAtOnce) {
    for (const char *source : {"x11-sync", "x11-mit"}) {
        SCOPED_TRACE(source);
        ASSERT_TRUE(waitFor([&] { return serverIdleMs() > 2500; }));
        auto watcher = watch(source);
        QElapsedTimer since;
        since.start();
        saverAfter(*watcher, since);
    }
}

// Inhibit holds the saver off; UnInhibit, or the end of the client's
// connection, lets it start the idle time after that.
TEST_F(IdleOnX11, AnInhibitHoldsTheSaverUntilItsReleaseOrItsClientLeaves) {
    auto watcher = watch("x11-sync");
    ASSERT_TRUE(waitFor([&] { return status().find("starts after 2 s idle") != std::string::npos; }));
    const QDBusMessage cookie = call("player", "Inhibit", {"player", "video"});
    ASSERT_EQ(cookie.type(), QDBusMessage::ReplyMessage) << cookie.errorMessage().toStdString();
    move();
    testsupport::letEventsRun(3500);
    EXPECT_EQ(saverWindow(*watcher), 0u);
    EXPECT_NE(status().find("running: inhibited by \"player\" (video)"), std::string::npos) << status();
    QElapsedTimer since;
    since.start();
    call("player", "UnInhibit", {cookie.arguments().value(0)});
    EXPECT_GE(saverAfter(*watcher, since), 2000);

    key();
    ASSERT_TRUE(waitFor([&] { return !saverWindow(*watcher); }));
    ASSERT_EQ(call("viewer", "Inhibit", {"viewer", "slides"}).type(), QDBusMessage::ReplyMessage);
    testsupport::letEventsRun(3500);
    EXPECT_EQ(saverWindow(*watcher), 0u);
    since.restart();
    QDBusConnection::disconnectFromBus("viewer");
    EXPECT_GE(saverAfter(*watcher, since), 2000);
    EXPECT_NE(watcher->output().find("inhibit of \"viewer\" released"), std::string::npos) << watcher->output();
}

}  // namespace
