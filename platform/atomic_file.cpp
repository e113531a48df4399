// The checked atomic writer (see atomic_file.h).
//
// NOTE: Qt's QSaveFile is not used: in Qt 6.4 its commit() returns true
// after the final flush failed with ENOSPC (the error is only in error()),
// and the old file is then replaced by an empty one.
#include "platform/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::mutex faultMutex;
std::function<int(AtomicWriteStep)> faultHook;

// The errno a test wants this step to fail with; 0 normally.
int injected(AtomicWriteStep step) {
    std::function<int(AtomicWriteStep)> hook;
    {
        std::lock_guard<std::mutex> guard(faultMutex);
        hook = faultHook;
    }
    return hook ? hook(step) : 0;
}

std::string folderOf(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string baseOf(const std::string &path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool failWith(std::string *why, const std::string &text) {
    if (why) *why = text;
    return false;
}

bool failWithErrno(std::string *why, int error) { return failWith(why, std::strerror(error)); }

// Writes all of data, through interruptions and short writes. 0, or the
// errno of the write that failed.
int writeAll(int fd, std::string_view data) {
    if (int e = injected(AtomicWriteStep::Write)) return e;
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        done += size_t(n);
    }
    return 0;
}

// close(2), checked: a deferred write error may only show here. EINTR
// still closed the descriptor on Linux.
int closeChecked(int fd) {
    if (int e = injected(AtomicWriteStep::Close)) {
        close(fd);
        return e;
    }
    return close(fd) == 0 || errno == EINTR ? 0 : errno;
}

// The kernel's rule for links in shared sticky folders: such a link is
// followed only when it belongs to the user or to the folder's owner.
bool linkMayBeFollowed(const std::string &path, const struct stat &link) {
    struct stat folder;
    if (stat(folderOf(path).c_str(), &folder) != 0) return false;
    const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    return !shared || link.st_uid == geteuid() || link.st_uid == folder.st_uid;
}

// A pipe, a terminal or a device: written in place, every write checked.
bool writeInPlace(const std::string &path, std::string_view data, std::string *why) {
    const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return failWithErrno(why, errno);
    if (int e = writeAll(fd, data)) {
        close(fd);
        return failWithErrno(why, e);
    }
    if (int e = closeChecked(fd)) return failWithErrno(why, e);
    return true;
}

// A name for the new file beside the destination, hidden, unique enough
// that O_EXCL rarely has to try again.
std::string temporaryName(const std::string &folder, const std::string &base) {
    static std::atomic<unsigned> counter{0};
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    // A long name must leave room for the suffix within NAME_MAX.
    const std::string stem = base.size() > 200 ? base.substr(0, 200) : base;
    return folder + "/." + stem + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(t.tv_nsec);
}

}  // namespace

void setAtomicWriteFaultForTesting(std::function<int(AtomicWriteStep)> fault) {
    std::lock_guard<std::mutex> guard(faultMutex);
    faultHook = std::move(fault);
}

bool writeFileAtomically(const std::string &path, std::string_view data, std::string *why,
                         const AtomicWriteOptions &options) {
    if (path.empty()) return failWith(why, "no file name");
    std::string target = path;
    struct stat st;
    bool exists = lstat(path.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) return failWithErrno(why, errno);
    if (exists && S_ISLNK(st.st_mode)) {
        struct stat to;
        const bool reaches = stat(path.c_str(), &to) == 0;
        // Through a link to a pipe or device nothing is replaced: the open
        // follows it, under the kernel's own rules for links.
        if (reaches && options.streamsInPlace && (S_ISFIFO(to.st_mode) || S_ISCHR(to.st_mode) || S_ISSOCK(to.st_mode)))
            return writeInPlace(path, data, why);
        if (!options.followLink) return failWith(why, "it is a symbolic link (not followed)");
        if (!linkMayBeFollowed(path, st))
            return failWith(why, "it is a symbolic link in a shared folder, owned by another user (not followed)");
        char *real = realpath(path.c_str(), nullptr);
        if (!real)
            return errno == ENOENT ? failWith(why, "it is a symbolic link to a missing file")
                                   : failWithErrno(why, errno);
        target = real;
        free(real);
        exists = lstat(target.c_str(), &st) == 0;
        if (!exists) return failWithErrno(why, errno);
    }
    if (exists && S_ISDIR(st.st_mode)) return failWith(why, "it is a folder");
    if (exists && !S_ISREG(st.st_mode)) {
        if (options.streamsInPlace && (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode) || S_ISSOCK(st.st_mode)))
            return writeInPlace(target, data, why);
        return failWith(why, "it is not a regular file");
    }

    const std::string folder = folderOf(target);
    std::string temp;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temp = temporaryName(folder, baseOf(target));
        if (int e = injected(AtomicWriteStep::Create)) return failWithErrno(why, e);
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) return failWithErrno(why, errno);
    }
    if (fd < 0) return failWith(why, "no free name for a temporary file in " + folder);

    // From here on a failure removes the new file; the old one is untouched.
    auto abandon = [&](int error, bool open) {
        if (open) close(fd);
        unlink(temp.c_str());
        return failWithErrno(why, error);
    };
    if (exists && fchmod(fd, st.st_mode & 07777) != 0) return abandon(errno, true);
    if (int e = writeAll(fd, data)) return abandon(e, true);
    if (int e = injected(AtomicWriteStep::Sync)) return abandon(e, true);
    if (fsync(fd) != 0) return abandon(errno, true);
    if (int e = closeChecked(fd)) return abandon(e, false);
    if (int e = injected(AtomicWriteStep::Rename)) return abandon(e, false);
    if (rename(temp.c_str(), target.c_str()) != 0) return abandon(errno, false);

    // The rename itself reaches the disk with the folder. The new file is
    // in place now; a failure here means it may not survive a crash.
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int e = injected(AtomicWriteStep::SyncFolder);
    if (!e && dir >= 0 && fsync(dir) != 0 && errno != EINVAL) e = errno;
    if (dir >= 0) close(dir);
    if (e) return failWith(why, std::string("written, but the folder could not be flushed: ") + std::strerror(e));
    return true;
}

}  // namespace platform
