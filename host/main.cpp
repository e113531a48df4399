// somnel: runs a saver bundle in a preview window, full screen or inside
// another program's window, or renders it off screen.
#include "host/display.h"
#include "host/host.h"
#include "host/idle.h"
#include "host/run.h"
#include "host/settings.h"
#include "host/signals.h"

#include "platform/clock.h"
#include "platform/desktop.h"
#include "platform/log.h"
#include "platform/saver_window.h"
#include "platform/geometry.h"
#include "platform/view.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QImage>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace somnel::host {

namespace {

const char kUsage[] =
    "usage: somnel [--verbose] COMMAND [OPTIONS] SAVER\n"
    "\n"
    "SAVER is a bundle name (\"Drizzle\", found on the search path) or the path\n"
    "of a Name.saver folder.\n"
    "\n"
    "commands:\n"
    "  preview SAVER           run the saver in a window; keys reach the saver\n"
    "                          (Ctrl+Q or Ctrl+W closes it)\n"
    "      [--size WxH]        window size (default 800x600)\n"
    "  run SAVER               the saver full screen on every monitor; a key,\n"
    "                          a click or moving the mouse ends it (one per\n"
    "                          display: a second one refuses, status 75)\n"
    "      --screen N          only on screen N (0 to 1000)\n"
    "      --window-id ID      inside the X11 window ID (decimal or 0x-hex)\n"
    "                          until that window goes\n"
    "      --root              on the root window\n"
    "  render SAVER            draw frames off screen and write the last one\n"
    "      --frames N          frames to draw (default 30; at most 1000000)\n"
    "      --size WxH          picture size (default 1280x720; at most\n"
    "                          16384 a side)\n"
    "      --out FILE.png      where to write the picture (required): written\n"
    "                          whole or not at all; a link there is refused\n"
    "      --seed S            a fixed random seed (1 to 1000000): the same\n"
    "                          seed draws the same picture\n"
    "                          (a stop signal ends it, with status 1 and\n"
    "                          no picture)\n"
    "      --exact-filtering   the saver keeps its exact texture settings on\n"
    "                          a renderer that makes them slow (also for\n"
    "                          preview and run)\n"
    "  configure SAVER         the saver's settings: OK stores them (exit\n"
    "                          status 0), Cancel leaves them (status 1)\n"
    "  settings                the screen-saver settings window: the saver to\n"
    "                          use, its options, the idle time before it starts\n"
    "  list                    the bundles found on the search path\n"
    "  idle [SAVER]            stay running; start \"somnel run SAVER\" once the\n"
    "                          session has been idle for the idle time, and again\n"
    "                          at the next idle (saver and idle time: the settings,\n"
    "                          by default Drizzle after 10 minutes)\n"
    "      --after DURATION    idle time: 90s, 5m, 1h, 2m30s, or a number of minutes\n"
    "      --source NAME       the idle source: x11-sync, x11-mit, wayland-ext,\n"
    "                          wayland-kde, gnome (default: the session's)\n"
    "      --status            whether it runs in this session, and what it does\n"
    "      --enable            start it with every session from now on, and now\n"
    "      --disable           no longer start it with the session; stop it\n"
    "  help, --help            this text\n"
    "  --version               the version of somnel\n"
    "\n"
    "--verbose, with any command, prints information lines (the bundle, the\n"
    "OpenGL context, the preferences file) on standard error; a logging rule\n"
    "such as QT_LOGGING_RULES=\"somnel.gl.info=true\" picks one area\n"
    "(somnel.host, .view, .gl, .prefs, .sheet, .saver, .idle). Warnings are\n"
    "always printed.\n"
    "\n"
    "SIGTERM, SIGINT and SIGHUP end preview, run, settings and idle with\n"
    "status 0, configure as Cancel (status 1). SIGUSR1 starts the saver of a\n"
    "run afresh.\n"
    "A saver that has not stopped 3 seconds after a stop signal, or a second\n"
    "stop signal, ends the program at once with status 1.\n"
    "\n"
    "Bundles are searched in $SOMNEL_SAVER_PATH (colon-separated), the build\n"
    "tree, $XDG_DATA_HOME/somnel/savers and the install prefix.\n"
    "\n"
    "exit statuses:\n";

// The exit statuses as --help lists them after kUsage.
const struct {
    ExitStatus status;
    const char *meaning;
} kStatusHelp[] = {
    {ExitStatus::Ok, "done (configure: OK)"},
    {ExitStatus::Failure, "the command could not do its work: no such saver, no display,\n"
                          "      no picture written, a render ended by a signal, a saver that\n"
                          "      did not stop (configure: Cancel or a stop signal, nothing stored)"},
    {ExitStatus::Usage, "bad command line"},
    {ExitStatus::NotRunning, "idle --status: no idle watcher runs in this session"},
    {ExitStatus::Unavailable, "configure: the saver cannot be loaded"},
    {ExitStatus::AlreadyRunning, "run: a full-screen saver already runs on this display"},
    {ExitStatus::Software, "internal inconsistency: a programming error, or a saver\n"
                           "      description the settings cannot be built from"},
};

void printUsage(FILE *to) {
    fputs(kUsage, to);
    for (const auto &entry : kStatusHelp) fprintf(to, "  %-3d %s\n", exitCode(entry.status), entry.meaning);
}

// The largest picture side, and the most frames, seeds and screens the
// command line takes; each message names the range.
constexpr long kMaxSide = 16384;
constexpr long kMaxCount = 1000000;
constexpr long kMaxScreen = 1000;

// A whole number from first to last, nothing else (no sign games, no
// overflow: strtol saturates and says so).
bool parseNumber(const char *text, long first, long last, long *out) {
    if (!text || !*text || *text == '+' || isspace((unsigned char)*text)) return false;
    errno = 0;
    char *end = nullptr;
    const long v = strtol(text, &end, 10);
    if (errno || *end || v < first || v > last) return false;
    *out = v;
    return true;
}

bool parseSize(const char *text, int *w, int *h) {
    const char *x = text ? strpbrk(text, "xX") : nullptr;
    if (!x) return false;
    const std::string width(text, size_t(x - text));
    long a = 0, b = 0;
    if (!parseNumber(width.c_str(), 1, kMaxSide, &a) || !parseNumber(x + 1, 1, kMaxSide, &b)) return false;
    *w = int(a);
    *h = int(b);
    return true;
}

bool parseCount(const char *text, int *out) {
    long v = 0;
    if (!parseNumber(text, 1, kMaxCount, &v)) return false;
    *out = int(v);
    return true;
}

struct Options {
    std::string saver;
    std::string out;
    int frames = 30;
    int seed = 0;
    int width = 0, height = 0;
    bool exactFiltering = false;
    RunOptions run;  // --screen, --window-id, --root
};

// Reads "--frames N", "--size WxH", "--out FILE" and one positional saver.
bool parseOptions(int argc, char **argv, int first, Options *o, std::string *error) {
    for (int i = first; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](const char *what) { return optionValue(argc, argv, &i, what, error); };
        if (a == "--frames") {
            const char *v = value("a frame count");
            if (!v) return false;
            if (!parseCount(v, &o->frames)) {
                *error = std::string("bad frame count \"") + v + "\" (expected 1 to " + std::to_string(kMaxCount) + ")";
                return false;
            }
        } else if (a == "--size") {
            const char *v = value("WIDTHxHEIGHT");
            if (!v) return false;
            if (!parseSize(v, &o->width, &o->height)) {
                *error = std::string("bad size \"") + v + "\" (expected WIDTHxHEIGHT, each side 1 to " +
                         std::to_string(kMaxSide) + ")";
                return false;
            }
        } else if (a == "--seed") {
            const char *v = value("a number");
            if (!v) return false;
            int seed = 0;
            if (!parseCount(v, &seed)) {
                *error = std::string("bad seed \"") + v + "\" (expected 1 to " + std::to_string(kMaxCount) + ")";
                return false;
            }
            o->seed = seed;
        } else if (a == "--screen") {
            const char *v = value("a screen number");
            if (!v) return false;
            long n = 0;
            if (!parseNumber(v, 0, kMaxScreen, &n)) {
                *error = std::string("bad screen number \"") + v + "\" (expected 0 to " + std::to_string(kMaxScreen) +
                         ")";
                return false;
            }
            o->run.screen = int(n);
        } else if (a == "--window-id") {
            const char *v = value("a window id");
            if (!v) return false;
            if (!parseWindowId(v, &o->run.windowId)) {
                *error = std::string("bad window id \"") + v + "\" (expected a number, decimal or 0x-hex)";
                return false;
            }
            o->run.embed = true;
        } else if (a == "--root") {
            o->run.root = o->run.embed = true;
        } else if (a == "--exact-filtering") {
            o->exactFiltering = o->run.exactFiltering = true;
        } else if (a == "--out") {
            const char *v = value("a file name");
            if (!v) return false;
            o->out = v;
        } else if (a.size() > 1 && a[0] == '-') {
            *error = "unknown option \"" + a + "\"";
            return false;
        } else if (o->saver.empty()) {
            o->saver = a;
        } else {
            *error = "more than one saver given (\"" + o->saver + "\", \"" + a + "\")";
            return false;
        }
    }
    if (o->saver.empty()) {
        *error = "no saver given";
        return false;
    }
    return true;
}

// Prints a programming error caught at a frame boundary and ends with
// Software.
void exitOnFrameError(const std::string &reason) {
    reportError(reason);
    std::_Exit(exitCode(ExitStatus::Software));
}

// The clock an off-screen render runs on: it starts at the wall clock's
// time and moves only when stepped, so that every tick draws and the
// frame-rate meter reads what a real run would. While it exists, it is the
// clock platform::now() reads.
class SimulatedClock {
public:
    SimulatedClock() : t_(platform::now()) { platform::setClockSource([this] { return t_; }); }
    ~SimulatedClock() { platform::setClockSource({}); }
    SimulatedClock(const SimulatedClock &) = delete;
    SimulatedClock &operator=(const SimulatedClock &) = delete;

    // Moves on one animation interval, or to the time the view asked for
    // when that is later.
    void stepPast(const platform::ScreenSaverView &view) {
        t_ = std::max(t_ + view.animationTimeInterval(), view.timeOfNextFrame());
    }

private:
    double t_;
};

// True from the saver's loading until its picture is written: a saver
// that calls exit() meanwhile must not end the render with status 0 and
// no picture.
bool renderUnfinished = false;

void exitDuringRender() {
    if (!renderUnfinished) return;
    reportError("the saver ended the program before the picture was written; no picture written");
    std::_Exit(exitCode(ExitStatus::Failure));
}

// Draws frames on a simulated clock, then writes the picture.
ExitStatus render(const Options &o) {
    if (o.out.empty()) return fail(ExitStatus::Failure, "render needs --out FILE.png");
    // A picture is PNG data; a name promising another format would lie.
    const QString suffix = QFileInfo(QString::fromStdString(o.out)).suffix();
    if (!suffix.isEmpty() && suffix.compare("png", Qt::CaseInsensitive) != 0)
        return fail(ExitStatus::Usage, "--out \"" + o.out + "\": pictures are written as PNG; name the file .png");
    renderUnfinished = true;
    std::atexit(exitDuringRender);
    struct Finished {
        ~Finished() { renderUnfinished = false; }
    } finished;
    int w = o.width ? o.width : 1280, h = o.height ? o.height : 720;
    platform::ViewCreateArgs args;
    args.frame = platform::Rect::make(0, 0, w, h);
    args.isPreview = false;
    args.randomSeed = o.seed;
    args.exactFiltering = o.exactFiltering;
    LoadedSaver saver;
    std::string error;
    if (!loadSaver(o.saver, args, &saver, &error)) return fail(ExitStatus::Failure, error);
    SimulatedClock clock;
    platform::runAtFrameBoundary([&] {
        saver.view->startAnimation();
        for (int i = 0; i < o.frames && !stopSignal(); ++i) {
            saver.view->animateOneFrame();
            clock.stepPast(*saver.view);
        }
    });
    QImage image;
    platform::runAtFrameBoundary([&] {
        image = saver.view->grabFrame();
        saver.view->stopAnimation();
    });
    // Stopped before the last frame: no picture, and a status that says so.
    if (stopSignal())
        return fail(ExitStatus::Failure,
                    "interrupted by signal " + std::to_string(stopSignal()) + "; no picture written");
    {
        // A signal now waits for the picture to be whole.
        StopSignalsHeld held;
        // Quality 80 is zlib level 1: several times faster to write than
        // the default level on a picture with ripples, for a file about
        // 40 % larger.
        if (!writePicture(image, o.out, 80, &error)) return fail(ExitStatus::Failure, error);
    }
    printf("%s\n", o.out.c_str());
    return ExitStatus::Ok;
}

// Ctrl+Q and Ctrl+W close the preview (the keys a window closes on) even
// without a window manager; every other key goes on to the saver.
class PreviewCloseKeys : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *e) override {
        if (e->type() == QEvent::KeyPress) {
            const auto *key = static_cast<QKeyEvent *>(e);
            if (key->modifiers() == Qt::ControlModifier && (key->key() == Qt::Key_Q || key->key() == Qt::Key_W)) {
                QCoreApplication::exit(exitCode(ExitStatus::Ok));
                return true;
            }
        }
        return QObject::eventFilter(watched, e);
    }
};

// Shows the saver in a window; closing the window stops it.
ExitStatus preview(const Options &o) {
    int w = o.width ? o.width : 800, h = o.height ? o.height : 600;
    LoadedSaver saver;
    std::string error;
    platform::ViewCreateArgs args;
    args.frame = platform::Rect::make(0, 0, w, h);
    args.isPreview = true;
    args.exactFiltering = o.exactFiltering;
    if (!loadSaver(o.saver, args, &saver, &error)) return fail(ExitStatus::Failure, error);
    std::unique_ptr<platform::SaverWindow> own;
    QWindow *window = saver.view->window();
    if (!window) {
        own = std::make_unique<platform::SaverWindow>(saver.view.get());
        window = own.get();
    }
    window->setTitle(QString::fromStdString(saver.bundle->name()));
    // The saver's window with an "Options…" button under it.
    std::unique_ptr<QWidget> frame(makePreviewFrame(window, saver.view.get(), w, h));
    own.release();  // the frame holds the saver's window now and deletes it
    PreviewCloseKeys closeKeys;
    window->installEventFilter(&closeKeys);
    frame->installEventFilter(&closeKeys);
    frame->show();
    platform::runAtFrameBoundary([&] { saver.view->startAnimation(); });
    // Closing the window ends the preview; so does a stop signal.
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed, qApp, &QCoreApplication::quit);
    onStopSignal([](int) { QCoreApplication::exit(exitCode(ExitStatus::Ok)); });
    const ExitStatus rc = stopSignal() ? ExitStatus::Ok : static_cast<ExitStatus>(QApplication::exec());
    platform::runAtFrameBoundary([&] {
        if (saver.view->isAnimating()) saver.view->stopAnimation();
    });
    return rc;
}

// Takes --verbose out of the command line, wherever it stands; true when
// it was there.
bool takeVerbose(int *argc, char **argv) {
    bool verbose = false;
    int kept = 1;
    for (int i = 1; i < *argc; ++i) {
        if (!strcmp(argv[i], "--verbose"))
            verbose = true;
        else
            argv[kept++] = argv[i];
    }
    argv[kept] = nullptr;
    *argc = kept;
    return verbose;
}

// The command, once the command line has one.
ExitStatus runCommand(int argc, char **argv) {
    // From here on SIGTERM, SIGINT and SIGHUP end the program cleanly.
    installStopSignals();
    std::string command = argv[1];
    if (command == "help" || command == "--help" || command == "-h") {
        printUsage(stdout);
        return ExitStatus::Ok;
    }
    if (command == "--version") {
        printf("somnel %s\n", SOMNEL_VERSION);
        return ExitStatus::Ok;
    }
    // NOTE: Qt warns on every start when XDG_RUNTIME_DIR is unset (common in
    // containers and cron); give it the private folder it would pick anyway.
    if (!getenv("XDG_RUNTIME_DIR")) {
        std::string dir = "/tmp/runtime-" + std::to_string(getuid());
        mkdir(dir.c_str(), 0700);
        struct stat st;
        if (stat(dir.c_str(), &st) == 0 && st.st_uid == getuid() && (st.st_mode & 077) == 0)
            setenv("XDG_RUNTIME_DIR", dir.c_str(), 0);
    }
    // The idle watcher opens no window: it makes its own application
    // object, and its saver's process finds the display as any run does.
    if (command == "idle") return idle(argc, argv);
    // Everything but the windows works without a display.
    const bool showsWindows =
        command == "preview" || command == "run" || command == "configure" || command == "settings";
    DisplayChoice display;
    std::string displayError;
    if (!chooseDisplayPlatform(showsWindows, &display, &displayError))
        return fail(ExitStatus::Failure, displayError);
    std::unique_ptr<QApplication> app;
    {
        PlatformStartGuard guard;
        app = std::make_unique<QApplication>(argc, argv);
    }
    platform::setFrameErrorHandler(exitOnFrameError);
    platform::logInfo(platform::LogArea::Host, "display platform \"%s\"%s%s",
                      qPrintable(QGuiApplication::platformName()), display.passedOver.empty() ? "" : "; passed over: ",
                      display.passedOver.c_str());

    if (command == "list") {
        for (const std::string &line : listSavers()) printf("%s\n", line.c_str());
        return ExitStatus::Ok;
    }
    if (command == "settings") {
        if (argc > 2) return fail(ExitStatus::Usage, std::string("settings takes no arguments (\"") + argv[2] + "\")");
        return settings();
    }
    Options o;
    std::string error;
    if (command == "configure") {
        if (!parseOptions(argc, argv, 2, &o, &error)) return fail(ExitStatus::Usage, error);
        return configure(o.saver);
    }
    if (command == "render" || command == "preview" || command == "run") {
        if (!parseOptions(argc, argv, 2, &o, &error)) return fail(ExitStatus::Usage, error);
        const bool runOnly = o.run.screen >= 0 || o.run.embed;
        if (runOnly && command != "run")
            return fail(ExitStatus::Usage, "--screen, --window-id and --root belong to \"run\"");
        if (command == "run") {
            if (o.run.screen >= 0 && o.run.embed)
                return fail(ExitStatus::Usage, "--screen does not go with --window-id or --root");
            if (o.run.root && o.run.windowId)
                return fail(ExitStatus::Usage, "--root and --window-id exclude each other");
            o.run.saver = o.saver;
            return run(o.run);
        }
        if (command == "preview") return preview(o);
        const ExitStatus rc = render(o);
        // NOTE: tearing the application down loads the whole font
        // configuration only to drop it again (the font database's
        // destructor asks for the current configuration), tens of
        // milliseconds after the picture is written; the render holds
        // nothing that needs it, so it leaves without.
        fflush(stdout);
        fflush(stderr);
        exit(exitCode(rc));
    }
    return fail(ExitStatus::Usage, "unknown command \"" + command + "\" (somnel --help lists the commands)");
}

}  // namespace

}  // namespace somnel::host

int main(int argc, char **argv) {
    using namespace somnel::host;
    // Every error line begins "somnel: ", however the program was started.
    platform::setLogProgramName("somnel");
    if (takeVerbose(&argc, argv)) platform::setVerboseLogging(true);
    if (argc < 2) {
        printUsage(stderr);
        return exitCode(ExitStatus::Usage);
    }
    return exitCode(runCommand(argc, argv));
}
