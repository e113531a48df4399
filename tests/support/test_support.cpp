#include "tests/support/test_support.h"

#include "platform/log.h"
#include "platform/bundle.h"
#include "platform/view.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <dlfcn.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

TempDir::TempDir() {
    QTemporaryDir dir(QDir::tempPath() + "/somnel-test-XXXXXX");
    dir.setAutoRemove(false);
    path_ = dir.path().toStdString();
}

TempDir::~TempDir() { QDir(QString::fromStdString(path_)).removeRecursively(); }

SmallFileSystem::SmallFileSystem(int sizeKiB, bool readOnly) {
    const std::string options = "size=" + std::to_string(sizeKiB) + "k";
    if (geteuid() != 0) {
        whyNot_ = "mounting a small tmpfs needs root";
        return;
    }
    if (mount("tmpfs", dir_.path().c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) != 0) {
        whyNot_ = std::string("cannot mount a small tmpfs here: ") + strerror(errno);
        return;
    }
    mounted_ = true;
}

SmallFileSystem::~SmallFileSystem() {
    if (mounted_) umount2(dir_.path().c_str(), MNT_DETACH);
}

void SmallFileSystem::fill(long leaveBytes) {
    const std::string filler = file("filler");
    FILE *f = fopen(filler.c_str(), "ab");
    if (!f) return;
    static const char block[512] = {};
    struct statvfs st;
    while (statvfs(path().c_str(), &st) == 0 && long(st.f_bavail * st.f_frsize) >= leaveBytes &&
           fwrite(block, 1, sizeof block, f) == sizeof block && fflush(f) == 0) {
    }
    fclose(f);
}

std::string captureStderr(const std::function<void()> &fn) {
    fflush(stderr);
    char name[] = "/tmp/somnel-stderr-XXXXXX";
    int fd = mkstemp(name);
    int saved = dup(2);
    dup2(fd, 2);
    try {
        fn();
    } catch (...) {
        fflush(stderr);
        dup2(saved, 2);
        close(saved);
        close(fd);
        unlink(name);
        throw;
    }
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    std::string out;
    lseek(fd, 0, SEEK_SET);
    char buf[4096];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, size_t(n));
    close(fd);
    unlink(name);
    return out;
}

std::string abortReason(const std::function<void()> &fn) {
    try {
        fn();
    } catch (const platform::InternalInconsistencyException &e) {
        return e.reason();
    }
    return "<no exception>";
}

std::shared_ptr<platform::Bundle> inProcessBundle(const TempDir &dir, const std::string &name) {
    const std::string path = dir.file(name + ".saver");
    QDir().mkpath(QString::fromStdString(path + "/Resources"));
    return platform::Bundle::forHandle(path, dlopen(nullptr, RTLD_NOW));
}

bool waitForViewSize(platform::ScreenSaverView *view, double width, double height) {
    return waitFor([&] { return view->frame().size.width == width && view->frame().size.height == height; });
}

std::string dataFile(const std::string &name) {
    const char *d = getenv("SOMNEL_TEST_DATA");
    return std::string(d ? d : "tests/data") + "/" + name;
}

std::string readFile(const std::string &path) {
    QFile f(QString::fromStdString(path));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll().toStdString();
}

std::string somnelProgram() {
    const char *dir = getenv("SOMNEL_BIN_DIR");
    return std::string(dir ? dir : "bin") + "/somnel";
}

std::string testSaver(const std::string &name) {
    const char *dir = getenv("SOMNEL_TEST_SAVER_DIR");
    return std::string(dir ? dir : "test-savers") + "/" + name + ".saver";
}

ProgramRun run(const std::string &program, const std::string &args, const std::string &prefix) {
    TempDir tmp;
    const std::string cmd = prefix + " '" + program + "' " + args + " >'" + tmp.file("out") + "' 2>'" +
                            tmp.file("err") + "' </dev/null";
    ProgramRun r;
    const int rc = system(cmd.c_str());
    r.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    r.out = readFile(tmp.file("out"));
    r.err = readFile(tmp.file("err"));
    return r;
}

ProgramRun somnel(const std::string &args, const std::string &prefix) { return run(somnelProgram(), args, prefix); }

}  // namespace testsupport

// Every test program runs inside a QApplication: timers, windows and fonts
// need one. Without a display, Qt's offscreen platform stands in.
int main(int argc, char **argv) {
    if (!getenv("DISPLAY") && !getenv("WAYLAND_DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
