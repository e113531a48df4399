// somnel idle as a user runs it: the idle time it takes, what it says about
// bad input, one watcher per session, its status, the settings it follows,
// a saver that keeps failing, and starting with the session.
#include "tests/support/test_support.h"

#include "tests/support/desktop_session.h"

#include "host/idle.h"
#include "host/somnel_settings.h"
#include "platform/preferences.h"

#include <QFile>

#include <cstdlib>

namespace {

using testsupport::Background;
using testsupport::somnel;
using testsupport::testSaver;

TEST(Idle, DurationsAreHoursMinutesSecondsOrMinutes) {
    const struct {
        const char *text;
        int seconds;  // 0: refused
    } cases[] = {
        {"90s", 90}, {"5m", 300}, {"1h", 3600}, {"2m30s", 150}, {"1h30m", 5400}, {"1h0m1s", 3601},
        {"10", 600}, {"720", 43200}, {"12h", 43200}, {"1s", 1}, {"007m", 420},
        {"", 0}, {"0", 0}, {"0s", 0}, {"0h0m", 0}, {"-5", 0}, {"-5m", 0}, {"5x", 0}, {"m", 0}, {"5", 300},
        {"30s2m", 0}, {"1m1m", 0}, {"1.5m", 0}, {"5 m", 0}, {" 5m", 0}, {"5M", 0}, {"5m ", 0},
        {"12h1s", 0}, {"721", 0}, {"99999999999999999h", 0}, {"2147483648s", 0},
    };
    for (const auto &c : cases) {
        int seconds = 0;
        EXPECT_EQ(somnel::host::parseDuration(c.text, &seconds), c.seconds != 0) << '"' << c.text << '"';
        if (c.seconds) {
            EXPECT_EQ(seconds, c.seconds) << c.text;
        }
    }
}

// Each with its one line and status; none leaves a watcher behind.
TEST(Idle, BadInputIsOneLineAndANonZeroStatus) {
    testsupport::TempDir runtime;
    const std::string env = "XDG_RUNTIME_DIR='" + runtime.path() + "'";
    const struct {
        const char *args;
        int status;
        const char *says;
    } cases[] = {
        {"idle --after 0 Tester", 2, "bad idle time \"0\" (expected a duration"},
        {"idle --after -5m Tester", 2, "bad idle time \"-5m\""},
        {"idle --after soon Tester", 2, "bad idle time \"soon\""},
        {"idle --after", 2, "--after needs a duration"},
        {"idle --source psychic Tester", 2, "unknown idle source \"psychic\" (expected one of auto, x11-sync"},
        {"idle --status --enable", 2, "--status, --enable and --disable go alone"},
        {"idle Tester Drizzle", 2, "more than one saver given"},
        {"idle --after 5m NoSuchSaver", 1, "NoSuchSaver"},
    };
    for (const auto &c : cases) {
        auto r = somnel(c.args, env);
        EXPECT_EQ(r.status, c.status) << c.args << ": " << r.err;
        EXPECT_EQ(r.err.rfind("somnel: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    EXPECT_EQ(somnel("idle --status", env).status, 3);
    auto none = somnel("idle Tester", "env -u DISPLAY -u WAYLAND_DISPLAY");
    EXPECT_EQ(none.status, 1);
    EXPECT_NE(none.err.find("neither WAYLAND_DISPLAY nor DISPLAY is set"), std::string::npos) << none.err;
}

// A watcher on the suite's display, with its own runtime folder and
// settings.
class IdleWatcherRun : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
        platform::ScreenSaverDefaults::forgetDomains();
    }
    void TearDown() override { platform::ScreenSaverDefaults::forgetDomains(); }
    std::vector<std::string> env() const {
        return {"XDG_RUNTIME_DIR=" + runtime_.path(), "XDG_CONFIG_HOME=" + config_.path(),
                "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent"};
    }
    std::string prefix() const {
        return "XDG_RUNTIME_DIR='" + runtime_.path() + "' XDG_CONFIG_HOME='" + config_.path() + "'";
    }
    std::unique_ptr<Background> start(const std::vector<std::string> &args) {
        std::vector<std::string> all{"idle"};
        all.insert(all.end(), args.begin(), args.end());
        auto b = std::make_unique<Background>(testsupport::somnelProgram(), all, env());
        EXPECT_TRUE(testsupport::waitFor([&] { return !b->running() || status().find("starts after") != std::string::npos; }))
            << b->output();
        return b;
    }
    std::string status() const { return somnel("idle --status", prefix()).out; }
    void store(const std::string &key, const platform::Value &value) {
        auto d = platform::ScreenSaverDefaults::defaultsForModuleWithName(somnel::host::kSettingsDomain);
        d->setObject(key, value);
        ASSERT_TRUE(d->synchronize());
    }

    testsupport::TempDir runtime_, config_;
};

TEST_F(IdleWatcherRun, OneWatcherPerSessionAndItsStatus) {
    auto first = start({"--after", "1h", "Tester"});
    const std::string pid = std::to_string(first->pid());
    EXPECT_EQ(status(), "running: Tester starts after 1 h idle (process " + pid + ")\n");
    auto second = somnel("idle --after 5m Tester", prefix());
    EXPECT_EQ(second.status, 1);
    EXPECT_NE(second.err.find("somnel idle already runs in this session (process " + pid + ", X display "),
              std::string::npos)
        << second.err;
    EXPECT_EQ(first->stop(SIGTERM), 0) << first->output();
    auto after = somnel("idle --status", prefix());
    EXPECT_EQ(after.status, 3);
    EXPECT_EQ(after.out, "not running\n");
}

// Changes to the stored saver and idle time apply without a restart; a
// saver that is not installed is said once, and the one before kept.
TEST_F(IdleWatcherRun, FollowsTheStoredSettings) {
    store(somnel::host::kSaverKey, std::string("Tester"));
    store(somnel::host::kIdleMinutesKey, 30LL);
    auto watcher = start({});
    EXPECT_NE(status().find("Tester starts after 30 min idle"), std::string::npos) << watcher->output();
    store(somnel::host::kIdleMinutesKey, 45LL);
    EXPECT_TRUE(testsupport::waitFor([&] { return status().find("after 45 min idle") != std::string::npos; }));
    store(somnel::host::kSaverKey, std::string("Missing"));
    store(somnel::host::kIdleMinutesKey, 2.4);
    EXPECT_TRUE(testsupport::waitFor([&] { return status().find("Tester starts after 2 min idle") != std::string::npos; }))
        << status();
    EXPECT_EQ(watcher->stop(SIGTERM), 0);
    EXPECT_EQ(watcher->output(), "somnel: the saver chosen in the settings, \"Missing\", is not installed; "
                                 "keeping \"Tester\"\n");
}

// A saver that fails at once is tried again, later each time, and the
// user is told.
TEST_F(IdleWatcherRun, ASaverThatFailsIsTriedAgainAfterLongerAndLongerWaits) {
    testsupport::PrivateXServer x;
    ASSERT_TRUE(x.ok());
    std::vector<std::string> env = this->env();
    env.push_back("DISPLAY=" + x.display());
    Background watcher(testsupport::somnelProgram(), {"idle", "--after", "1s", testSaver("Broken")}, env);
    const std::string second = "not starting it again for 4.0 s";
    ASSERT_TRUE(testsupport::waitFor([&] { return watcher.output().find(second) != std::string::npos; }))
        << watcher.output();
    const std::string &out = watcher.output();
    EXPECT_NE(out.find("somnel: \"" + testSaver("Broken") + "\" ended with status 70 "), std::string::npos) << out;
    EXPECT_NE(out.find("; not starting it again for 2.0 s\n"), std::string::npos) << out;
    // One line per failure: two starts so far, not a loop.
    size_t lines = 0;
    for (size_t at = 0; (at = out.find("not starting it again", at)) != std::string::npos; at++) lines++;
    EXPECT_EQ(lines, 2u) << out;
    EXPECT_EQ(watcher.stop(SIGTERM), 0);
}

// --enable writes the autostart entry for this program and starts a
// watcher; --disable removes the entry and stops the watcher.
TEST_F(IdleWatcherRun, EnableAndDisableStartingWithTheSession) {
    const std::string entry = config_.file("autostart/somnel-idle.desktop");
    auto on = somnel("idle --enable", prefix());
    ASSERT_EQ(on.status, 0) << on.err;
    EXPECT_EQ(on.err, "");
    EXPECT_NE(on.out.find(entry), std::string::npos) << on.out;
    const std::string text = testsupport::readFile(entry);
    EXPECT_NE(text.find("\nExec=" + testsupport::somnelProgram() + " idle\n"), std::string::npos) << text;
    if (system("command -v desktop-file-validate >/dev/null") == 0) {
        EXPECT_EQ(testsupport::run("desktop-file-validate", "'" + entry + "'").out, "");
    }
    EXPECT_TRUE(testsupport::waitFor([&] { return status().rfind("running", 0) == 0; }));
    auto off = somnel("idle --disable", prefix());
    EXPECT_EQ(off.status, 0) << off.err;
    EXPECT_FALSE(QFile::exists(QString::fromStdString(entry)));
    EXPECT_TRUE(testsupport::waitFor([&] { return status() == "not running\n"; }));
}

}  // namespace
