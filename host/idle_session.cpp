// The session's lock, status line and autostart entry of `somnel idle`.
#include "host/idle_session.h"

#include "platform/atomic_file.h"
#include "platform/file_read.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace somnel::host {

namespace {

// A status line or an autostart entry is a few hundred bytes.
constexpr std::size_t kMaxSmallFile = 64 * 1024;

// A display name made safe as part of a file name.
std::string fileSafe(const std::string &text) {
    std::string out;
    for (char c : text) out += (isalnum((unsigned char)c) || c == '.' || c == '-') ? c : '_';
    return out;
}

// "host:0.1" → "host:0": every screen of an X display is one session.
std::string withoutScreen(const std::string &display) {
    const size_t colon = display.rfind(':');
    if (colon == std::string::npos) return display;
    const size_t dot = display.find('.', colon);
    return dot == std::string::npos ? display : display.substr(0, dot);
}

std::string configHome() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + "/.config";
    return base.toStdString();
}

// A program path as a desktop entry's Exec line takes it: quoted when it
// holds anything but the plain characters.
std::string execQuoted(const std::string &path) {
    bool plain = !path.empty();
    for (char c : path)
        if (!isalnum((unsigned char)c) && !strchr("/._+-", c)) plain = false;
    if (plain) return path;
    std::string out = "\"";
    // Inside the quotes " ` $ and \ take a backslash, and the entry's
    // string escaping doubles every backslash.
    for (char c : path) {
        if (c == '\\')
            out += "\\\\\\\\";
        else if (strchr("\"`$", c))
            out += std::string("\\\\") + c;
        else
            out += c;
    }
    return out + "\"";
}

}  // namespace

bool currentIdleSession(IdleSession *session, std::string *why) {
    const char *wayland = getenv("WAYLAND_DISPLAY");
    const char *x11 = getenv("DISPLAY");
    std::string key;
    if (wayland && *wayland) {
        session->display = std::string("Wayland display ") + wayland;
        key = std::string("wayland-") + fileSafe(wayland);
    } else if (x11 && *x11) {
        session->display = "X display " + withoutScreen(x11);
        key = "x11-" + fileSafe(withoutScreen(x11));
    } else {
        *why = "no session to watch: neither WAYLAND_DISPLAY nor DISPLAY is set";
        return false;
    }
    QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !QDir::isAbsolutePath(runtime)) runtime = QDir::tempPath();
    const std::string folder = runtime.toStdString() + "/somnel";
    session->lockPath = folder + "/idle-" + key + ".lock";
    session->statusPath = folder + "/idle-" + key + ".status";
    return true;
}

IdleSessionLock::~IdleSessionLock() {
    if (fd_ < 0) return;
    unlink(statusPath_.c_str());
    close(fd_);  // the lock goes with the descriptor
}

bool IdleSessionLock::acquire(const IdleSession &session, int *holder, std::string *why) {
    *holder = 0;
    const std::string folder = QFileInfo(QString::fromStdString(session.lockPath)).absolutePath().toStdString();
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        *why = "cannot create " + folder + ": " + strerror(errno);
        return false;
    }
    // NOTE: the descriptor is closed in the saver's process (CLOEXEC), or
    // a saver left running would hold the session's lock.
    const int fd = open(session.lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        *why = "cannot open " + session.lockPath + ": " + strerror(errno);
        return false;
    }
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    if (fcntl(fd, F_SETLK, &lock) != 0) {
        const int error = errno;
        close(fd);
        if (error == EACCES || error == EAGAIN) {
            *holder = idleWatcherProcess(session);
            if (*holder) return false;
        }
        *why = "cannot lock " + session.lockPath + ": " + strerror(error);
        return false;
    }
    fd_ = fd;
    statusPath_ = session.statusPath;
    return true;
}

int idleWatcherProcess(const IdleSession &session) {
    const int fd = open(session.lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return 0;
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    const bool asked = fcntl(fd, F_GETLK, &lock) == 0;
    close(fd);
    return asked && lock.l_type != F_UNLCK ? int(lock.l_pid) : 0;
}

std::string readIdleStatus(const IdleSession &session) {
    std::string text, why;
    if (platform::readRegularFile(session.statusPath, kMaxSmallFile, &text, &why) != platform::FileRead::Ok)
        return "";
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text.substr(0, text.find('\n'));
}

bool writeIdleStatus(const IdleSession &session, const std::string &line, std::string *why) {
    return writeWholeFile(session.statusPath, line + "\n", why);
}

std::string autostartEntryPath() { return configHome() + "/autostart/somnel-idle.desktop"; }

bool enableAutostart(const std::string &program, std::string *why) {
    const QString bin = QFileInfo(QString::fromStdString(program)).absolutePath();
    const std::string installed = QDir::cleanPath(bin + "/../share/somnel/somnel-idle.desktop").toStdString();
    std::string entry, reason;
    if (platform::readRegularFile(installed, kMaxSmallFile, &entry, &reason) != platform::FileRead::Ok) {
        *why = "cannot read the autostart entry " + installed + " (" + reason + ")";
        return false;
    }
    // The entry names the program where it was installed; this one may
    // have been moved since.
    std::string out;
    size_t at = 0;
    while (at < entry.size()) {
        size_t end = entry.find('\n', at);
        if (end == std::string::npos) end = entry.size();
        const std::string line = entry.substr(at, end - at);
        if (line.rfind("Exec=", 0) == 0)
            out += "Exec=" + execQuoted(program) + " idle\n";
        else if (line.rfind("TryExec=", 0) == 0)
            out += "TryExec=" + program + "\n";
        else
            out += line + "\n";
        at = end + 1;
    }
    const std::string path = autostartEntryPath();
    if (!QDir().mkpath(QFileInfo(QString::fromStdString(path)).absolutePath())) {
        *why = "cannot create the folder of " + path;
        return false;
    }
    return writeWholeFile(path, out, why);
}

bool disableAutostart(std::string *why) {
    const std::string path = autostartEntryPath();
    if (unlink(path.c_str()) == 0 || errno == ENOENT) return true;
    *why = "cannot remove " + path + ": " + strerror(errno);
    return false;
}

bool writeWholeFile(const std::string &path, const std::string &data, std::string *why) {
    std::string reason;
    if (platform::writeFileAtomically(path, data, &reason)) return true;
    *why = "cannot write " + path + ": " + reason;
    return false;
}

}  // namespace somnel::host
