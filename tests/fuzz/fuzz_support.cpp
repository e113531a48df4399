#include "tests/fuzz/fuzz_support.h"

#include <QDir>
#include <QApplication>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

namespace fuzzsupport {

void ensureApplication() {
    if (QCoreApplication::instance()) return;
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "somnel-fuzz";
    static char *argv[] = {name, nullptr};
    // Lives as long as the process: fuzzers never return from their loop.
    // A widget application, since the description harness builds a sheet.
    static QApplication *app = new QApplication(argc, argv);
    (void)app;
}

const std::string &scratchFolder() {
    // Removed when the process ends normally.
    static QTemporaryDir dir(QDir::tempPath() + "/somnel-fuzz-XXXXXX");
    static const std::string folder = [] {
        std::string path = dir.path().toStdString();
        setenv("XDG_CONFIG_HOME", path.c_str(), 1);
        return path;
    }();
    return folder;
}

void writeFile(const std::string &path, const uint8_t *data, size_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FUZZ_CHECK(fd >= 0);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        FUZZ_CHECK(n > 0);
        done += size_t(n);
    }
    close(fd);
}

}  // namespace fuzzsupport
