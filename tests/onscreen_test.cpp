// What a person sees: the real somnel program in each on-screen mode, read
// back from the X server (never from the saver's own buffers), and how it
// ends. The limits on waiting are guards against a hang, not measures.
#include "tests/support/test_support.h"
#include "tests/onscreen/session.h"
#include "tests/onscreen/xserver.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr unsigned kRed = 0xFF0000, kBlue = 0x0000FF, kWhite = 0xFFFFFF, kBlack = 0;

using testsupport::readFile;
using testsupport::rgb;
using testsupport::shot;
using testsupport::showsHalves;
using testsupport::Somnel;
using testsupport::testSaver;

int count(const std::string &text, const std::string &what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

// The 2D saver's one-pixel white edges, one device pixel wide: a stretched
// picture would show them two pixels wide.
bool edgesOnePixelWide(const QImage &img) {
    return rgb(img, 0, img.height() / 2) == kWhite && rgb(img, 1, img.height() / 2) == kRed &&
           rgb(img, img.width() / 4, 0) == kWhite && rgb(img, img.width() / 4, 1) == kRed;
}

// ------------------------------------------------------ on the test display

class OnScreen : public ::testing::Test {
protected:
    void SetUp() override {
        xs_close();
        ASSERT_TRUE(xs_open(nullptr)) << "no X display";
    }
    void TearDown() override { xs_close(); }
};

// The window that shows the saver of a preview (inside the preview's own
// window, above its button bar) once it shows the halves at the size; 0
// when it does not. It is looked up afresh each time: a GL view's window is
// made again when its saver asks for another format than the default.
unsigned long shownWindow(Somnel &s, int width, int height) {
    unsigned long w = 0;
    bool shown = false;
    testsupport::waitFor([&] {
        if (!s.running()) return true;
        w = xs_window_of_size(xs_window_of_pid(s.pid(), width, height), width, height);
        return shown = w && showsHalves(w, width, height);
    });
    return shown ? w : 0;
}

// Resizes a preview so that its saver gets the new size (the button bar
// keeps its height).
void resizePreview(Somnel &s, int width, int height, int newWidth, int newHeight) {
    unsigned long top = xs_window_of_pid(s.pid(), width, height);
    int w = 0, h = 0;
    ASSERT_TRUE(xs_size(top, &w, &h));
    xs_resize(top, newWidth, h - height + newHeight);
}

TEST_F(OnScreen, TheGLPreviewShowsItsFramesAfterAResizeTooAndEndsOnSIGTERM) {
    Somnel s({"preview", testSaver("GLHalves"), "--size", "200x120"});
    ASSERT_NE(shownWindow(s, 200, 120), 0u) << "the server shows what the GL view drew; " << s.err();
    resizePreview(s, 200, 120, 320, 180);
    EXPECT_NE(shownWindow(s, 320, 180), 0u) << "and follows the new size";
    s.signal(SIGTERM);
    EXPECT_EQ(s.wait(), 0) << s.err();
    EXPECT_EQ(s.freeLog(), "free GLHalves gl=1\n") << "the hack is freed with its context current";
    EXPECT_EQ(s.err().find("somnel"), std::string::npos) << "a run without problems says nothing: " << s.err();
}

TEST_F(OnScreen, TheTwoDPreviewShowsItsPixelsAfterAResizeTooAndEndsOnSIGINT) {
    Somnel s({"preview", testSaver("Halves"), "--size", "200x120"});
    unsigned long w = shownWindow(s, 200, 120);
    ASSERT_NE(w, 0u) << s.err();
    EXPECT_TRUE(testsupport::waitFor([&] { return edgesOnePixelWide(shot(w)); }));
    resizePreview(s, 200, 120, 300, 150);
    w = shownWindow(s, 300, 150);
    ASSERT_NE(w, 0u);
    EXPECT_TRUE(testsupport::waitFor([&] { return edgesOnePixelWide(shot(w)); }));
    s.signal(SIGINT);
    EXPECT_EQ(s.wait(), 0) << s.err();
    EXPECT_EQ(s.freeLog(), "free Halves gl=0\n");
}

// A saver that asks for another format than the one its window was made
// with (here multisampling, which the driver may not give) still reaches
// the screen.
TEST_F(OnScreen, AGLSaverAskingForAnotherFormatStillShowsItsFrames) {
    testsupport::TempDir config;
    QDir().mkpath(QString::fromStdString(config.file("somnel")));
    QFile prefs(QString::fromStdString(config.file("somnel/org.somnel.savers.GLHalves.json")));
    ASSERT_TRUE(prefs.open(QIODevice::WriteOnly));
    prefs.write(R"({"values": {"multiSample": {"bool": true}}})");
    prefs.close();
    Somnel s({"preview", testSaver("GLHalves"), "--size", "200x120"}, {"XDG_CONFIG_HOME=" + config.path()});
    ASSERT_NE(shownWindow(s, 200, 120), 0u) << s.err();
    s.signal(SIGTERM);
    EXPECT_EQ(s.wait(), 0) << s.err();
    EXPECT_EQ(s.freeLog(), "free GLHalves gl=1\n");
}

// With Qt scaling by 2 a 100x60 preview is 200x120 device pixels: the GL
// viewport and the 2D picture cover all of them, one to one.
TEST_F(OnScreen, AScaledScreenIsCoveredPixelForPixel) {
    for (const char *saver : {"GLHalves", "Halves"}) {
        SCOPED_TRACE(saver);
        Somnel s({"preview", testSaver(saver), "--size", "100x60"}, {"QT_SCALE_FACTOR=2"});
        unsigned long w = shownWindow(s, 200, 120);
        ASSERT_NE(w, 0u) << "the whole window, not a corner; " << s.err();
        if (std::string(saver) == "Halves") {
            EXPECT_TRUE(testsupport::waitFor([&] { return edgesOnePixelWide(shot(w)); })) << "not stretched";
        }
        s.signal(SIGTERM);
        EXPECT_EQ(s.wait(), 0) << s.err();

        // Inside a foreign window of 200x120 device pixels, after a resize.
        unsigned long foreign = xs_create_window(200, 120);
        Somnel e({"run", "--window-id", std::to_string(foreign), testSaver(saver)}, {"QT_SCALE_FACTOR=2"});
        EXPECT_TRUE(testsupport::waitFor([&] { return !e.running() || showsHalves(foreign, 200, 120); })) << e.err();
        xs_resize(foreign, 240, 160);
        EXPECT_TRUE(testsupport::waitFor([&] { return !e.running() || showsHalves(foreign, 240, 160); })) << e.err();
        if (std::string(saver) == "Halves") {
            EXPECT_TRUE(testsupport::waitFor([&] { return edgesOnePixelWide(shot(foreign)); })) << "not stretched";
        }
        // An odd size has no whole logical size: the saver still covers
        // the last column and row.
        xs_resize(foreign, 241, 161);
        EXPECT_TRUE(testsupport::waitFor([&] {
            QImage img = shot(foreign);
            return !e.running() || (img.width() == 241 && rgb(img, 240, 160) == kBlue && rgb(img, 1, 160) == kRed);
        })) << e.err();
        xs_destroy(foreign);
        EXPECT_EQ(e.wait(), 0) << e.err();
    }
}

// The convention of screen lockers and settings panels: draw inside their
// window, follow its size, end when it goes.
TEST_F(OnScreen, AnEmbeddedRunFollowsTheForeignWindowAndEndsWithIt) {
    unsigned long foreign = xs_create_window(200, 120);
    ASSERT_NE(foreign, 0u);
    char hex[32];
    snprintf(hex, sizeof hex, "0x%lx", foreign);
    Somnel s({"run", "--window-id", hex, testSaver("GLHalves")});
    EXPECT_TRUE(testsupport::waitFor([&] { return !s.running() || showsHalves(foreign, 200, 120); })) << s.err();
    xs_resize(foreign, 320, 200);
    EXPECT_TRUE(testsupport::waitFor([&] { return !s.running() || showsHalves(foreign, 320, 200); })) << s.err();
    xs_destroy(foreign);
    EXPECT_EQ(s.wait(), 0) << s.err();
    EXPECT_EQ(s.freeLog(), "free GLHalves gl=1\n") << "freed with its context, though the window is gone";
}

// A locker's window under a full-screen window: the saver inside it
// presents no frames until it shows again (the server reports it fully
// obscured). Frames are counted by a preloaded wrapper of the swap. (A GL
// window with an alpha channel once got a visual the server redirects,
// and was never reported obscured.)
TEST_F(OnScreen, ASaverCoveredByAWindowDrawsNothingUntilItShows) {
    const char *counter = getenv("SOMNEL_SWAP_COUNTER");
    ASSERT_TRUE(counter) << "the test environment names the swap counter";
    testsupport::TempDir tmp;
    const std::string swaps = tmp.file("swaps");
    auto frames = [&] {
        const std::string log = readFile(swaps);
        return long(std::count(log.begin(), log.end(), '\n'));
    };
    unsigned long foreign = xs_create_window(200, 120);
    Somnel s({"run", "--window-id", std::to_string(foreign), testSaver("GLHalves")},
             {std::string("LD_PRELOAD=") + counter, "SOMNEL_SWAP_LOG=" + swaps});
    ASSERT_TRUE(testsupport::waitFor([&] { return !s.running() || frames() >= 10; })) << s.err();
    unsigned long cover = xs_create_window(1280, 1024);
    // The last frames under way may still come; then none for a second.
    long last = -1;
    auto since = std::chrono::steady_clock::now();
    ASSERT_TRUE(testsupport::waitFor([&] {
        if (frames() != last) last = frames(), since = std::chrono::steady_clock::now();
        return std::chrono::steady_clock::now() - since > std::chrono::seconds(1);
    }));
    testsupport::letEventsRun(1000);
    EXPECT_EQ(frames(), last) << "no frames while covered";
    xs_destroy(cover);
    EXPECT_TRUE(testsupport::waitFor([&] { return frames() >= last + 10; })) << "drawing again";
    s.signal(SIGTERM);
    EXPECT_EQ(s.wait(), 0) << s.err();
    xs_destroy(foreign);
}

TEST_F(OnScreen, AnEmbeddedTwoDRunTakesADecimalIdAndEndsOnSIGHUP) {
    unsigned long foreign = xs_create_window(160, 100);
    Somnel s({"run", "--window-id", std::to_string(foreign), testSaver("Halves")});
    EXPECT_TRUE(testsupport::waitFor([&] { return !s.running() || showsHalves(foreign, 160, 100); })) << s.err();
    EXPECT_TRUE(testsupport::waitFor([&] { return edgesOnePixelWide(shot(foreign)); }));
    s.signal(SIGHUP);
    EXPECT_EQ(s.wait(), 0) << s.err();
    EXPECT_EQ(s.freeLog(), "free Halves gl=0\n");
    xs_destroy(foreign);
}

TEST_F(OnScreen, BadWindowIdsAndScreensAreRefusedInOneLine) {
    unsigned long gone = xs_create_window(10, 10);
    xs_destroy(gone);
    struct Case {
        std::vector<std::string> args;
        int status;
        const char *says;
    } cases[] = {
        {{"run", "--window-id", "0x0", "Tester"}, 2, "bad window id \"0x0\""},
        {{"run", "--window-id", "12abc", "Tester"}, 2, "bad window id \"12abc\""},
        {{"run", "--window-id", "-5", "Tester"}, 2, "bad window id \"-5\""},
        {{"run", "--window-id", std::to_string(gone), testSaver("Halves")}, 1, "no X window"},
        {{"run", "--screen", "7", testSaver("Halves")}, 1, "no screen 7"},
        {{"run", "--screen", "0", "--root", testSaver("Halves")}, 2, "--screen does not go with"},
        {{"preview", "--root", testSaver("Halves")}, 2, "belong to \"run\""},
    };
    for (const Case &c : cases) {
        Somnel s(c.args);
        EXPECT_EQ(s.wait(), c.status) << c.args[1] << " " << c.args[2];
        const std::string err = s.err();
        EXPECT_NE(err.find(c.says), std::string::npos) << err;
        EXPECT_EQ(count(err, "\n"), 1) << err;
    }
}

// A window with nothing to draw on is refused in one line (the software
// rasteriser once wrote past a buffer sized for no pixels).
TEST_F(OnScreen, AnInputOnlyWindowIsRefused) {
    const unsigned long foreign = xs_create_input_only_window(100, 80);
    Somnel s({"run", "--window-id", std::to_string(foreign), testSaver("GLHalves")});
    EXPECT_EQ(s.wait(), 1) << s.err();
    EXPECT_NE(s.err().find("is input-only: there is nothing to draw on"), std::string::npos) << s.err();
    EXPECT_EQ(count(s.err(), "\n"), 1) << s.err();
    xs_destroy(foreign);
}

// A foreign window that goes while the run sets up (just after its window
// appears inside it) ends the run by itself with status 0: the end once
// was lost before the event loop ran, and the run drew on for good.
TEST_F(OnScreen, AForeignWindowGoneDuringSetUpEndsTheRun) {
    for (const char *saver : {"GLHalves", "Halves"}) {
        SCOPED_TRACE(saver);
        const unsigned long foreign = xs_create_window(120, 90);
        Somnel s({"run", "--window-id", std::to_string(foreign), testSaver(saver)});
        ASSERT_TRUE(testsupport::waitFor([&] { return !s.running() || xs_first_child(foreign); })) << s.err();
        xs_destroy(foreign);
        EXPECT_EQ(s.wait(), 0) << s.err();
    }
}

// A foreign window made huge does not make the view huge: it is capped,
// and the run says so once.
TEST_F(OnScreen, AnEmbeddedViewHasABoundedSize) {
    const unsigned long foreign = xs_create_window(100, 60);
    Somnel s({"run", "--window-id", std::to_string(foreign), testSaver("Halves")});
    ASSERT_TRUE(testsupport::waitFor([&] { return !s.running() || showsHalves(foreign, 100, 60); })) << s.err();
    xs_resize(foreign, 9000, 40);
    int w = 0, h = 0;
    EXPECT_TRUE(testsupport::waitFor([&] { return !s.running() || (xs_size(xs_first_child(foreign), &w, &h) && h == 40); }));
    EXPECT_EQ(w, 8192);
    s.signal(SIGTERM);
    EXPECT_EQ(s.wait(), 0) << s.err();
    EXPECT_EQ(s.err(), "somnel: the window is 9000x40; the saver draws on 8192x40 of it, at its top left (the largest "
                       "view is 8192 a side)\n");
    xs_destroy(foreign);
}

// configure: a stop signal is a Cancel; OK over a full disk keeps the
// stored file whole and says so in one line, the sheet staying open (the
// file once became 0 bytes, with status 0 and no word).
TEST_F(OnScreen, ConfigureStopsOnASignalAndKeepsItsFileOnAFullDisk) {
    Somnel stopped({"configure", testSaver("Tester")});
    ASSERT_TRUE(testsupport::waitFor([&] { return !stopped.running() || xs_window_of_pid(stopped.pid(), 100, 100); }));
    stopped.signal(SIGTERM);
    EXPECT_EQ(stopped.wait(), 1) << stopped.err();
    EXPECT_EQ(stopped.err(), "");

    testsupport::SmallFileSystem fs(64);
    if (!fs.mounted()) GTEST_SKIP() << fs.whyNot();
    const std::string path = fs.file("somnel/org.somnel.savers.Tester.json");
    QDir().mkpath(QString::fromStdString(fs.file("somnel")));
    const QByteArray intact = R"({"version": 1, "values": {"delay": {"integer": 50000}}})";
    QFile f(QString::fromStdString(path));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(intact);
    f.close();
    fs.fill(1);
    Somnel s({"configure", testSaver("Tester")}, {"XDG_CONFIG_HOME=" + fs.path()});
    unsigned long sheet = 0;
    ASSERT_TRUE(testsupport::waitFor([&] { return !s.running() || (sheet = xs_window_of_pid(s.pid(), 100, 100)); }));
    // The first control (the frame-rate slider) takes a step, then OK.
    const std::string says = "somnel: cannot save preferences " + path + ": No space left on device\n";
    EXPECT_TRUE(testsupport::waitFor([&] {
        for (const char *key : {"Tab", "Right", "Return"}) xs_send_keysym(sheet, key);
        return !s.running() || s.err().find(says) != std::string::npos;
    })) << s.err();
    EXPECT_EQ(s.err(), says);
    EXPECT_TRUE(s.running()) << "the sheet stays open";
    EXPECT_EQ(QByteArray::fromStdString(readFile(path)), intact);
}

// A render stopped by a signal writes no picture and says so.
TEST_F(OnScreen, AnInterruptedRenderWritesNoPicture) {
    testsupport::TempDir tmp;
    const std::string png = tmp.file("never.png");
    Somnel s({"render", "Drizzle", "--frames", "1000000", "--size", "64x48", "--out", png},
             {"QT_LOGGING_RULES=somnel.gl.info=true"});
    // Its context exists once it has said so: it is rendering.
    ASSERT_TRUE(testsupport::waitFor(
        [&] { return !s.running() || s.err().find("somnel.gl: off screen:") != std::string::npos; }));
    s.signal(SIGTERM);
    EXPECT_EQ(s.wait(), 1) << s.err();
    EXPECT_NE(s.err().find("somnel: interrupted by signal 15; no picture written"), std::string::npos) << s.err();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(png)));
}

// ------------------------------------------- a private server, two monitors

// An X server of the test's own: one 1280x360 screen shown as two 640x360
// monitors side by side (see testsupport::PrivateServer).
class TwoMonitors : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string why;
        server_ = new testsupport::PrivateServer;
        ASSERT_TRUE(server_->start(2, 640, 360, false, &why)) << why;
    }
    static void TearDownTestSuite() {
        xs_close();
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        xs_close();
        ASSERT_TRUE(xs_open(server_->display().c_str()));
    }
    void TearDown() override { xs_close(); }
    static std::vector<std::string> env() { return server_->env(); }

    static inline testsupport::PrivateServer *server_ = nullptr;
};

TEST_F(TwoMonitors, RunShowsOneViewOnEachAndEndsOnSIGTERM) {
    Somnel s({"run", testSaver("GLHalves")}, env());
    EXPECT_TRUE(testsupport::waitFor([&] {
        QImage root = shot(xs_root());
        return !s.running() || (showsHalves(root, 0, 640) && showsHalves(root, 640, 640));
    })) << s.err();
    s.signal(SIGTERM);
    EXPECT_EQ(s.wait(), 0) << s.err();
    EXPECT_EQ(s.freeLog(), "free GLHalves gl=1\nfree GLHalves gl=1\n");
}

TEST_F(TwoMonitors, ScreenNumberLimitsTheRunToOneMonitor) {
    Somnel s({"run", "--screen", "1", testSaver("GLHalves")}, env());
    EXPECT_TRUE(testsupport::waitFor([&] { return !s.running() || showsHalves(shot(xs_root()), 640, 640); })) << s.err();
    QImage root = shot(xs_root());
    EXPECT_EQ(rgb(root, 320, 180), kBlack) << "the first monitor is left alone";
    s.signal(SIGINT);
    EXPECT_EQ(s.wait(), 0) << s.err();
    EXPECT_EQ(count(s.freeLog(), "free GLHalves"), 1);
}

// A key, a click or a real pointer movement ends a full-screen run with
// status 0.
TEST_F(TwoMonitors, AKeyAClickOrARealMovementEndsTheRun) {
    for (const char *input : {"key", "click", "move"}) {
        SCOPED_TRACE(input);
        xs_warp_pointer(100, 100);
        Somnel s({"run", testSaver("Halves")}, env());
        unsigned long w = 0;
        ASSERT_TRUE(testsupport::waitFor([&] {
            return !s.running() || ((w = xs_window_of_pid(s.pid(), 640, 360)) && showsHalves(shot(w), 0, 640));
        })) << s.err();
        ASSERT_TRUE(s.running()) << s.err();
        if (std::string(input) == "key") {
            xs_send_key(w);
        } else if (std::string(input) == "click") {
            xs_send_click(w, 10, 10);
        } else {
            // The first motion only tells the saver where the pointer is.
            testsupport::waitFor([&] {
                xs_warp_pointer(100, 101);
                xs_warp_pointer(300, 200);
                return !s.running();
            });
        }
        EXPECT_EQ(s.wait(), 0) << s.err();
        EXPECT_EQ(count(s.freeLog(), "free Halves"), 2);
    }
}

TEST_F(TwoMonitors, TheCursorIsHiddenWhileTheSaverRuns) {
    xs_warp_pointer(700, 100);
    ASSERT_EQ(xs_cursor_visible(), 1) << "the root window's cursor shows before";
    Somnel s({"run", testSaver("Halves")}, env());
    EXPECT_TRUE(testsupport::waitFor([&] { return !s.running() || xs_cursor_visible() == 0; })) << s.err();
    s.signal(SIGTERM);
    EXPECT_EQ(s.wait(), 0) << s.err();
}

// A saver whose frame never returns cannot hold the desktop: the stop
// signal ends the run after a few seconds, a second one at once, each
// with a line saying so, and the keyboard is free again (the grab once
// lasted until SIGKILL).
TEST_F(TwoMonitors, AStuckSaverIsEndedAndLetsGoOfTheKeyboard) {
    for (bool twice : {false, true}) {
        SCOPED_TRACE(twice ? "two signals" : "one signal");
        Somnel s({"run", testSaver("Unruly")}, env());
        ASSERT_TRUE(testsupport::waitFor([&] { return !s.running() || s.freeLog() == "drawing\n"; })) << s.err();
        ASSERT_TRUE(testsupport::waitFor([&] { return !s.running() || xs_keyboard_grabbed(); })) << s.err();
        s.signal(SIGTERM);
        if (twice) s.signal(SIGINT);
        EXPECT_EQ(s.wait(), 1) << s.err();
        EXPECT_EQ(s.err(), twice ? "somnel: a second stop signal before the saver stopped; ended at once\n"
                                 : "somnel: the saver did not stop within 3 seconds of the stop signal; ended at once\n");
        EXPECT_FALSE(xs_keyboard_grabbed());
    }
}

TEST_F(TwoMonitors, RootDrawsOnTheRootWindowAndEndsOnSIGHUP) {
    Somnel s({"run", "--root", testSaver("GLHalves")}, env());
    EXPECT_TRUE(testsupport::waitFor([&] { return !s.running() || showsHalves(shot(xs_root()), 0, 1280); })) << s.err();
    s.signal(SIGHUP);
    EXPECT_EQ(s.wait(), 0) << s.err();
    EXPECT_EQ(s.freeLog(), "free GLHalves gl=1\n");
}

}  // namespace
