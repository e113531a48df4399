// Sessions of the test's own, for the programs that watch or draw on a
// desktop: a private X server, a private session bus, a headless Wayland
// compositor (sway as an unprivileged user, or mutter on its own bus), and
// programs run beside the test with their output gathered.
#pragma once

#include <QProcess>

#include <memory>
#include <string>
#include <vector>

class QImage;

namespace testsupport {

// A user to run programs as: the test's own, or, when the test runs as
// root, "somnel-test" (made when missing), for programs that refuse root.
struct TestUser {
    bool switchTo = false;  // whether programs must switch to it
    int uid = 0, gid = 0;
};
// False with the reason when root cannot find or make the user.
bool testUser(TestUser *user, std::string *why);

// A program run beside the test, as `user` when one is given; env entries
// are "VAR=value" (set) or "-VAR" (removed). Its standard output and error
// are gathered together as it writes them; it gets SIGTERM at the end.
class Background {
public:
    Background(const std::string &program, const std::vector<std::string> &args,
               const std::vector<std::string> &env = {}, const TestUser *user = nullptr);
    ~Background();
    Background(const Background &) = delete;
    Background &operator=(const Background &) = delete;

    qint64 pid() const { return process_.processId(); }
    bool running() const { return process_.state() != QProcess::NotRunning; }
    // Everything written so far.
    const std::string &output();
    // Sends the signal, unless it has ended, and waits for the end: the exit
    // status, -1 after a crash, -2 when it would not end.
    int stop(int signal);

private:
    QProcess process_;
    std::string out_;
};

// The processes whose parent is pid.
std::vector<int> childProcesses(qint64 pid);

// An X server of the test's own (Xvfb), so that its idle time is the
// test's alone and nothing else shows on it.
class PrivateXServer {
public:
    explicit PrivateXServer(const std::string &screen = "640x480x24");
    bool ok() const { return !display_.empty(); }
    const std::string &display() const { return display_; }

private:
    std::unique_ptr<Background> server_;
    std::string display_;
};

// A session bus of the test's own (dbus-daemon).
class PrivateSessionBus {
public:
    PrivateSessionBus();
    bool ok() const { return !address_.empty(); }
    const std::string &address() const { return address_; }

private:
    std::unique_ptr<Background> daemon_;
    std::string address_;
};

// A headless Wayland compositor: sway with outputs of the given sizes
// ("640x480"), as the test user (it refuses root), or mutter with virtual
// monitors on a bus of its own.
class HeadlessCompositor {
public:
    enum Kind { Sway, Mutter };
    HeadlessCompositor(Kind kind, const std::vector<std::string> &outputs);
    ~HeadlessCompositor();
    // Empty once it runs; otherwise why not (for the test's skip line).
    const std::string &skipReason() const { return skip_; }
    // What a client of it needs: its runtime folder and display, no X
    // display, Qt's Wayland plug-in, the bus for mutter.
    std::vector<std::string> clientEnv() const;
    const TestUser &user() const { return user_; }
    // A folder of the compositor's user, for its clients' files.
    const std::string &folder() const { return runtime_; }
    // What sway shows on an output (grim); false when it cannot say.
    bool grab(const std::string &output, QImage *image) const;
    // Types the keys through the virtual keyboard (wtype).
    bool type(const std::string &keys) const;

private:
    Kind kind_;
    TestUser user_;
    std::string runtime_, display_, skip_;
    std::unique_ptr<PrivateSessionBus> bus_;
    std::unique_ptr<Background> server_;
};

}  // namespace testsupport
