#include "tests/support/desktop_session.h"

#include "tests/support/wait.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

namespace {

const char kUserName[] = "somnel-test";

bool installed(const char *program, std::string *why) {
    if (!QStandardPaths::findExecutable(program).isEmpty()) return true;
    *why = std::string(program) + " is not installed (scripts/deps.sh installs it)";
    return false;
}

// The first line of the output that starts with prefix, once there is one.
std::string lineStarting(Background &b, const std::string &prefix) {
    std::string line;
    waitFor([&] {
        const std::string &out = b.output();
        for (size_t at = 0; at < out.size();) {
            const size_t end = out.find('\n', at);
            if (end == std::string::npos) break;
            if (out.compare(at, prefix.size(), prefix) == 0) line = out.substr(at, end - at);
            if (!line.empty()) return true;
            at = end + 1;
        }
        return !b.running();
    });
    return line;
}

// A new folder owned by the user, for its runtime files.
std::string userFolder(const TestUser &user) {
    QTemporaryDir dir(QDir::tempPath() + "/somnel-session-XXXXXX");
    dir.setAutoRemove(false);
    const std::string path = dir.path().toStdString();
    if (chown(path.c_str(), user.uid, user.gid) != 0 || chmod(path.c_str(), 0700) != 0) return "";
    return path;
}

}  // namespace

bool testUser(TestUser *user, std::string *why) {
    if (getuid() != 0) {
        *user = {false, int(getuid()), int(getgid())};
        return true;
    }
    passwd *pw = getpwnam(kUserName);
    if (!pw && system("useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "
                      "somnel-test >/dev/null 2>&1") >= 0)
        pw = getpwnam(kUserName);  // made here, or by a test beside this one
    if (!pw) {
        *why = "running as root, and the unprivileged user somnel-test cannot be made";
        return false;
    }
    *user = {true, int(pw->pw_uid), int(pw->pw_gid)};
    return true;
}

Background::Background(const std::string &program, const std::vector<std::string> &args,
                       const std::vector<std::string> &env, const TestUser *user) {
    QStringList list;
    for (const std::string &a : args) list << QString::fromStdString(a);
    QString exe = QString::fromStdString(program);
    if (user && user->switchTo) {
        list = QStringList{QString("--reuid=%1").arg(user->uid), QString("--regid=%1").arg(user->gid),
                           "--clear-groups", "--", exe} + list;
        exe = "setpriv";
    }
    QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const std::string &entry : env) {
        const QString s = QString::fromStdString(entry);
        if (s.startsWith('-'))
            e.remove(s.mid(1));
        else
            e.insert(s.section('=', 0, 0), s.section('=', 1));
    }
    process_.setProcessEnvironment(e);
    process_.setProcessChannelMode(QProcess::MergedChannels);
    process_.setStandardInputFile(QProcess::nullDevice());
    process_.start(exe, list);
    process_.waitForStarted(kEventTimeoutMs);
}

Background::~Background() {
    if (running()) stop(SIGTERM);
    if (running()) process_.kill();
    process_.waitForFinished(kEventTimeoutMs);
}

const std::string &Background::output() {
    out_ += process_.readAll().toStdString();
    return out_;
}

int Background::stop(int signal) {
    // NOTE: waitForFinished is false for a process that has already ended.
    if (running()) {
        kill(pid_t(pid()), signal);
        if (!process_.waitForFinished(kEventTimeoutMs)) return -2;
    }
    output();
    return process_.exitStatus() == QProcess::CrashExit ? -1 : process_.exitCode();
}

std::vector<int> childProcesses(qint64 pid) {
    QFile f(QString("/proc/%1/task/%1/children").arg(pid));
    std::vector<int> out;
    if (!f.open(QIODevice::ReadOnly)) return out;
    for (const QByteArray &word : f.readAll().split(' '))
        if (word.trimmed().toInt() > 0) out.push_back(word.trimmed().toInt());
    return out;
}

PrivateXServer::PrivateXServer(const std::string &screen) {
    server_ = std::make_unique<Background>(
        "Xvfb", std::vector<std::string>{"-displayfd", "1", "-screen", "0", screen, "-noreset", "-nolisten", "tcp",
                                         "+extension", "GLX"});
    // It writes its display number on a line of its own once it listens.
    std::string number;
    waitFor([&] {
        const std::string &out = server_->output();
        for (size_t at = 0, end; (end = out.find('\n', at)) != std::string::npos; at = end + 1)
            if (end > at && out.find_first_not_of("0123456789", at) == end) number = out.substr(at, end - at);
        return !number.empty() || !server_->running();
    });
    if (!number.empty()) display_ = ":" + number;
}

PrivateSessionBus::PrivateSessionBus() {
    daemon_ = std::make_unique<Background>(
        "dbus-daemon", std::vector<std::string>{"--session", "--nofork", "--print-address=1"});
    address_ = lineStarting(*daemon_, "unix:");
}

HeadlessCompositor::HeadlessCompositor(Kind kind, const std::vector<std::string> &outputs) : kind_(kind) {
    std::vector<std::string> env{"-DISPLAY", "-WAYLAND_DISPLAY"};
    std::vector<std::string> args;
    if (kind == Sway) {
        if (!installed("sway", &skip_) || !installed("grim", &skip_) || !installed("wtype", &skip_) ||
            !testUser(&user_, &skip_))
            return;
        runtime_ = userFolder(user_);
        // Outputs side by side, each of its size.
        QFile conf(QString::fromStdString(runtime_ + "/sway.conf"));
        conf.open(QIODevice::WriteOnly);
        int x = 0;
        for (size_t i = 0; i < outputs.size(); i++) {
            conf.write(QString("output HEADLESS-%1 resolution %2 position %3 0\n")
                           .arg(i + 1).arg(QString::fromStdString(outputs[i])).arg(x).toUtf8());
            x += std::stoi(outputs[i]);
        }
        conf.close();
        args = {"-c", runtime_ + "/sway.conf"};
        env.insert(env.end(), {"WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_RENDERER=pixman",
                               "WLR_HEADLESS_OUTPUTS=" + std::to_string(outputs.size())});
    } else {
        if (!installed("mutter", &skip_) || !installed("dbus-daemon", &skip_)) return;
        user_ = {false, int(getuid()), int(getgid())};
        runtime_ = userFolder(user_);
        bus_ = std::make_unique<PrivateSessionBus>();
        if (!bus_->ok()) {
            skip_ = "the private session bus did not start";
            return;
        }
        display_ = "somnel-mutter";
        args = {"--headless", "--wayland", "--no-x11", "--wayland-display=" + display_};
        for (const std::string &size : outputs) args.insert(args.end(), {"--virtual-monitor", size});
        env.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus_->address());
    }
    if (runtime_.empty()) {
        skip_ = "cannot make a runtime folder for the compositor's user";
        return;
    }
    env.insert(env.end(), {"XDG_RUNTIME_DIR=" + runtime_, "HOME=" + runtime_});
    server_ = std::make_unique<Background>(kind == Sway ? "sway" : "mutter", args, env, &user_);
    // Up once its socket is there (and, for mutter, its idle monitor on the bus).
    waitFor([&] {
        if (!server_->running()) return true;
        if (kind == Sway)
            for (const QString &name : QDir(QString::fromStdString(runtime_)).entryList({"wayland-*"}, QDir::System))
                if (!name.endsWith(".lock")) display_ = name.toStdString();
        if (display_.empty() || !QFile::exists(QString::fromStdString(runtime_ + "/" + display_))) return false;
        if (kind == Sway) return true;
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(bus_->address()), "mutter-check");
        return bus.interface() && bus.interface()->isServiceRegistered("org.gnome.Mutter.IdleMonitor").value();
    });
    if (!server_->running()) skip_ = "the compositor did not start: " + server_->output();
}

HeadlessCompositor::~HeadlessCompositor() {
    server_.reset();
    if (!runtime_.empty()) QDir(QString::fromStdString(runtime_)).removeRecursively();
}

std::vector<std::string> HeadlessCompositor::clientEnv() const {
    std::vector<std::string> env{"XDG_RUNTIME_DIR=" + runtime_, "WAYLAND_DISPLAY=" + display_, "-DISPLAY",
                                 "QT_QPA_PLATFORM=wayland", "HOME=" + runtime_};
    if (bus_) env.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus_->address());
    return env;
}

bool HeadlessCompositor::grab(const std::string &output, QImage *image) const {
    const std::string file = runtime_ + "/grab-" + output + ".png";
    Background grim("grim", {"-o", output, file}, clientEnv(), &user_);
    return waitFor([&] { return !grim.running(); }) && image->load(QString::fromStdString(file));
}

bool HeadlessCompositor::type(const std::string &keys) const {
    // NOTE: the virtual keyboard needs about 1.5 s before a toolkit sees
    // its first key.
    Background wtype("wtype", {"-s", "1500", keys}, clientEnv(), &user_);
    return waitFor([&] { return !wtype.running(); });
}

}  // namespace testsupport
