// The real somnel program on a headless Wayland compositor (sway) with two
// outputs of different sizes: what each output shows, read back from the
// compositor (grim), how a run ends, a saver the compositor no longer shows,
// and the X11 bridge. sway refuses to run as root: as root, the compositor
// and the program run as the unprivileged user "somnel-test" (made for the
// tests when missing). The limits on waiting guard against a hang.
#include "tests/support/test_support.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QImage>

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

using testsupport::readFile;

constexpr const char *kUser = "somnel-test";
// The outputs, each with a size of its own.
const struct {
    const char *name;
    int width, height;
} kOutputs[] = {{"HEADLESS-1", 640, 360}, {"HEADLESS-2", 400, 300}};

bool inPath(const std::string &program) {
    const char *path = getenv("PATH");
    for (const QString &dir : QString(path ? path : "/usr/bin:/bin").split(':', Qt::SkipEmptyParts))
        if (access((dir.toStdString() + "/" + program).c_str(), X_OK) == 0) return true;
    return false;
}

double seconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// A child process, killed if a test leaves it running.
class Child {
public:
    Child(const std::vector<std::string> &argv, const std::string &out, const std::string &err) {
        std::vector<char *> args;
        for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawnp(&pid_, args[0], &fa, nullptr, args.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&fa);
    }
    ~Child() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }
    bool running() {
        int st;
        if (pid_ <= 0) return false;
        if (waitpid(pid_, &st, WNOHANG) == 0) return true;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        pid_ = -1;
        return false;
    }
    // The exit status; -1 when it did not end within the guard.
    int wait() { return testsupport::waitFor([&] { return !running(); }) ? status_ : -1; }

private:
    pid_t pid_ = -1;
    int status_ = -1;
};

class Wayland : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (const char *program : {"sway", "grim", "wtype", "swaymsg"})
            if (!inPath(program)) return skipBecause(std::string(program) + " is not installed (scripts/deps.sh)");
        if (geteuid() == 0) {
            if (!getpwnam(kUser))
                system((std::string("useradd --system --user-group --no-create-home --home-dir /nonexistent "
                                    "--shell /usr/sbin/nologin ") + kUser + " >/dev/null 2>&1").c_str());
            const passwd *pw = getpwnam(kUser);
            if (!pw) return skipBecause(std::string("running as root and no user \"") + kUser + "\" can be made");
            asUser_ = {"setpriv", "--reuid=" + std::to_string(pw->pw_uid), "--regid=" + std::to_string(pw->pw_gid),
                       "--init-groups"};
        }
        char dir[] = "/tmp/somnel-wayland-XXXXXX";
        runtime_ = mkdtemp(dir);
        if (!asUser_.empty()) {
            const passwd *pw = getpwnam(kUser);
            if (chown(runtime_.c_str(), pw->pw_uid, pw->pw_gid) != 0) return skipBecause("cannot hand a folder over");
        }
        if (userRun("test", "-x '" + testsupport::somnelProgram() + "'").status != 0)
            return skipBecause("the build tree cannot be read by user \"" + std::string(kUser) + "\"");
        {
            QFile config(QString::fromStdString(runtime_ + "/config"));
            config.open(QIODevice::WriteOnly);
            int x = 0;
            for (const auto &o : kOutputs) {
                config.write(QString("output %1 resolution %2x%3 position %4,0\n")
                                 .arg(o.name).arg(o.width).arg(o.height).arg(x).toUtf8());
                x += o.width;
            }
            config.write("default_border none\n");
        }
        compositor_ = new Child(userCommand({"sway", "-c", runtime_ + "/config"},
                                            {"WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1",
                                             "WLR_HEADLESS_OUTPUTS=2", "WLR_RENDERER=pixman"}),
                                "/dev/null", runtime_ + "/sway.log");
        // Ready once its sockets are there and both outputs have their sizes.
        const bool up = testsupport::waitFor([] {
            for (const QString &f : QDir(QString::fromStdString(runtime_)).entryList(QDir::System)) {
                if (f.startsWith("wayland-") && !f.endsWith(".lock")) display_ = f.toStdString();
                if (f.startsWith("sway-ipc.")) ipc_ = runtime_ + "/" + f.toStdString();
            }
            return !display_.empty() && !ipc_.empty() && outputsReady();
        });
        if (!up) return skipBecause("sway did not start: " + readFile(runtime_ + "/sway.log").substr(0, 400));
        bare_ = grab(kOutputs[1].name).pixel(0, 0);
    }
    static void TearDownTestSuite() {
        delete compositor_;
        compositor_ = nullptr;
        if (!runtime_.empty()) QDir(QString::fromStdString(runtime_)).removeRecursively();
    }
    void SetUp() override {
        if (!skip_.empty()) GTEST_SKIP() << skip_;
    }

    static void skipBecause(const std::string &why) {
        skip_ = why;
        printf("wayland_test skips: %s\n", why.c_str());
    }

    // The command line of a program run as the test user in the session.
    static std::vector<std::string> userCommand(std::vector<std::string> argv,
                                                const std::vector<std::string> &env = {}) {
        std::vector<std::string> cmd = asUser_;
        cmd.insert(cmd.end(), {"env", "-i", "PATH=/usr/local/bin:/usr/bin:/bin", "HOME=" + runtime_,
                               "XDG_RUNTIME_DIR=" + runtime_, "XDG_CONFIG_HOME=" + runtime_ + "/config",
                               "LIBGL_ALWAYS_SOFTWARE=1"});
        if (!display_.empty()) cmd.insert(cmd.end(), {"WAYLAND_DISPLAY=" + display_, "SWAYSOCK=" + ipc_});
        if (const char *path = getenv("SOMNEL_SAVER_PATH")) cmd.push_back(std::string("SOMNEL_SAVER_PATH=") + path);
        // A sanitized build's program keeps the test's sanitizer settings.
        for (const char *name : {"ASAN_OPTIONS", "LSAN_OPTIONS", "UBSAN_OPTIONS"})
            if (const char *value = getenv(name)) cmd.push_back(std::string(name) + "=" + value);
        cmd.insert(cmd.end(), env.begin(), env.end());
        cmd.insert(cmd.end(), argv.begin(), argv.end());
        return cmd;
    }
    // A short program run to its end as the test user.
    static testsupport::ProgramRun userRun(const std::string &program, const std::string &args) {
        std::string prefix;
        for (const std::string &word : userCommand({})) prefix += "'" + word + "' ";
        return testsupport::run(program, args, prefix);
    }
    // What the compositor shows on the output.
    static QImage grab(const char *output) {
        const std::string png = userRun("grim", std::string("-o ") + output + " -").out;
        return QImage::fromData(reinterpret_cast<const uchar *>(png.data()), int(png.size()), "PNG");
    }
    static QJsonArray ask(const char *what) {
        return QJsonDocument::fromJson(QByteArray::fromStdString(userRun("swaymsg", std::string("-r -t ") + what).out))
            .array();
    }
    static bool outputsReady() {
        int ready = 0;
        for (const QJsonValue &o : ask("get_outputs"))
            for (const auto &want : kOutputs)
                ready += o["name"].toString() == want.name && o["rect"]["width"].toInt() == want.width &&
                         o["rect"]["height"].toInt() == want.height;
        return ready == 2;
    }
    // The windows of the program on each output that are full screen there.
    static std::vector<int> fullScreenPerOutput() {
        const QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(
                                                             userRun("swaymsg", "-r -t get_tree").out)).object();
        std::vector<int> count;
        for (const auto &want : kOutputs) {
            int n = 0;
            std::function<void(const QJsonObject &)> walk = [&](const QJsonObject &node) {
                n += node["app_id"].toString() == "somnel" && node["fullscreen_mode"].toInt() == 1;
                for (const QJsonValue &c : node["nodes"].toArray()) walk(c.toObject());
            };
            for (const QJsonValue &o : root["nodes"].toArray())
                if (o["name"].toString() == want.name) walk(o.toObject());
            count.push_back(n);
        }
        return count;
    }
    // Ends a run with key presses until it ends. NOTE: a new virtual
    // keyboard's first keys may reach no client (about 1.5 s), so one
    // keyboard types a key every quarter second.
    static int endWithAKey(Child &run) {
        std::vector<std::string> typing{"wtype"};
        for (int i = 0; i < 80; ++i) typing.insert(typing.end(), {"-s", "250", "x"});
        Child keys(userCommand(typing), "/dev/null", "/dev/null");
        return run.wait();
    }

    static inline std::string skip_, runtime_, display_, ipc_;
    static inline std::vector<std::string> asUser_;
    static inline Child *compositor_ = nullptr;
    static inline QRgb bare_ = 0;
};

// Covered by one picture (no pixel of the bare output's colour), varied,
// the output's size.
bool showsASaver(const QImage &img, int width, int height, QRgb bare) {
    if (img.width() != width || img.height() != height) return false;
    std::set<QRgb> colours;
    for (int y = 0; y < height; y += 3)
        for (int x = 0; x < width; x += 3) {
            if (img.pixel(x, y) == bare) return false;
            colours.insert(img.pixel(x, y));
        }
    return colours.size() >= 32;
}

// One window full screen on each output, each showing the saver and moving,
// nothing said on standard error, and a key ends it with status 0. (On a
// compositor that tiles, both windows once landed side by side on the first
// output and the second stayed bare.)
TEST_F(Wayland, RunCoversEveryOutputAndEndsOnAKey) {
    testsupport::TempDir tmp;
    Child run(userCommand({testsupport::somnelProgram(), "run", "Drizzle"}, {"QT_QPA_PLATFORM=wayland"}),
              tmp.file("out"), tmp.file("err"));
    for (const auto &o : kOutputs) {
        SCOPED_TRACE(o.name);
        QImage first;
        EXPECT_TRUE(testsupport::waitFor([&] {
            first = grab(o.name);
            return showsASaver(first, o.width, o.height, bare_);
        }));
        EXPECT_TRUE(testsupport::waitFor([&] { return grab(o.name) != first; })) << "the picture moves";
    }
    EXPECT_EQ(fullScreenPerOutput(), (std::vector<int>{1, 1}));
    EXPECT_EQ(endWithAKey(run), 0);
    EXPECT_EQ(readFile(tmp.file("err")), "") << "no warnings";
}

// Swaps per second stop while the compositor shows another workspace on
// the saver's output (it sends no frame callbacks then) and resume when the
// saver shows again. Frames are counted by a preloaded wrapper of the swap.
TEST_F(Wayland, ASaverTheCompositorDoesNotShowDrawsNothing) {
    testsupport::TempDir tmp;
    const std::string swaps = runtime_ + "/swaps";
    unlink(swaps.c_str());
    const char *lib = getenv("SOMNEL_SWAP_COUNTER");
    ASSERT_TRUE(lib) << "the test environment names the swap counter";
    Child run(userCommand({testsupport::somnelProgram(), "run", "--screen", "0", testsupport::testSaver("GLHalves")},
                          {"QT_QPA_PLATFORM=wayland", std::string("LD_PRELOAD=") + lib, "SOMNEL_SWAP_LOG=" + swaps}),
              tmp.file("out"), tmp.file("err"));
    auto frames = [&] {
        const std::string log = readFile(swaps);
        return long(std::count(log.begin(), log.end(), '\n'));
    };
    ASSERT_TRUE(testsupport::waitFor([&] { return frames() >= 10; })) << readFile(tmp.file("err"));
    userRun("swaymsg", "workspace number 7");
    // Quiet for a second: the compositor stopped asking.
    long last = -1;
    double since = 0;
    ASSERT_TRUE(testsupport::waitFor([&] {
        const long n = frames();
        if (n != last) last = n, since = seconds();
        return seconds() - since > 1.0;
    }));
    testsupport::letEventsRun(1500);
    EXPECT_EQ(frames(), last) << "no frames while not shown";
    userRun("swaymsg", "workspace number 1");
    EXPECT_TRUE(testsupport::waitFor([&] { return frames() >= last + 10; })) << "drawing again";
    EXPECT_TRUE(run.running());
}

// Through the X11 bridge (QT_QPA_PLATFORM=xcb in a Wayland session) a key
// ends the run too: the bridge only passes keys to the window that holds
// the X focus and grab, which the saver's window once lost when it was made
// again for its GL format.
TEST_F(Wayland, UnderTheX11BridgeAKeyEndsTheRun) {
    testsupport::TempDir tmp;
    const std::string shown = runtime_ + "/x11-display";
    userRun("swaymsg", "exec 'echo $DISPLAY > " + shown + "'");
    std::string display;
    ASSERT_TRUE(testsupport::waitFor([&] {
        display = readFile(shown);
        return display.size() > 1 && display.back() == '\n';
    }));
    display.pop_back();
    Child run(userCommand({testsupport::somnelProgram(), "run", testsupport::testSaver("GLHalves")},
                          {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + display}),
              tmp.file("out"), tmp.file("err"));
    ASSERT_TRUE(testsupport::waitFor([&] {
        const QImage shot = grab(kOutputs[1].name);
        return (!shot.isNull() && shot.pixel(200, 150) != bare_) || !run.running();
    }));
    EXPECT_EQ(endWithAKey(run), 0) << readFile(tmp.file("err"));
}

}  // namespace
