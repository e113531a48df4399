#include "platform/file_read.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

FileRead readRegularFile(const std::string &path, std::size_t maxBytes, std::string *data, std::string *why) {
    data->clear();
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) {
        *why = std::strerror(errno);
        return errno == ENOENT ? FileRead::Missing : FileRead::Unreadable;
    }
    // O_NONBLOCK: opening a FIFO for reading must not wait for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        *why = S_ISLNK(st.st_mode) && e == ENOENT ? std::string("a link to a missing file") : std::strerror(e);
        return FileRead::Unreadable;
    }
    auto closeWith = [fd](FileRead r) {
        close(fd);
        return r;
    };
    if (fstat(fd, &st) != 0) {
        *why = std::strerror(errno);
        return closeWith(FileRead::Unreadable);
    }
    if (!S_ISREG(st.st_mode)) {
        *why = S_ISDIR(st.st_mode) ? "a folder, not a regular file" : "not a regular file";
        return closeWith(FileRead::NotRegular);
    }
    auto tooLarge = [&] {
        *why = "larger than " + std::to_string(maxBytes) + " bytes";
        data->clear();
        return closeWith(FileRead::TooLarge);
    };
    if (st.st_size < 0 || std::size_t(st.st_size) > maxBytes) return tooLarge();
    // The size may change while we read: read up to one byte past the cap.
    data->resize(std::size_t(st.st_size));
    std::size_t have = 0;
    for (;;) {
        if (have == data->size()) {
            if (data->size() > maxBytes) return tooLarge();
            data->resize(std::min(maxBytes + 1, data->size() + 4096));
        }
        const ssize_t n = read(fd, data->data() + have, data->size() - have);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *why = std::strerror(errno);
            data->clear();
            return closeWith(FileRead::Unreadable);
        }
        if (n == 0) break;
        have += std::size_t(n);
    }
    data->resize(have);
    if (have > maxBytes) return tooLarge();
    return closeWith(FileRead::Ok);
}

}  // namespace platform
