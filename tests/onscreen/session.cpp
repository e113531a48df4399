// Programs on the X server as the tests run them: see session.h.
#include "tests/onscreen/session.h"
#include "tests/onscreen/environment.h"
#include "tests/onscreen/xserver.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace testsupport {

pid_t spawn(const std::vector<std::string> &argv, const std::vector<std::string> &env, const std::string &out,
            const std::string &err) {
    std::vector<std::string> envStrings = testsupport::environmentWith(env);
    std::vector<char *> args, envp;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    for (std::string &e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0].c_str(), &fa, nullptr, args.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

Process::~Process() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

void Process::start(const std::vector<std::string> &argv, const std::vector<std::string> &env) {
    pid_ = spawn(argv, env, tmp_.file("out"), tmp_.file("err"));
}

bool Process::running() {
    if (pid_ <= 0) return false;
    int st;
    if (waitpid(pid_, &st, WNOHANG) == 0) return true;
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    pid_ = -1;
    return false;
}

int Process::wait() {
    if (!waitFor([&] { return !running(); })) return -1;
    return status_;
}

void Process::signal(int sig) {
    if (pid_ > 0) kill(pid_, sig);
}

Somnel::Somnel(const std::vector<std::string> &args, std::vector<std::string> env) {
    env.push_back("SOMNEL_TEST_LOG=" + log());
    std::vector<std::string> argv{somnelProgram()};
    argv.insert(argv.end(), args.begin(), args.end());
    start(argv, env);
}

bool PrivateServer::start(int monitors, int monitorWidth, int monitorHeight, bool windowManager, std::string *why) {
    int fds[2];
    if (pipe(fds) != 0) return *why = "no pipe", false;
    const std::string size = std::to_string(monitors * monitorWidth) + "x" + std::to_string(monitorHeight) + "x24";
    std::vector<std::string> argv{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", size, "+xinerama",
                                  "+extension", "GLX", "-noreset", "-br", "-nolisten", "tcp"};
    server_ = spawn(argv, {}, "/dev/null", "/dev/null");
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (server_ > 0 && poll(&p, 1, kEventTimeoutMs) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) return *why = "the private X server did not start", false;
    display_ = ":" + number;
    xs_close();
    if (!xs_open(display_.c_str())) return *why = "cannot connect to the private X server", false;
    const bool split = monitors < 2 || xs_split_screen(monitors, monitorWidth, monitorHeight);
    bool managed = !windowManager;
    if (split && windowManager) {
        windowManager_ = spawn({"openbox", "--sm-disable"}, env(), "/dev/null", "/dev/null");
        managed = windowManager_ > 0 && waitFor([] { return xs_window_manager_running() != 0; });
    }
    xs_close();
    if (!split) return *why = "the private X server cannot show monitors side by side", false;
    if (!managed) return *why = "openbox did not start on the private X server", false;
    return true;
}

void PrivateServer::stop() {
    for (pid_t *pid : {&windowManager_, &server_})
        if (*pid > 0) {
            kill(*pid, SIGTERM);
            waitpid(*pid, nullptr, 0);
            *pid = -1;
        }
}

bool haveProgram(const std::string &name) {
    const char *path = getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t at = 0; at <= dirs.size();) {
        size_t end = dirs.find(':', at);
        if (end == std::string::npos) end = dirs.size();
        if (access((dirs.substr(at, end - at) + "/" + name).c_str(), X_OK) == 0) return true;
        at = end + 1;
    }
    return false;
}

QImage shot(unsigned long window) {
    int w = 0, h = 0;
    if (!window || !xs_size(window, &w, &h)) return {};
    QImage img(w, h, QImage::Format_RGB32);
    if (!xs_get_image(window, 0, 0, w, h, reinterpret_cast<unsigned *>(img.bits()))) return {};
    return img;
}

bool showsHalves(const QImage &img, int x0, int width) {
    constexpr unsigned kRed = 0xFF0000, kBlue = 0x0000FF;
    if (img.isNull() || img.width() < x0 + width) return false;
    const int h = img.height(), mid = x0 + width / 2;
    for (int y : {1, h / 2, h - 1})
        if (rgb(img, x0 + 1, y) != kRed || rgb(img, mid - 1, y) != kRed || rgb(img, mid, y) != kBlue ||
            rgb(img, x0 + width - 1, y) != kBlue)
            return false;
    return true;
}

bool showsHalves(unsigned long window, int width, int height) {
    QImage img = shot(window);
    return img.width() == width && img.height() == height && showsHalves(img, 0, width);
}

}  // namespace testsupport
