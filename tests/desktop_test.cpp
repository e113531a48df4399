// The desktops people run: the real somnel under a real window manager
// (openbox) on an X server of the test's own with two monitors side by
// side, with windows beneath it that log every key and click they receive
// (tests/desktop/victim.c), input sent through XTest as a real keyboard and
// mouse send it, and what the server shows. Also a stand-in for a screen
// locker that hands its saver a window (tests/desktop/locker.c).
#include "tests/support/test_support.h"
#include "tests/onscreen/session.h"
#include "tests/onscreen/xserver.h"

#include <QFile>

#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

using testsupport::Process;
using testsupport::readFile;
using testsupport::shot;
using testsupport::showsHalves;
using testsupport::Somnel;
using testsupport::testSaver;
using testsupport::waitFor;

constexpr int kMonitorWidth = 640, kMonitorHeight = 360;
constexpr unsigned kRed = 0xFF0000, kBlue = 0x0000FF;

std::vector<std::string> linesOf(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

bool startsWith(const std::string &s, const std::string &prefix) { return s.rfind(prefix, 0) == 0; }

int count(const std::string &text, const std::string &what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

// A window that stands for the applications beneath the saver.
class Victim : public Process {
public:
    Victim(const std::vector<std::string> &env, int x, int y, std::vector<std::string> flags = {}) {
        std::vector<std::string> argv{VICTIM_PROGRAM, file("log"), std::to_string(x), std::to_string(y),
                                      std::to_string(kWidth), std::to_string(kHeight)};
        argv.insert(argv.end(), flags.begin(), flags.end());
        start(argv, env);
    }
    // Its window, once mapped; 0 when it does not come up.
    unsigned long id() {
        if (!id_ && waitFor([&] { return !running() || lineStarting("ready ", 0) >= 0; }) &&
            lineStarting("ready ", 0) >= 0)
            id_ = std::stoul(lines()[lineStarting("ready ", 0)].substr(6), nullptr, 16);
        return id_;
    }
    // The centre of its window on the root.
    void centre(int *x, int *y) {
        ASSERT_TRUE(xs_position(id(), x, y));
        *x += kWidth / 2;
        *y += kHeight / 2;
    }
    std::vector<std::string> lines() const { return linesOf(readFile(file("log"))); }
    // The index of the first line from `from` on that begins so; -1 if none.
    int lineStarting(const std::string &prefix, size_t from) const {
        const auto all = lines();
        for (size_t i = from; i < all.size(); ++i)
            if (startsWith(all[i], prefix)) return int(i);
        return -1;
    }
    // Waits for a line from `from` on; its index, or -1.
    int waitForLine(const std::string &prefix, size_t from) {
        int at = -1;
        waitFor([&] { return (at = lineStarting(prefix, from)) >= 0; });
        return at;
    }
    // The keys and clicks logged from `from` up to (not with) line `to`.
    std::vector<std::string> pressesBetween(size_t from, int to) const {
        std::vector<std::string> presses;
        const auto all = lines();
        for (size_t i = from; i < all.size() && int(i) < to; ++i)
            if (startsWith(all[i], "key ") || startsWith(all[i], "button ")) presses.push_back(all[i]);
        return presses;
    }

    static constexpr int kWidth = 200, kHeight = 120;

private:
    unsigned long id_ = 0;
};

class Desktop : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!testsupport::haveProgram("openbox")) {
            skip_ = "openbox is not installed (scripts/deps.sh installs it)";
            return;
        }
        server_ = new testsupport::PrivateServer;
        std::string why;
        if (!server_->start(2, kMonitorWidth, kMonitorHeight, true, &why)) skip_ = why;
    }
    static void TearDownTestSuite() {
        xs_close();
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        if (!skip_.empty()) GTEST_SKIP() << skip_;
        xs_close();
        ASSERT_TRUE(xs_open(server_->display().c_str()));
    }
    void TearDown() override { xs_close(); }

    static std::vector<std::string> env(std::vector<std::string> more = {}) {
        more.push_back("DISPLAY=" + server_->display());
        // Says when the saver holds keyboard and pointer.
        more.push_back("QT_LOGGING_RULES=somnel.view.info=true");
        return more;
    }

    // Waits until a full-screen run shows on the monitors it covers
    // (monitor -1: both) and holds keyboard and pointer; false when it
    // does not.
    static bool shownAndHolding(Somnel &s, int monitor) {
        return waitFor([&] {
            if (!s.running()) return true;
            if (s.err().find("keyboard and pointer held") == std::string::npos) return false;
            QImage root = shot(xs_root());
            return monitor < 0 ? showsHalves(root, 0, kMonitorWidth) && showsHalves(root, kMonitorWidth, kMonitorWidth)
                               : showsHalves(root, monitor * kMonitorWidth, kMonitorWidth);
        }) && s.running();
    }

    // Proves that keys and clicks reach the victims when nothing covers
    // them (so that the test would see any that leaked), and returns where
    // each log stands.
    static void baseline(Victim &left, Victim &right, size_t *leftMark, size_t *rightMark, const char *key) {
        int x, y;
        for (Victim *v : {&left, &right}) {
            const size_t mark = v->lines().size();
            v->centre(&x, &y);
            xs_fake_click(x, y, 3);
            ASSERT_GE(v->waitForLine("button 3", mark), 0);
        }
        const size_t l = left.lines().size(), r = right.lines().size();
        xs_fake_key(key, 0);
        ASSERT_TRUE(waitFor([&] { return right.lineStarting("key", r) >= 0 || left.lineStarting("key", l) >= 0; }))
            << "a key reaches the focused window";
        *leftMark = left.lines().size();
        *rightMark = right.lines().size();
    }

    // Once the saver is gone: a click on each victim, which reaches it
    // after anything that leaked while the saver showed; nothing but it
    // may have been logged since the mark.
    static void expectNothingReached(Victim &left, size_t leftMark, Victim &right, size_t rightMark) {
        for (auto [v, mark] : {std::pair<Victim *, size_t>{&left, leftMark}, {&right, rightMark}}) {
            int x, y;
            v->centre(&x, &y);
            xs_fake_click(x, y, 2);
            const int barrier = v->waitForLine("button 2", mark);
            ASSERT_GE(barrier, 0) << "the window takes clicks again";
            EXPECT_EQ(v->pressesBetween(mark, barrier), std::vector<std::string>{}) << "reached a window beneath";
        }
    }

    static inline testsupport::PrivateServer *server_ = nullptr;
    static inline std::string skip_;
};

// While a full-screen run shows, no key or click reaches any other window,
// on either monitor, with --screen 1 too; a key, a click, the wheel or one
// quick flick of the mouse ends it with status 0; the cursor is hidden.
TEST_F(Desktop, AFullScreenRunTakesEveryKeyAndClickAndEndsOnEachKind) {
    Victim left(env(), 60, 80), right(env(), kMonitorWidth + 60, 80);
    ASSERT_NE(left.id(), 0u) << left.err() << readFile(left.file("log"));
    ASSERT_NE(right.id(), 0u) << right.err();
    struct Case {
        const char *saver;
        int screen;  // -1: every monitor
        const char *input;
    };
    std::vector<Case> cases;
    for (int screen : {-1, 1})
        for (const char *input : {"key", "click left", "click right", "wheel", "flick"})
            cases.push_back({"GLHalves", screen, input});
    // A 2D saver's window is never made again; a flick still ends it.
    cases.push_back({"Halves", -1, "flick"});
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.saver) + " screen " + std::to_string(c.screen) + ", " + c.input);
        size_t leftMark = 0, rightMark = 0;
        baseline(left, right, &leftMark, &rightMark, "b");
        const int px = c.screen == 1 ? kMonitorWidth + 320 : 320, py = 330;
        xs_fake_motion(px, py);
        std::vector<std::string> args{"run", testSaver(c.saver)};
        if (c.screen >= 0) args.insert(args.begin() + 1, {"--screen", std::to_string(c.screen)});
        Somnel s(args, env());
        ASSERT_TRUE(shownAndHolding(s, c.screen)) << s.err();
        EXPECT_EQ(xs_cursor_visible(), 0) << "the cursor is hidden";
        const std::string input = c.input;
        int x, y;
        if (input == "key") {
            xs_fake_key("a", 0);
        } else if (input == "click left" || input == "click right") {
            (input == "click left" ? left : right).centre(&x, &y);
            xs_fake_click(x, y, 1);
        } else if (input == "wheel") {
            xs_fake_click(px, py, 4);
        } else {
            xs_fake_motion(px + 40, py - 10);  // one motion event
        }
        EXPECT_EQ(s.wait(), 0) << s.err();
        expectNothingReached(left, leftMark, right, rightMark);
    }
}

// The saver stays above a window that asks the window manager to keep it
// on top and raises itself, and above one that no window manager handles
// raising itself.
TEST_F(Desktop, TheSaverStaysAboveWindowsThatRaiseThemselves) {
    for (const char *kind : {"--above", "--override"}) {
        SCOPED_TRACE(kind);
        Victim pushy(env(), 100, 100, {kind});
        ASSERT_NE(pushy.id(), 0u);
        int x, y;
        pushy.centre(&x, &y);
        Somnel s({"run", testSaver("GLHalves")}, env());
        ASSERT_TRUE(shownAndHolding(s, -1)) << s.err();
        auto saverOnTop = [&] {
            return waitFor([&] {
                const unsigned c = testsupport::rgb(shot(xs_root()), x, y);
                return c == kRed || c == kBlue;
            });
        };
        for (int round = 0; round < 3; ++round) {
            ASSERT_TRUE(saverOnTop()) << "round " << round << "\n" << s.err();
            // Once it says so, its raise is done on the server: a window no
            // manager handles is then on top, and one that a manager frames
            // is wherever the manager put it.
            const size_t mark = pushy.lines().size();
            pushy.signal(SIGUSR1);
            ASSERT_GE(pushy.waitForLine("raised", mark), 0);
        }
        EXPECT_TRUE(saverOnTop()) << readFile(pushy.file("log")) << s.err();
        s.signal(SIGTERM);
        EXPECT_EQ(s.wait(), 0) << s.err();
    }
}

// --root draws beneath every window; the windows keep their clicks and keys.
TEST_F(Desktop, TheRootSaverStaysBeneathEveryWindowWhichKeepItsInput) {
    Victim left(env(), 60, 80), right(env(), kMonitorWidth + 60, 80);
    ASSERT_NE(left.id(), 0u) << left.err() << readFile(left.file("log"));
    ASSERT_NE(right.id(), 0u) << right.err();
    Somnel s({"run", "--root", testSaver("GLHalves")}, env());
    // The saver shows where no window is...
    ASSERT_TRUE(waitFor([&] {
        const QImage root = shot(xs_root());
        return !s.running() || (testsupport::rgb(root, 20, 340) == kRed && testsupport::rgb(root, 1260, 340) == kBlue);
    })) << s.err();
    ASSERT_TRUE(s.running()) << s.err();
    // ...and a window mapped later is above it too.
    Victim later(env(), 400, 200);
    ASSERT_NE(later.id(), 0u);
    for (Victim *v : {&left, &right, &later}) {
        int x, y;
        v->centre(&x, &y);
        EXPECT_TRUE(waitFor([&] { return xs_top_level_at(x, y) == xs_top_level_of(v->id()); }));
        EXPECT_EQ(testsupport::rgb(shot(xs_root()), x, y), 0x808080u) << "the window shows, not the saver";
        const size_t mark = v->lines().size();
        xs_fake_click(x, y, 1);
        EXPECT_GE(v->waitForLine("button 1", mark), 0) << "the window takes its clicks";
        xs_fake_key("k", 0);
        EXPECT_GE(v->waitForLine("key k", mark), 0) << "and the keys";
    }
    EXPECT_EQ(xs_lowest_top_level(), xs_window_of_pid(s.pid(), 2 * kMonitorWidth, kMonitorHeight));
    s.signal(SIGTERM);
    EXPECT_EQ(s.wait(), 0) << s.err();
}

// SIGUSR1 starts the saver afresh: the hack is freed, initialised again
// and goes on drawing; the run still ends with status 0.
TEST_F(Desktop, SIGUSR1StartsAFullScreenSaverAfresh) {
    Somnel s({"run", testSaver("GLHalves")}, env({"SOMNEL_TEST_LOG_ALL=1"}));
    ASSERT_TRUE(shownAndHolding(s, -1)) << s.err();
    for (int round = 1; round <= 2; ++round) {
        s.signal(SIGUSR1);
        EXPECT_TRUE(waitFor([&] { return !s.running() || count(s.freeLog(), "init GLHalves") == 2 * (round + 1); }))
            << s.freeLog();
        EXPECT_TRUE(waitFor([&] { return showsHalves(shot(xs_root()), 0, kMonitorWidth); })) << "it draws on";
    }
    s.signal(SIGTERM);
    EXPECT_EQ(s.wait(), 0) << s.err();
    // Two views, each time: init, then free before the next init, and free
    // at the end.
    const auto log = linesOf(s.freeLog());
    ASSERT_EQ(log.size(), 12u) << s.freeLog();
    for (size_t i = 0; i < log.size(); ++i)
        EXPECT_TRUE(startsWith(log[i], (i / 2) % 2 == 0 ? "init GLHalves" : "free GLHalves gl=1")) << s.freeLog();
}

// While another program holds the keyboard the saver does not show; it
// says so in one line, and shows once the keyboard is free.
TEST_F(Desktop, WhileAnotherProgramHoldsTheKeyboardTheSaverWaitsUnseen) {
    unsigned long holder = xs_create_window(10, 10);
    ASSERT_TRUE(xs_grab_keyboard(holder));
    Somnel s({"run", testSaver("GLHalves")}, env());
    ASSERT_TRUE(waitFor([&] { return !s.running() || s.err().find("holds the keyboard") != std::string::npos; }))
        << s.err();
    EXPECT_EQ(xs_window_of_pid(s.pid(), 1, 1), 0u) << "no window of the saver is viewable";
    xs_ungrab_keyboard();
    ASSERT_TRUE(shownAndHolding(s, -1)) << s.err();
    EXPECT_EQ(count(s.err(), "somnel: "), 1) << "one line: " << s.err();
    xs_fake_key("a", 0);
    EXPECT_EQ(s.wait(), 0) << s.err();
    xs_destroy(holder);
}

// One full-screen run per display: a second one refuses in one line with
// its own status, and the first runs on.
TEST_F(Desktop, ASecondFullScreenRunRefuses) {
    Somnel first({"run", testSaver("Halves")}, env());
    ASSERT_TRUE(shownAndHolding(first, -1)) << first.err();
    Somnel second({"run", testSaver("Halves")}, env());
    EXPECT_EQ(second.wait(), 75);
    EXPECT_NE(second.err().find("somnel: a full-screen saver already runs on this display (process " +
                                std::to_string(first.pid()) + ")"),
              std::string::npos)
        << second.err();
    const std::string err = second.err();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_TRUE(first.running());
    first.signal(SIGTERM);
    EXPECT_EQ(first.wait(), 0) << first.err();
}

// configure ends on each stop signal as a Cancel: status 1, nothing stored.
TEST_F(Desktop, ConfigureEndsOnAStopSignalAsACancel) {
    testsupport::TempDir config;
    for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
        SCOPED_TRACE(sig);
        Somnel s({"configure", testSaver("Tester")}, env({"XDG_CONFIG_HOME=" + config.path()}));
        ASSERT_TRUE(waitFor([&] { return !s.running() || xs_window_of_pid(s.pid(), 100, 100); })) << s.err();
        s.signal(sig);
        EXPECT_EQ(s.wait(), 1) << s.err();
        EXPECT_FALSE(QFile::exists(QString::fromStdString(config.file("somnel/org.somnel.savers.Tester.json"))))
            << "nothing stored";
    }
}

// Ctrl+Q and Ctrl+W close the preview with status 0; other keys, Control
// ones too, still reach the saver.
TEST_F(Desktop, CtrlQAndCtrlWCloseThePreview) {
    for (const char *close : {"q", "w"}) {
        SCOPED_TRACE(close);
        Somnel s({"preview", testSaver("Halves"), "--size", "200x120"}, env({"SOMNEL_TEST_LOG_ALL=1"}));
        ASSERT_TRUE(waitFor([&] { return !s.running() || xs_window_of_pid(s.pid(), 200, 120); })) << s.err();
        // Keys reach the saver once its window has the focus.
        ASSERT_TRUE(waitFor([&] {
            xs_fake_key("x", 0);
            return !s.running() || s.freeLog().find("key x") != std::string::npos;
        })) << s.err();
        const int keys = count(s.freeLog(), "key ");
        xs_fake_key("e", 1);
        ASSERT_TRUE(waitFor([&] { return !s.running() || count(s.freeLog(), "key ") > keys; }))
            << "Ctrl+E reaches the saver; " << s.freeLog();
        xs_fake_key(close, 1);
        EXPECT_EQ(s.wait(), 0) << s.err();
    }
}

// A screen locker that hands its saver a window on each monitor, through
// the user's two-line saver script: both show frames, its resets start
// them afresh and they keep drawing, nothing about the windows inside its
// own bothers it, and destroying its windows ends each saver with status 0.
TEST_F(Desktop, ALockerThatHandsItsSaverAWindowOnEachMonitor) {
    testsupport::TempDir tmp;
    const std::string script = tmp.file("saver.sh"), savers = tmp.file("savers.log");
    {
        QFile f(QString::fromStdString(script));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("#!/bin/sh\nexec '" + testsupport::somnelProgram() + "' run --window-id \"$1\" '" +
                 testSaver("GLHalves") + "'\n")
                    .c_str());
    }
    chmod(script.c_str(), 0755);
    const std::string size = std::to_string(kMonitorWidth) + "x" + std::to_string(kMonitorHeight);
    Process locker({LOCKER_PROGRAM, tmp.file("locker.log"), script, size + "+0+0",
                    size + "+" + std::to_string(kMonitorWidth) + "+0"},
                   env({"SOMNEL_TEST_LOG=" + savers, "SOMNEL_TEST_LOG_ALL=1"}));
    auto lockerLog = [&] { return readFile(tmp.file("locker.log")); };
    std::vector<unsigned long> windows;
    ASSERT_TRUE(waitFor([&] { return count(lockerLog(), "saver 1 pid") == 1; })) << lockerLog();
    for (const std::string &line : linesOf(lockerLog()))
        if (startsWith(line, "window ")) windows.push_back(std::stoul(line.substr(7), nullptr, 16));
    ASSERT_EQ(windows.size(), 2u);
    auto bothShow = [&] {
        return waitFor([&] {
            return showsHalves(windows[0], kMonitorWidth, kMonitorHeight) &&
                   showsHalves(windows[1], kMonitorWidth, kMonitorHeight);
        });
    };
    EXPECT_TRUE(bothShow()) << lockerLog();
    for (int reset = 1; reset <= 2; ++reset) {
        locker.signal(SIGUSR1);
        EXPECT_TRUE(waitFor([&] { return count(readFile(savers), "init GLHalves") == 2 * (reset + 1); }))
            << readFile(savers) << lockerLog();
        EXPECT_EQ(count(readFile(savers), "free GLHalves gl=1"), 2 * reset);
        EXPECT_TRUE(bothShow()) << "they keep drawing";
    }
    locker.signal(SIGTERM);
    EXPECT_EQ(locker.wait(), 0);
    EXPECT_EQ(count(lockerLog(), "exit 0"), 2) << lockerLog();
    EXPECT_EQ(count(lockerLog(), "complaint"), 0) << lockerLog();
}

}  // namespace
