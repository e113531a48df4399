// Shared helpers for the test programs.
#pragma once

#include <functional>
#include <string>

#include <QImage>

#include <algorithm>

#include <gtest/gtest.h>

#include <memory>
#include "platform/bundle.h"
#include "platform/view.h"
#include "tests/support/wait.h"

namespace platform {
class Bundle;
class ScreenSaverView;
}

namespace testsupport {

// A fresh temporary folder, removed when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// A small file system of its own (a tmpfs of sizeKiB, mounted on a fresh
// folder, read-only when asked), for the harsh cases: a full disk, a
// read-only folder. Mounting needs root; a test skips with the reason when
// it cannot (GTEST_SKIP() << fs.whyNot()). Unmounted when the object goes.
class SmallFileSystem {
public:
    explicit SmallFileSystem(int sizeKiB, bool readOnly = false);
    ~SmallFileSystem();
    bool mounted() const { return mounted_; }
    const std::string &whyNot() const { return whyNot_; }
    const std::string &path() const { return dir_.path(); }
    std::string file(const std::string &name) const { return dir_.file(name); }
    // Fills the file system with one file until fewer than leaveBytes are
    // free.
    void fill(long leaveBytes);

private:
    TempDir dir_;
    bool mounted_ = false;
    std::string whyNot_;
};

// Everything written to standard error while fn runs.
std::string captureStderr(const std::function<void()> &fn);

// The reason of the InternalInconsistencyException that fn raises, or
// "<no exception>" when it returns normally.
std::string abortReason(const std::function<void()> &fn);

// Path of a file in tests/data.
std::string dataFile(const std::string &name);

// The whole content of a file ("" when it cannot be read).
std::string readFile(const std::string &path);

// The built somnel program, and the folder of a bundle that only tests use
// (<name>.saver, built into the test saver folder).
std::string somnelProgram();
std::string testSaver(const std::string &name);

// One run of a program: its exit status (-1 when it did not exit) and what
// it wrote. `args` are shell words; `prefix` goes before the program on the
// command line ("VAR=value", "timeout 30"); standard input is empty.
struct ProgramRun {
    int status = -1;
    std::string out, err;
};
ProgramRun run(const std::string &program, const std::string &args, const std::string &prefix = "");
// A run of the built somnel program.
ProgramRun somnel(const std::string &args, const std::string &prefix = "");

// A bundle folder <dir>/<name>.saver with Resources/, whose code is this
// test program: tables the test exports are found by the name rule.
std::shared_ptr<platform::Bundle> inProcessBundle(const TempDir &dir, const std::string &name);

// Lets the window system deliver a resize: true once the view has the size
// (through waitFor).
bool waitForViewSize(platform::ScreenSaverView *view, double width, double height);

// The bounding box (image rows from the top) of the pixels pred picks.
struct Box {
    int x0 = 1 << 30, y0 = 1 << 30, x1 = -1, y1 = -1;
    bool empty() const { return x1 < 0; }
};
template <class Pred>
Box find(const QImage &img, Pred pred) {
    Box b;
    for (int y = 0; y < img.height(); y++)
        for (int x = 0; x < img.width(); x++)
            if (pred(img.pixel(x, y))) {
                b.x0 = std::min(b.x0, x);
                b.x1 = std::max(b.x1, x);
                b.y0 = std::min(b.y0, y);
                b.y1 = std::max(b.y1, y);
            }
    return b;
}

}  // namespace testsupport
