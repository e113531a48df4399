// The idle watcher on a headless sway (run as an unprivileged user, since
// sway refuses root; two outputs), whose idle source is org_kde_kwin_idle:
// the saver shows after the idle time, a key through the virtual
// keyboard ends it, and the next idle time brings it back.
#include "tests/support/test_support.h"

#include "tests/support/desktop_session.h"

#include <QImage>

namespace {

using testsupport::Background;
using testsupport::HeadlessCompositor;
using testsupport::waitFor;

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
    // The saver shows: how many outputs one run fills is the Wayland run's
    // own matter (one full-screen window per output), tested with it.
    auto covered = [&] { return coveredOutput(0) || coveredOutput(1); };
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
