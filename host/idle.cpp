// somnel idle: the idle source, the inhibit service, the settings file and
// the saver's process around the watcher's decisions (idle_watcher.cpp).
#include "host/idle.h"

#include "host/host.h"
#include "host/idle_session.h"
#include "host/idle_watcher.h"
#include "host/signals.h"
#include "host/somnel_settings.h"

#include "platform/idle.h"
#include "platform/inhibit_service.h"
#include "platform/log.h"
#include "platform/preferences.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/prctl.h>
#include <sys/stat.h>

namespace somnel::host {

namespace {

constexpr int kMaxIdleSeconds = kMaxIdleMinutes * 60;
// How long a saver asked to end may take before it is killed.
constexpr int kSaverStopMs = 5000;

const char kBadDuration[] =
    "(expected a duration such as 90s, 5m, 1h or 2m30s, or a whole number of minutes; from 1s to 12h)";

// "10 min", "2 s", "1 h 30 min": the idle time in a status line.
std::string durationText(int seconds) {
    std::string out;
    auto part = [&](int value, const char *unit) {
        if (value) out += (out.empty() ? "" : " ") + std::to_string(value) + " " + unit;
    };
    part(seconds / 3600, "h");
    part(seconds / 60 % 60, "min");
    part(seconds % 60, "s");
    return out.empty() ? "0 s" : out;
}

// The program's own path, for the saver's process and the autostart entry.
QString selfProgram() { return QFile::symLinkTarget(QStringLiteral("/proc/self/exe")); }

struct IdleOptions {
    std::string saver;       // given on the command line, else empty
    int afterSeconds = 0;    // --after, else 0
    platform::IdleSource source = platform::IdleSource::Automatic;
    enum { Watch, Status, Enable, Disable } mode = Watch;
};

bool parseIdleOptions(int argc, char **argv, IdleOptions *o, std::string *error) {
    int modes = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](const char *what) { return optionValue(argc, argv, &i, what, error); };
        if (a == "--after") {
            const char *v = value("a duration");
            if (!v) return false;
            if (!parseDuration(v, &o->afterSeconds)) {
                *error = std::string("bad idle time \"") + v + "\" " + kBadDuration;
                return false;
            }
        } else if (a == "--source") {
            const char *v = value("a source");
            if (!v) return false;
            if (!platform::idleSourceFromName(v, &o->source)) {
                *error = std::string("unknown idle source \"") + v + "\" (expected one of " +
                         platform::idleSourceNames() + ")";
                return false;
            }
        } else if (a == "--status" || a == "--enable" || a == "--disable") {
            o->mode = a == "--status" ? IdleOptions::Status : a == "--enable" ? IdleOptions::Enable : IdleOptions::Disable;
            modes++;
        } else if (a.size() > 1 && a[0] == '-') {
            *error = "unknown option \"" + a + "\" for idle";
            return false;
        } else if (o->saver.empty()) {
            o->saver = a;
        } else {
            *error = "more than one saver given (\"" + o->saver + "\", \"" + a + "\")";
            return false;
        }
    }
    if (modes > 1 || (modes && (!o->saver.empty() || o->afterSeconds ||
                                o->source != platform::IdleSource::Automatic))) {
        *error = "--status, --enable and --disable go alone";
        return false;
    }
    return true;
}

// ------------------------------------------------------------- the watcher

// One `somnel idle` at work: everything that feeds the watcher, and the
// saver it starts.
class IdleRun {
public:
    IdleRun(const IdleOptions &o, const IdleSession &session)
        : options_(o), session_(session),
          watcher_({[this] { startSaver(); }, [this](double s) { callAfter(s); },
                    [](const std::string &line) { reportError(line); }},
                   o.afterSeconds ? o.afterSeconds : kDefaultIdleMinutes * 60) {
        clock_.start();
    }

    ~IdleRun() { stopSaver(true); }

    // Everything that can fail at the start, each with its one line.
    ExitStatus begin() {
        std::string why;
        settings_ = platform::ScreenSaverDefaults::defaultsForModuleWithName(kSettingsDomain);
        if (!options_.saver.empty()) {
            if (findSaver(options_.saver, &why).empty()) return fail(ExitStatus::Failure, why);
            saver_ = options_.saver;
        }
        if (!applySettings(true)) return ExitStatus::Failure;
        int holder = 0;
        if (!lock_.acquire(session_, &holder, &why)) {
            if (holder)
                return fail(ExitStatus::Failure, "somnel idle already runs in this session (process " +
                                                     std::to_string(holder) + ", " + session_.display + ")");
            return fail(ExitStatus::Failure, why);
        }
        monitor_ = platform::openIdleMonitor(options_.source, &why);
        if (!monitor_) return fail(ExitStatus::Failure, "no idle source for this session; tried " + why);
        monitor_->onIdle = [this] { onIdle(); };
        monitor_->onActive = [this] { watcher_.active(now()); };
        monitor_->onLost = [this](const std::string &why) {
            reportError(why + "; ending");
            stopSaver(true);
            QCoreApplication::exit(exitCode(ExitStatus::Ok));
        };
        monitor_->watch(int(watcher_.idleSeconds() * 1000));
        serveInhibitors();
        watchSettings();
        startTimer_.setSingleShot(true);
        // NOTE: a coarse timer may fire up to 5 % early; the idle time
        // after a release would then come short.
        startTimer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&startTimer_, &QTimer::timeout, [this] { watcher_.due(now()); });
        platform::logInfo(platform::LogArea::Idle, "watching %s: %s after %s idle", session_.display.c_str(),
                          saver_.c_str(), durationText(int(watcher_.idleSeconds())).c_str());
        updateStatus();
        return ExitStatus::Ok;
    }

    // Asks the saver to end, and waits for it when `wait` (at the end).
    void stopSaver(bool wait) {
        if (!process_ || process_->state() == QProcess::NotRunning) return;
        stopping_ = true;
        process_->terminate();
        if (wait && !process_->waitForFinished(kSaverStopMs)) process_->kill();
    }

private:
    double now() const { return clock_.elapsed() / 1000.0; }

    void callAfter(double seconds) {
        if (seconds < 0)
            startTimer_.stop();
        else
            startTimer_.start(int(seconds * 1000 + 0.5));
        updateStatus();
    }

    void onIdle() {
        watcher_.idle(now());
        if (watcher_.inhibited())
            platform::logInfo(platform::LogArea::Idle, "idle for %s, but %s: no saver",
                              durationText(int(watcher_.idleSeconds())).c_str(), inhibitorsText().c_str());
    }

    // ------------------------------------------------ the saver's process

    void startSaver() {
        stopping_ = false;
        process_ = std::make_unique<QProcess>();
        QProcess *p = process_.get();
        p->setProgram(selfProgram());
        p->setArguments({"run", QString::fromStdString(saver_)});
        p->setStandardInputFile(QProcess::nullDevice());
        p->setProcessChannelMode(QProcess::ForwardedChannels);
        // The saver ends with the watcher, however the watcher ends.
        p->setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
        QObject::connect(p, &QProcess::finished, [this, p](int code, QProcess::ExitStatus status) {
            saverFinished(p, status == QProcess::CrashExit ? -1 : code);
        });
        QObject::connect(p, &QProcess::errorOccurred, [this, p](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart) saverFinished(p, -2);
        });
        p->start();
        platform::logInfo(platform::LogArea::Idle, "starting %s (process %lld)", saver_.c_str(),
                          (long long)p->processId());
        if (inhibit_) inhibit_->announceActive(true);
        updateStatus();
    }

    // code: the exit status, -1 for a crash, -2 when it could not start.
    void saverFinished(QProcess *p, int code) {
        if (p != process_.get()) return;
        const bool asked = stopping_;
        std::string how = "\"" + saver_ + "\" ";
        how += code == -2 ? "could not be started" : code == -1 ? "crashed" : "ended with status " + std::to_string(code);
        platform::logInfo(platform::LogArea::Idle, "%s", how.c_str());
        process_.release()->deleteLater();
        // Another full-screen saver already covers the display (started by
        // hand, or by the settings window): the user will come back to it.
        const bool covered = code == exitCode(ExitStatus::AlreadyRunning);
        watcher_.saverEnded(now(), !asked && !covered && code != 0, how);
        if (inhibit_) inhibit_->announceActive(false);
        updateStatus();
    }

    // ------------------------------------------------------- inhibitors

    void serveInhibitors() {
        platform::InhibitService::Hooks hooks;
        hooks.inhibitorsChanged = [this] {
            watcher_.setInhibited(!inhibit_->inhibitors().empty(), now());
            updateStatus();
        };
        hooks.simulateActivity = [this] {
            stopSaver(false);
            if (!monitor_->resetIdle()) watcher_.active(now());
        };
        hooks.setActive = [this](bool on) {
            if (on)
                watcher_.startNow(now());
            else
                stopSaver(false);
            return true;
        };
        hooks.active = [this] { return watcher_.showing(); };
        hooks.activeSeconds = [this] {
            return watcher_.showing() ? unsigned(now() - watcher_.showingSince()) : 0u;
        };
        std::string why;
        inhibit_ = platform::InhibitService::serve(std::move(hooks), &why);
        if (!inhibit_)
            platform::logInfo(platform::LogArea::Idle, "not serving inhibitors: %s; the session's own apply",
                              why.c_str());
    }

    std::string inhibitorsText() const {
        std::string text;
        if (!inhibit_) return text;
        for (const auto &i : inhibit_->inhibitors()) {
            text += text.empty() ? "inhibited by " : ", ";
            text += "\"" + i.application + "\"";
            if (!i.reason.empty()) text += " (" + i.reason + ")";
        }
        return text;
    }

    // --------------------------------------------------------- settings

    // Reads the stored saver and idle time, where the command line did
    // not give them. At the start a saver that cannot be found is an
    // error (false, after its line); later it is said once and the one
    // before is kept.
    bool applySettings(bool atStart) {
        if (!atStart) settings_->reload();
        if (options_.saver.empty()) {
            const std::string stored = storedSaver(settings_->objectForKey(kSaverKey));
            std::string why;
            if (stored != saver_ && findSaver(stored, &why).empty()) {
                if (atStart && stored == kDefaultSaver) {
                    reportError(why);
                    return false;
                }
                if (stored != refusedSaver_)
                    reportError("the saver chosen in the settings, \"" + stored + "\", is not installed; " +
                                "keeping \"" + (saver_.empty() ? kDefaultSaver : saver_) + "\"");
                refusedSaver_ = stored;
                if (saver_.empty()) {
                    if (findSaver(kDefaultSaver, &why).empty()) {
                        reportError(why);
                        return false;
                    }
                    saver_ = kDefaultSaver;
                }
            } else if (stored != saver_) {
                if (!saver_.empty())
                    platform::logInfo(platform::LogArea::Idle, "saver now %s", stored.c_str());
                saver_ = stored;
                refusedSaver_.clear();
            }
        }
        if (!options_.afterSeconds) {
            const int seconds = storedIdleMinutes(settings_->objectForKey(kIdleMinutesKey)) * 60;
            if (seconds != int(watcher_.idleSeconds())) {
                watcher_.setIdleSeconds(seconds);
                if (monitor_) monitor_->watch(seconds * 1000);
                platform::logInfo(platform::LogArea::Idle, "idle time now %s", durationText(seconds).c_str());
            }
        }
        if (!atStart) updateStatus();
        return true;
    }

    // Follows the settings file: a write replaces it (a new file renamed
    // over the old one), so its folder is watched, and a change counts
    // only when the file is another one or changed.
    void watchSettings() {
        const QString file = QString::fromStdString(settings_->filePath());
        const QString folder = QFileInfo(file).absolutePath();
        QDir().mkpath(folder);
        fileWatch_.addPath(folder);
        if (QFileInfo::exists(file)) fileWatch_.addPath(file);
        settingsStamp_ = stamp(file);
        settleTimer_.setSingleShot(true);
        // NOTE: an editor or the store may write in steps; read once they
        // are done.
        settleTimer_.setInterval(100);
        QObject::connect(&fileWatch_, &QFileSystemWatcher::directoryChanged, [this] { settleTimer_.start(); });
        QObject::connect(&fileWatch_, &QFileSystemWatcher::fileChanged, [this] { settleTimer_.start(); });
        QObject::connect(&settleTimer_, &QTimer::timeout, [this, file] {
            if (QFileInfo::exists(file) && !fileWatch_.files().contains(file)) fileWatch_.addPath(file);
            const std::string now = stamp(file);
            if (now == settingsStamp_) return;
            settingsStamp_ = now;
            applySettings(false);
        });
    }

    // What identifies one version of the file: device, inode, size, time.
    static std::string stamp(const QString &file) {
        struct stat st;
        if (stat(QFile::encodeName(file).constData(), &st) != 0) return "";
        return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino) + ":" + std::to_string(st.st_size) +
               ":" + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    }

    // ----------------------------------------------------------- status

    std::string statusText() const {
        const std::string after = saver_ + " starts after " + durationText(int(watcher_.idleSeconds())) + " idle";
        if (watcher_.showing()) return "showing " + saver_;
        if (watcher_.inhibited()) return inhibitorsText() + "; " + after + " once they let go";
        if (watcher_.startAt() >= 0) {
            const QDateTime at = QDateTime::currentDateTime().addMSecs(qint64((watcher_.startAt() - now()) * 1000));
            return saver_ + " starts at " + at.toString("HH:mm:ss").toStdString();
        }
        return after;
    }

    void updateStatus() {
        const std::string text = statusText();
        if (text == lastStatus_) return;
        lastStatus_ = text;
        std::string why;
        if (!writeIdleStatus(session_, text, &why)) reportError(why);
    }

    IdleOptions options_;
    IdleSession session_;
    IdleSessionLock lock_;
    IdleWatcher watcher_;
    QElapsedTimer clock_;
    QTimer startTimer_;
    std::unique_ptr<platform::IdleMonitor> monitor_;
    std::unique_ptr<platform::InhibitService> inhibit_;
    std::shared_ptr<platform::ScreenSaverDefaults> settings_;
    QFileSystemWatcher fileWatch_;
    QTimer settleTimer_;
    std::string settingsStamp_;
    std::string saver_, refusedSaver_;
    std::unique_ptr<QProcess> process_;
    bool stopping_ = false;
    std::string lastStatus_;
};

// ------------------------------------------------------ --enable, --disable

ExitStatus enable() {
    std::string why;
    const std::string program = selfProgram().toStdString();
    if (!enableAutostart(program, &why)) return fail(ExitStatus::Failure, why);
    printf("somnel idle starts with every session from now on (%s)\n", autostartEntryPath().c_str());
    IdleSession session;
    if (currentIdleSession(&session, &why) && !idleWatcherProcess(session)) {
        qint64 pid = 0;
        // NOTE: in the root folder, as a daemon should be: it holds no
        // folder busy, and one that is gone would fail the start.
        if (QProcess::startDetached(QString::fromStdString(program), {"idle"}, "/", &pid))
            printf("started it for this session (process %lld)\n", (long long)pid);
        else
            reportError("could not start \"" + program + " idle\"");
    }
    return ExitStatus::Ok;
}

ExitStatus disable() {
    std::string why;
    if (!disableAutostart(&why)) return fail(ExitStatus::Failure, why);
    printf("somnel idle no longer starts with the session\n");
    IdleSession session;
    if (!currentIdleSession(&session, &why)) return ExitStatus::Ok;
    if (const int pid = idleWatcherProcess(session)) {
        kill(pid, SIGTERM);
        printf("stopped the one of this session (process %d)\n", pid);
    }
    return ExitStatus::Ok;
}

}  // namespace

bool parseDuration(const std::string &text, int *seconds) {
    if (text.empty() || text.size() > 16) return false;
    // A bare number is minutes.
    if (text.find_first_not_of("0123456789") == std::string::npos) {
        const long minutes = std::stol(text);
        if (minutes < 1 || minutes > kMaxIdleMinutes) return false;
        *seconds = int(minutes * 60);
        return true;
    }
    const char *units = "hms";
    const int scale[] = {3600, 60, 1};
    long total = 0;
    int next = 0;  // the first unit still allowed
    size_t at = 0;
    while (at < text.size()) {
        const size_t digits = text.find_first_not_of("0123456789", at);
        if (digits == at || digits == std::string::npos) return false;
        const char *unit = strchr(units + next, text[digits]);
        if (!unit || !*unit) return false;
        total += std::stol(text.substr(at, digits - at)) * scale[unit - units];
        next = int(unit - units) + 1;
        at = digits + 1;
    }
    if (total < 1 || total > kMaxIdleSeconds) return false;
    *seconds = int(total);
    return true;
}

bool idleStatus(std::string *line) {
    IdleSession session;
    std::string why;
    const int pid = currentIdleSession(&session, &why) ? idleWatcherProcess(session) : 0;
    if (!pid) {
        *line = "not running";
        return false;
    }
    const std::string text = readIdleStatus(session);
    *line = "running" + (text.empty() ? std::string() : ": " + text) + " (process " + std::to_string(pid) + ")";
    return true;
}

ExitStatus idle(int argc, char **argv) {
    IdleOptions o;
    std::string error;
    if (!parseIdleOptions(argc, argv, &o, &error)) return fail(ExitStatus::Usage, error);
    if (o.mode == IdleOptions::Status) {
        std::string line;
        const bool running = idleStatus(&line);
        printf("%s\n", line.c_str());
        return running ? ExitStatus::Ok : ExitStatus::NotRunning;
    }
    QCoreApplication app(argc, argv);
    if (o.mode == IdleOptions::Enable) return enable();
    if (o.mode == IdleOptions::Disable) return disable();
    IdleSession session;
    if (!currentIdleSession(&session, &error)) return fail(ExitStatus::Failure, error);
    IdleRun run(o, session);
    const ExitStatus started = run.begin();
    if (started != ExitStatus::Ok) return started;
    onStopSignal([&run](int) {
        run.stopSaver(true);
        QCoreApplication::exit(exitCode(ExitStatus::Ok));
    });
    return stopSignal() ? ExitStatus::Ok : static_cast<ExitStatus>(QCoreApplication::exec());
}

}  // namespace somnel::host
