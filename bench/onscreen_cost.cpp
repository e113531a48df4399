// What the on-screen program costs, measured on the real somnel process:
// CPU seconds per wall second of `somnel preview Drizzle` at 640x360 and of
// `somnel run Drizzle` on one 1280x720 screen (a private virtual server),
// each over 20 s at steady state, the time from SIGTERM to exit, and the
// frames per second each view of a two-monitor run draws (a test saver
// that counts its frames; the animation interval is 1/30 s).
// Each measure runs on a private virtual X server that does not reset
// between clients (a server that resets when its last client leaves can
// refuse the next one for a moment). Prints figures, asserts nothing.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#ifndef SOMNEL_BIN_DIR
#define SOMNEL_BIN_DIR "bin"
#endif
#ifndef SOMNEL_TEST_SAVER_DIR
#define SOMNEL_TEST_SAVER_DIR "test-savers"
#endif

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

pid_t spawn(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv,
            const std::string &err = "/dev/null") {
    // The extra entries replace those of the same name: a program reads
    // the first one it finds.
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const std::string &x : extraEnv)
            if (entry.compare(0, x.find('=') + 1, x, 0, x.find('=') + 1) == 0) replaced = true;
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), extraEnv.begin(), extraEnv.end());
    std::vector<char *> args, envp;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    for (std::string &e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0].c_str(), &fa, nullptr, args.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// CPU seconds (user + system) the process has used so far.
double cpuSeconds(pid_t pid) {
    std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
    std::string all((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    size_t close = all.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream rest(all.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

// Seconds from SIGTERM to the process's end, and its status.
double timeToExit(pid_t pid, int *status) {
    const auto t0 = Clock::now();
    kill(pid, SIGTERM);
    int st = 0;
    waitpid(pid, &st, 0);
    const double t = seconds(Clock::now() - t0);
    *status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    return t;
}

// Runs somnel with the arguments: warms up, measures CPU per wall second
// over `span` seconds, then ends it with SIGTERM.
void measure(const char *what, const std::vector<std::string> &args, const std::vector<std::string> &env,
             double warmup, double span) {
    std::vector<std::string> argv{std::string(SOMNEL_BIN_DIR) + "/somnel"};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_t pid = spawn(argv, env);
    if (pid <= 0) {
        printf("%s: could not start\n", what);
        return;
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(warmup));
    const double c0 = cpuSeconds(pid);
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(span));
    const double c1 = cpuSeconds(pid);
    const double wall = seconds(Clock::now() - t0);
    int status = -1;
    const double exitTime = timeToExit(pid, &status);
    printf("%-40s %6.3f CPU s per wall s over %.1f s; SIGTERM to exit %6.1f ms (status %d)\n", what,
           (c1 - c0) / wall, wall, exitTime * 1000, status);
}

// A private virtual X server with one screen of the size; its display name.
std::string startServer(const char *size, pid_t *server, bool xinerama = false) {
    int fds[2];
    if (pipe(fds) != 0) return "";
    std::vector<std::string> args{"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", size,
                                  "+extension", "GLX", "-noreset", "-nolisten", "tcp"};
    if (xinerama) args.push_back("+xinerama");
    *server = spawn(args, {});
    close(fds[1]);
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    char c;
    while (poll(&p, 1, 30000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    return number.empty() ? "" : ":" + number;
}

}  // namespace

int main(int argc, char **argv) {
    const double span = argc > 1 ? atof(argv[1]) : 20.0;
    printf("somnel on screen, Mesa %s rendering\n", getenv("LIBGL_ALWAYS_SOFTWARE") ? "software" : "default");
    pid_t desktop = -1;
    const std::string desktopDisplay = startServer("1280x1024x24", &desktop);
    if (desktopDisplay.empty()) {
        fprintf(stderr, "bench_onscreen_cost: cannot start Xvfb\n");
        return 1;
    }
    const std::vector<std::string> onDesktop{"DISPLAY=" + desktopDisplay};
    measure("preview Drizzle --size 640x360", {"preview", "Drizzle", "--size", "640x360"}, onDesktop, 4, span);

    pid_t server = -1;
    const std::string display = startServer("1280x720x24", &server);
    if (display.empty()) {
        printf("run: no private X server\n");
    } else {
        measure("run Drizzle (one 1280x720 screen)", {"run", "Drizzle"}, {"DISPLAY=" + display}, 4, span);
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
    }

    // Frame pacing: the views of a run on two monitors, each counting the
    // frames it draws. The monitors are set by the test helper that the
    // on-screen test uses (tests/onscreen), through a one-off client.
    const std::string split = std::string(SOMNEL_BIN_DIR) + "/xsplit";
    const std::string serverTwo = startServer("1280x360x24", &server, true);
    if (!serverTwo.empty()) {
        pid_t splitter = spawn({split, "2", "640", "360"}, {"DISPLAY=" + serverTwo});
        int st = 0;
        waitpid(splitter, &st, 0);
        const std::string draws = "/tmp/somnel-bench-draws-" + std::to_string(getpid());
        unlink(draws.c_str());
        pid_t pid = spawn({std::string(SOMNEL_BIN_DIR) + "/somnel", "run",
                           std::string(SOMNEL_TEST_SAVER_DIR) + "/GLHalves.saver"},
                          {"DISPLAY=" + serverTwo, "SOMNEL_TEST_DRAWS=" + draws});
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(span));
        int status = -1;
        kill(pid, SIGTERM);
        waitpid(pid, &status, 0);
        const double wall = seconds(Clock::now() - t0);
        std::ifstream in(draws);
        long n;
        printf("run on two 640x360 monitors (split %s), frames per second per view over %.1f s, start-up included:",
               WIFEXITED(st) && WEXITSTATUS(st) == 0 ? "ok" : "failed", wall);
        while (in >> n) printf(" %.1f", n / wall);
        printf(" (interval 1/30 s)\n");
        unlink(draws.c_str());
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
    }

    // SIGTERM to exit, a few more times, once the saver has drawn a while.
    std::vector<double> times;
    const std::string err = "/tmp/somnel-bench-err-" + std::to_string(getpid());
    for (int i = 0; i < 5; ++i) {
        pid_t pid =
            spawn({std::string(SOMNEL_BIN_DIR) + "/somnel", "preview", "Drizzle", "--size", "640x360"}, onDesktop, err);
        std::this_thread::sleep_for(std::chrono::seconds(3));
        int status = -1;
        times.push_back(timeToExit(pid, &status) * 1000);
        if (status != 0) {
            printf("preview ended with status %d; it said:\n", status);
            std::ifstream said(err);
            printf("%s", std::string(std::istreambuf_iterator<char>(said), {}).c_str());
        }
    }
    unlink(err.c_str());
    std::sort(times.begin(), times.end());
    printf("SIGTERM to exit, preview Drizzle, 5 runs: median %.1f ms, max %.1f ms\n", times[2], times.back());
    kill(desktop, SIGTERM);
    waitpid(desktop, nullptr, 0);
    return 0;
}
