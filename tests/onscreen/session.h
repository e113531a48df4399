// Programs on the X server, as the on-screen and desktop tests run them: a
// private server of the test's own (monitors side by side, a window
// manager), programs spawned on it with their output in files, the somnel
// program as a process, and what the server shows.
#pragma once

#include "tests/support/test_support.h"

#include <QImage>

#include <sys/types.h>

#include <string>
#include <vector>

namespace testsupport {

// Spawns a program with extra environment entries ("NAME=value", replacing
// those of the same name), its output into the files named; -1 on failure.
pid_t spawn(const std::vector<std::string> &argv, const std::vector<std::string> &env, const std::string &out,
            const std::string &err);

// A spawned program with a folder of its own for its output, killed if a
// test leaves it running.
class Process {
public:
    Process() = default;
    Process(const std::vector<std::string> &argv, const std::vector<std::string> &env = {}) { start(argv, env); }
    virtual ~Process();
    Process(const Process &) = delete;
    Process &operator=(const Process &) = delete;

    pid_t pid() const { return pid_; }
    bool running();
    // The exit status (128 + signal when a signal killed it); -1 when it
    // did not end within the shared limit.
    int wait();
    void signal(int sig);
    std::string out() const { return readFile(tmp_.file("out")); }
    std::string err() const { return readFile(tmp_.file("err")); }
    // A file in the process's own folder.
    std::string file(const std::string &name) const { return tmp_.file(name); }

protected:
    void start(const std::vector<std::string> &argv, const std::vector<std::string> &env);

private:
    TempDir tmp_;
    pid_t pid_ = -1;
    int status_ = -1;
};

// The built somnel program. Its test savers write to a log of its own
// (SOMNEL_TEST_LOG): freeLog() reads it.
class Somnel : public Process {
public:
    Somnel(const std::vector<std::string> &args, std::vector<std::string> env = {});
    std::string log() const { return file("log"); }
    std::string freeLog() const { return readFile(log()); }
};

// An X server of the test's own (-noreset, GLX): one screen shown as
// monitors side by side, with Xinerama on and a black root window, and
// openbox managing it when asked for.
// NOTE: a virtual server given two screens with Xinerama stacks them at
// the same origin, and Qt then sees one screen; two monitors on one screen
// are what a desktop with two displays side by side looks like.
class PrivateServer {
public:
    ~PrivateServer() { stop(); }
    // False with the reason when the server (or the window manager) did
    // not come up.
    bool start(int monitors, int monitorWidth, int monitorHeight, bool windowManager, std::string *why);
    void stop();
    const std::string &display() const { return display_; }
    std::vector<std::string> env() const { return {"DISPLAY=" + display_}; }

private:
    pid_t server_ = -1;
    pid_t windowManager_ = -1;
    std::string display_;
};

// Whether a program is on PATH.
bool haveProgram(const std::string &name);

// What the server holds for a window (the xserver.h connection), or a null
// image when it is gone.
QImage shot(unsigned long window);
inline unsigned rgb(const QImage &img, int x, int y) { return img.pixel(x, y) & 0xFFFFFF; }

// Whether columns x0 .. x0+width-1 of the picture show the halves pattern
// of the Halves test savers over their whole height: red up to the middle,
// blue from there on. Column x0 and row 0 are skipped (the 2D saver marks
// them white).
bool showsHalves(const QImage &img, int x0, int width);
bool showsHalves(unsigned long window, int width, int height);

}  // namespace testsupport
