// What the on-screen program costs, measured on the real somnel process:
// CPU seconds per wall second of `somnel preview Drizzle` at 640x360 and of
// `somnel run Drizzle` on one 1280x720 screen (a private virtual server),
// each over 20 s at steady state, the time from SIGTERM to exit, and the
// frames per second each view of a two-monitor run draws (a test saver
// that counts its frames; the animation interval is 1/30 s).
// Each measure runs on a private virtual X server that does not reset
// between clients (a server that resets when its last client leaves can
// refuse the next one for a moment). Prints figures, asserts nothing.
#include "bench/process.h"

#include <signal.h>
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

namespace {

using bench::Clock;
using bench::cpuSeconds;
using bench::seconds;
using bench::spawn;
using bench::startServer;

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
