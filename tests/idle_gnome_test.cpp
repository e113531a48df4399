// The idle watcher on a headless mutter with a virtual monitor, on a
// session bus of its own: GNOME's idle monitor fires the watch and the
// saver comes up. mutter offers no capture, so the saver's surface is read
// from the Wayland protocol trace.
#include "tests/support/test_support.h"

#include "tests/support/desktop_session.h"

namespace {

TEST(IdleOnGnome, TheIdleWatchFiresAndTheSaverComesUp) {
    testsupport::HeadlessCompositor mutter(testsupport::HeadlessCompositor::Mutter, {"640x480"});
    if (!mutter.skipReason().empty()) GTEST_SKIP() << mutter.skipReason();
    std::vector<std::string> env = mutter.clientEnv();
    env.insert(env.end(), {"XDG_CONFIG_HOME=" + mutter.folder() + "/config", "WAYLAND_DEBUG=1",
                           "QT_LOGGING_RULES=somnel.idle.info=true"});
    testsupport::Background watcher(testsupport::somnelProgram(),
                                    {"idle", "--after", "2s", testsupport::testSaver("Tester")}, env);
    // After the watch fired: the saver's surface gets a buffer of the
    // monitor's size and is shown.
    auto shown = [&] {
        const std::string &out = watcher.output();
        const size_t start = out.find("somnel.idle: starting");
        return start != std::string::npos && out.find(".configure(640, 480,", start) != std::string::npos &&
               out.find(".attach(wl_buffer@", start) != std::string::npos &&
               out.find(".commit()", out.find(".attach(wl_buffer@", start)) != std::string::npos;
    };
    EXPECT_TRUE(testsupport::waitFor([&] { return !watcher.running() || shown(); })) << watcher.output();
    EXPECT_NE(watcher.output().find("idle source: GNOME's idle monitor (org.gnome.Mutter.IdleMonitor)"),
              std::string::npos);
    EXPECT_EQ(watcher.stop(SIGTERM), 0);
}

}  // namespace
