// The Wayland idle source: each protocol against a stand-in compositor
// (none here offers ext_idle_notifier_v1), then the watcher on a headless
// sway (run as an unprivileged user, since sway refuses root; two outputs),
// whose idle source is org_kde_kwin_idle: the saver shows after the idle
// time, a key through the virtual keyboard ends it, and the next idle time
// brings it back.
#include "tests/support/test_support.h"

#include "tests/support/desktop_session.h"

#include "platform/idle.h"

#include "tests/protocols/ext_idle_notify_v1_server.h"
#include "tests/protocols/kde_idle_server.h"

#include <QImage>

#include <wayland-server.h>

#include <cstdlib>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

using testsupport::Background;
using testsupport::HeadlessCompositor;
using testsupport::waitFor;

// A stand-in compositor on a thread of its own: a seat and the two idle
// protocols, nothing to show. Each notification asked for is noted; the
// test makes the compositor send "idle" and "resumed" to all of them.
class StandInCompositor {
public:
    StandInCompositor() {
        for (const char *name : {"XDG_RUNTIME_DIR", "WAYLAND_DISPLAY"})
            if (const char *value = getenv(name)) saved_.emplace_back(name, value);
        setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
        display_ = wl_display_create();
        socket_ = wl_display_add_socket_auto(display_);
        setenv("WAYLAND_DISPLAY", socket_, 1);
        wl_global_create(display_, &wl_seat_interface, 1, this, bindSeat);
        wl_global_create(display_, &ext_idle_notifier_v1_interface, 1, this, bindExt);
        wl_global_create(display_, &org_kde_kwin_idle_interface, 1, this, bindKde);
        if (pipe(commands_) != 0) ADD_FAILURE() << "no pipe";
        wl_event_loop_add_fd(wl_display_get_event_loop(display_), commands_[0], WL_EVENT_READABLE, onCommand, this);
        thread_ = std::thread([this] { wl_display_run(display_); });
    }
    ~StandInCompositor() {
        command('q');
        thread_.join();
        wl_display_destroy_clients(display_);
        wl_display_destroy(display_);
        close(commands_[0]);
        close(commands_[1]);
        unsetenv("XDG_RUNTIME_DIR");
        unsetenv("WAYLAND_DISPLAY");
        for (const auto &[name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
    }
    // What clients asked, one line each: "ext 1500", "kde 1500", "gone", "activity".
    std::string log() {
        std::lock_guard<std::mutex> lock(mutex_);
        return log_;
    }
    void sendIdle() { command('i'); }
    void sendResumed() { command('r'); }

private:
    void note(const std::string &line) {
        std::lock_guard<std::mutex> lock(mutex_);
        log_ += line + "\n";
    }
    void command(char c) { ASSERT_EQ(write(commands_[1], &c, 1), 1); }
    static int onCommand(int fd, uint32_t, void *data) {
        auto *self = static_cast<StandInCompositor *>(data);
        char c = 0;
        if (read(fd, &c, 1) != 1 || c == 'q') {
            wl_display_terminate(self->display_);
            return 0;
        }
        for (wl_resource *r : self->watches_) {
            const bool ext = wl_resource_instance_of(r, &ext_idle_notification_v1_interface, nullptr);
            if (c == 'i') ext ? ext_idle_notification_v1_send_idled(r) : org_kde_kwin_idle_timeout_send_idle(r);
            if (c == 'r') ext ? ext_idle_notification_v1_send_resumed(r) : org_kde_kwin_idle_timeout_send_resumed(r);
        }
        wl_display_flush_clients(self->display_);
        return 0;
    }
    static void destroy(wl_client *, wl_resource *r) { wl_resource_destroy(r); }
    static void nothing(wl_client *, wl_resource *, uint32_t) {}
    static void bindSeat(wl_client *client, void *data, uint32_t version, uint32_t id) {
        static const struct wl_seat_interface seat = {nothing, nothing, nothing, destroy};
        wl_resource_set_implementation(wl_resource_create(client, &wl_seat_interface, int(version), id), &seat, data,
                                       nullptr);
    }
    // A notification, noted until the client lets it go.
    void watch(wl_client *client, const wl_interface *kind, const void *implementation, uint32_t id,
               uint32_t timeout) {
        wl_resource *r = wl_resource_create(client, kind, 1, id);
        wl_resource_set_implementation(r, implementation, this, [](wl_resource *gone) {
            auto *self = static_cast<StandInCompositor *>(wl_resource_get_user_data(gone));
            self->watches_.erase(std::find(self->watches_.begin(), self->watches_.end(), gone));
            self->note("gone");
        });
        watches_.push_back(r);
        note(std::string(kind == &ext_idle_notification_v1_interface ? "ext " : "kde ") + std::to_string(timeout));
    }
    static void bindExt(wl_client *client, void *data, uint32_t, uint32_t id) {
        static const struct ext_idle_notification_v1_interface notification = {destroy};
        static const struct ext_idle_notifier_v1_interface notifier = {
            destroy, [](wl_client *c, wl_resource *r, uint32_t id, uint32_t timeout, wl_resource *) {
                static_cast<StandInCompositor *>(wl_resource_get_user_data(r))
                    ->watch(c, &ext_idle_notification_v1_interface, &notification, id, timeout);
            }};
        wl_resource_set_implementation(wl_resource_create(client, &ext_idle_notifier_v1_interface, 1, id), &notifier,
                                       data, nullptr);
    }
    static void bindKde(wl_client *client, void *data, uint32_t, uint32_t id) {
        static const struct org_kde_kwin_idle_timeout_interface timeout = {
            destroy, [](wl_client *, wl_resource *r) {
                static_cast<StandInCompositor *>(wl_resource_get_user_data(r))->note("activity");
            }};
        static const struct org_kde_kwin_idle_interface idle = {
            [](wl_client *c, wl_resource *r, uint32_t id, wl_resource *, uint32_t ms) {
                static_cast<StandInCompositor *>(wl_resource_get_user_data(r))
                    ->watch(c, &org_kde_kwin_idle_timeout_interface, &timeout, id, ms);
            }};
        wl_resource_set_implementation(wl_resource_create(client, &org_kde_kwin_idle_interface, 1, id), &idle, data,
                                       nullptr);
    }

    std::vector<std::pair<std::string, std::string>> saved_;
    testsupport::TempDir runtime_;
    wl_display *display_ = nullptr;
    const char *socket_ = nullptr;
    int commands_[2] = {-1, -1};
    std::thread thread_;
    std::vector<wl_resource *> watches_;  // the compositor's thread only
    std::mutex mutex_;
    std::string log_;
};

// Each protocol as the watcher uses it: one notification at a time with
// the idle time asked for, "idle" and "resumed" passed on, a new watch
// replacing the old one, input simulated where the protocol allows, and a
// compositor that goes away reported. Where both are offered (as KWin
// does), the newer one is chosen.
TEST(WaylandIdleMonitor, EachProtocolPassesItsNotificationsOn) {
    auto standIn = std::make_unique<StandInCompositor>();
    StandInCompositor &compositor = *standIn;
    std::string tried;
    auto chosen = platform::openIdleMonitor(platform::IdleSource::Automatic, &tried);
    ASSERT_TRUE(chosen) << tried;
    EXPECT_EQ(chosen->name(), "the compositor's ext_idle_notifier_v1");
    chosen.reset();
    for (const char *kind : {"ext", "kde"}) {
        SCOPED_TRACE(kind);
        const bool ext = std::string(kind) == "ext";
        auto monitor = platform::openIdleMonitor(
            ext ? platform::IdleSource::WaylandExt : platform::IdleSource::WaylandKde, &tried);
        ASSERT_TRUE(monitor) << tried;
        std::string events, lost;
        monitor->onIdle = [&] { events += "idle "; };
        monitor->onActive = [&] { events += "active "; };
        monitor->onLost = [&](const std::string &why) { lost = why; };
        const std::string before = compositor.log();
        monitor->watch(1500);
        ASSERT_TRUE(waitFor([&] { return compositor.log() == before + kind + " 1500\n"; })) << compositor.log();
        compositor.sendIdle();
        compositor.sendResumed();
        EXPECT_TRUE(waitFor([&] { return events == "idle active "; })) << events;
        monitor->watch(60000);
        EXPECT_TRUE(waitFor([&] { return compositor.log() == before + kind + " 1500\ngone\n" + kind + " 60000\n"; }))
            << compositor.log();
        EXPECT_EQ(monitor->resetIdle(), !ext);
        if (!ext) {
            EXPECT_TRUE(waitFor([&] { return compositor.log().ends_with("activity\n"); }));
        }
        EXPECT_TRUE(lost.empty()) << lost;
        if (!ext) {
            standIn.reset();
            EXPECT_TRUE(waitFor([&] { return !lost.empty(); }));
            EXPECT_EQ(lost.rfind("the Wayland compositor closed the connection", 0), 0u) << lost;
        }
    }
}

size_t count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at++) n++;
    return n;
}

TEST(IdleOnWayland, TheSaverShowsAfterTheIdleTimeAndAKeyEndsIt) {
    HeadlessCompositor sway(HeadlessCompositor::Sway, {"640x480", "800x600"});
    if (!sway.skipReason().empty()) GTEST_SKIP() << sway.skipReason();
    const char *outputs[] = {"HEADLESS-1", "HEADLESS-2"};
    QImage empty[2];
    for (int i = 0; i < 2; i++) ASSERT_TRUE(sway.grab(outputs[i], &empty[i]));
    // An output is covered when its middle and its corners show something
    // else than the bare desktop.
    auto coveredOutput = [&](int i) {
        QImage now;
        if (!sway.grab(outputs[i], &now) || now.size() != empty[i].size()) return false;
        const int w = now.width() - 1, h = now.height() - 1;
        for (QPoint p : {QPoint(w / 2, h / 2), QPoint(0, 0), QPoint(w, 0), QPoint(0, h), QPoint(w, h)})
            if (now.pixel(p) == empty[i].pixel(p)) return false;
        return true;
    };
    // The saver shows on every output: the run makes one full-screen window
    // per output, so a watcher that starts it covers both.
    auto covered = [&] { return coveredOutput(0) && coveredOutput(1); };
    std::vector<std::string> env = sway.clientEnv();
    env.insert(env.end(), {"XDG_CONFIG_HOME=" + sway.folder() + "/config", "QT_LOGGING_RULES=somnel.idle.info=true"});
    {
        // A source the compositor does not offer: what was tried, one line.
        Background unusable(testsupport::somnelProgram(),
                            {"idle", "--source", "wayland-ext", testsupport::testSaver("Tester")}, env, &sway.user());
        EXPECT_TRUE(waitFor([&] { return !unusable.running(); }));
        EXPECT_EQ(unusable.stop(SIGTERM), 1);
        EXPECT_EQ(unusable.output(), "somnel: no idle source for this session; tried wayland-ext: the compositor "
                                     "does not offer ext_idle_notifier_v1\n");
    }
    Background watcher(testsupport::somnelProgram(), {"idle", "--after", "2s", testsupport::testSaver("Tester")}, env,
                       &sway.user());
    EXPECT_TRUE(waitFor([&] { return !watcher.running() || covered(); })) << watcher.output();
    EXPECT_NE(watcher.output().find("idle source: the compositor's org_kde_kwin_idle"), std::string::npos)
        << watcher.output();
    ASSERT_TRUE(sway.type("x"));
    ASSERT_TRUE(waitFor([&] { return watcher.output().find("ended with status 0") != std::string::npos; }))
        << watcher.output();
    EXPECT_TRUE(waitFor([&] { return count(watcher.output(), "somnel.idle: starting") == 2 && covered(); }))
        << watcher.output();
    EXPECT_EQ(watcher.stop(SIGTERM), 0);
}

}  // namespace
