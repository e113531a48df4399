// What `somnel idle` keeps per session, outside its own process: a lock
// that lets one watcher run per display, a status line beside it for
// `somnel idle --status`, and the XDG autostart entry that starts it with
// every session.
#pragma once

#include <string>

namespace somnel::host {

// The session the program runs in, named by its display: the Wayland
// display when there is one (an X server beside it serves X clients
// only), else the X display without its screen number.
struct IdleSession {
    std::string display;     // for messages: "Wayland display wayland-1", "X display :0"
    std::string lockPath;    // $XDG_RUNTIME_DIR/somnel/idle-<display>.lock
    std::string statusPath;  // the status line beside it
};

// False with a reason when the process has no display at all.
bool currentIdleSession(IdleSession *session, std::string *why);

// The lock of a session's watcher, held while the object lives. It is a
// record lock on the file, so it goes with the process however the
// process ends, and a lock held by a process that is gone is no lock.
class IdleSessionLock {
public:
    IdleSessionLock() = default;
    ~IdleSessionLock();
    IdleSessionLock(const IdleSessionLock &) = delete;
    IdleSessionLock &operator=(const IdleSessionLock &) = delete;

    // Takes the lock; false with *holder the process id of the watcher
    // that holds it (0 when the lock could not be taken for another
    // reason, then *why says which).
    bool acquire(const IdleSession &session, int *holder, std::string *why);

private:
    int fd_ = -1;
    std::string statusPath_;
};

// The process id of the watcher that holds the session's lock, 0 when none.
int idleWatcherProcess(const IdleSession &session);

// The status line the running watcher wrote last ("" when there is none),
// and the writing of it (only the watcher that holds the lock writes).
std::string readIdleStatus(const IdleSession &session);
bool writeIdleStatus(const IdleSession &session, const std::string &line, std::string *why);

// The user's autostart entry: $XDG_CONFIG_HOME/autostart/somnel-idle.desktop.
std::string autostartEntryPath();
// Writes it from the entry installed beside the program
// (<bin>/../share/somnel/somnel-idle.desktop), its Exec line naming the
// program as it runs now. False with a reason.
bool enableAutostart(const std::string &program, std::string *why);
// Removes it; true when it is gone (or was never there).
bool disableAutostart(std::string *why);

// Writes a whole file or nothing, through the platform's atomic writer:
// the one place where `somnel idle` writes.
bool writeWholeFile(const std::string &path, const std::string &data, std::string *why);

}  // namespace somnel::host
