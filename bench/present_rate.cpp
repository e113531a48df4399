// Frames presented and processor time of the real program, on X11 (private
// virtual servers) and on Wayland (a headless sway): `preview Drizzle` at
// 1280x720 and `run Drizzle` on one 1280x720 output, each visible and
// covered, and `run Drizzle` on two 1280x720 outputs; each on an idle
// machine and beside one busy loop. Frames are counted per window by the
// swap counter preloaded into the program (bench/swap_counter.c), over a
// span at steady state. Printed: frames presented per second per window,
// CPU seconds per wall second, and per presented frame milliseconds of CPU
// and of wall time within the swap call.
// Asserts nothing.
//
//     bench_present_rate [SPAN_SECONDS]
//
// sway refuses to run as root: as root, the compositor and the program run
// as the user "somnel-test" (the Wayland test makes it), else the Wayland
// figures are skipped with a reason.
#include "bench/process.h"
#include "tests/onscreen/xserver.h"

#include <dirent.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#ifndef SOMNEL_BIN_DIR
#define SOMNEL_BIN_DIR "bin"
#endif
#ifndef SOMNEL_SWAP_COUNTER
#define SOMNEL_SWAP_COUNTER "lib/libsomnel_swap_counter.so"
#endif

namespace {

using bench::Clock;
using bench::seconds;

double span = 8.0;
constexpr double kWarmup = 3.0, kSettle = 1.0;

void pause(double s) { std::this_thread::sleep_for(std::chrono::duration<double>(s)); }

double monotonic() { return std::chrono::duration<double>(Clock::now().time_since_epoch()).count(); }

// Swaps per drawable that began within [from, to] (monotonic seconds), and
// the seconds spent in them all.
std::map<std::string, long> swapsBetween(const std::string &log, double from, double to, double *inSwaps) {
    std::map<std::string, long> n;
    *inSwaps = 0;
    FILE *f = fopen(log.c_str(), "r");
    if (!f) return n;
    char drawable[64];
    double start, spent;
    while (fscanf(f, "%63s %lf %lf", drawable, &start, &spent) == 3)
        if (start >= from && start <= to) n[drawable]++, *inSwaps += spent;
    fclose(f);
    return n;
}

// How a measured program is started and covered.
struct Setup {
    std::vector<std::string> prefix;  // runs a command in the session
    std::vector<std::string> env;
    std::string swapLog;
    std::function<void()> cover, uncover;
};

// Runs somnel with the arguments: warms up, covers it if asked, then counts
// its swaps and CPU over the span and ends it with SIGTERM. The CPU seconds
// per presented frame, 0 without frames.
double measure(const char *what, const std::vector<std::string> &args, const Setup &s, bool covered) {
    unlink(s.swapLog.c_str());
    // Given through env(1): a prefix may start from an empty environment.
    std::vector<std::string> argv = s.prefix;
    argv.insert(argv.end(), {"env", std::string("LD_PRELOAD=") + SOMNEL_SWAP_COUNTER, "SOMNEL_SWAP_LOG=" + s.swapLog,
                             std::string(SOMNEL_BIN_DIR) + "/somnel"});
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = bench::spawn(argv, s.env);
    if (pid <= 0) {
        printf("  %-34s could not start\n", what);
        return 0;
    }
    pause(kWarmup);
    if (covered && s.cover) s.cover(), pause(kSettle);
    const double c0 = bench::cpuSeconds(pid), t0 = monotonic();
    pause(span);
    const double c1 = bench::cpuSeconds(pid), t1 = monotonic();
    kill(pid, SIGTERM);
    int st = 0;
    waitpid(pid, &st, 0);
    if (covered && s.uncover) s.uncover();
    const double wall = t1 - t0, cpu = (c1 - c0) / wall;
    long frames = 0;
    double inSwaps = 0;
    std::string rates;
    for (const auto &[drawable, n] : swapsBetween(s.swapLog, t0, t1, &inSwaps)) {
        frames += n;
        char one[32];
        snprintf(one, sizeof one, "%s%.1f", rates.empty() ? "" : " + ", n / wall);
        rates += one;
    }
    char perFrame[64] = "-";
    if (frames)
        snprintf(perFrame, sizeof perFrame, "%4.1f ms CPU, %4.1f ms in the swap", 1000 * cpu * wall / double(frames),
                 1000 * inSwaps / double(frames));
    printf("  %-31s %-12s fps %5.2f CPU s/s  per frame: %s%s\n", what, rates.empty() ? "0" : rates.c_str(), cpu,
           perFrame, WIFEXITED(st) && WEXITSTATUS(st) == 0 ? "" : "  (did not end with 0)");
    return frames ? cpu * wall / double(frames) : 0;
}

// Every measure, as the machine is and beside one busy loop of its own.
void measureBoth(const std::function<void()> &all) {
    double load[1] = {0};
    getloadavg(load, 1);
    printf(" without a busy loop of its own (load average %.2f):\n", load[0]);
    all();
    const pid_t busy = fork();
    if (busy == 0) {
        volatile unsigned long spins = 0;
        for (;;) spins = spins + 1;
    }
    getloadavg(load, 1);
    printf(" beside one busy loop (load average %.2f):\n", load[0]);
    all();
    kill(busy, SIGKILL);
    waitpid(busy, nullptr, 0);
}

// ---------------------------------------------------------------- X11

void x11() {
    printf("X11 (virtual server, GLX):\n");
    pid_t desktop = -1, one = -1, two = -1;
    const std::string dDesktop = bench::startServer("1920x1080x24", &desktop),
                      dOne = bench::startServer("1280x720x24", &one),
                      dTwo = bench::startServer("2560x720x24", &two, true);
    if (dDesktop.empty() || dOne.empty() || dTwo.empty()) {
        printf(" skipped: cannot start Xvfb\n");
        return;
    }
    if (!xs_open(dTwo.c_str()) || !xs_split_screen(2, 1280, 720)) printf(" (the server would not split)\n");
    xs_close();
    const std::string log = "/tmp/somnel-bench-swaps-" + std::to_string(getpid());
    // A full-screen window mapped over everything covers what is below
    // (on the display the helper is connected to).
    unsigned long cover = 0;
    auto setup = [&](const std::string &display) {
        return Setup{{}, {"DISPLAY=" + display, "WAYLAND_DISPLAY="}, log,
                     [&cover] { cover = xs_create_window(2560, 1440); }, [&cover] { xs_destroy(cover); }};
    };
    const Setup desk = setup(dDesktop), single = setup(dOne), pair = setup(dTwo);
    measureBoth([&] {
        xs_open(dDesktop.c_str());
        measure("preview 1280x720", {"preview", "Drizzle", "--size", "1280x720"}, desk, false);
        measure("preview 1280x720, covered", {"preview", "Drizzle", "--size", "1280x720"}, desk, true);
        xs_close();
        xs_open(dOne.c_str());
        const double direct = measure("run, one output", {"run", "Drizzle"}, single, false);
        // A full-screen run keeps itself above other windows: a covered
        // run is one inside a window given by id, as a locker hands out.
        // There a GL saver draws off screen and each frame is copied in.
        const unsigned long given = xs_create_window(1280, 720);
        const double copied =
            measure("run in a given window", {"run", "--window-id", std::to_string(given), "Drizzle"}, single, false);
        if (direct > 0 && copied > 0)
            printf("  CPU per frame, copied into a given window / drawn on the screen's own: %.2f\n",
                   copied / direct);
        measure("run in a given window, covered", {"run", "--window-id", std::to_string(given), "Drizzle"}, single,
                true);
        xs_destroy(given);
        xs_close();
        measure("run, two outputs", {"run", "Drizzle"}, pair, false);
    });
    unlink(log.c_str());
    for (pid_t p : {desktop, one, two}) kill(p, SIGTERM), waitpid(p, nullptr, 0);
}

// ---------------------------------------------------------------- Wayland

struct Sway {
    std::vector<std::string> asUser;
    std::string runtime, display, ipc;
    pid_t pid = -1;

    std::vector<std::string> command() const {
        std::vector<std::string> c = asUser;
        c.insert(c.end(), {"env", "-i", "PATH=/usr/local/bin:/usr/bin:/bin", "HOME=" + runtime,
                           "XDG_RUNTIME_DIR=" + runtime, "LIBGL_ALWAYS_SOFTWARE=1"});
        if (!display.empty()) c.insert(c.end(), {"WAYLAND_DISPLAY=" + display, "SWAYSOCK=" + ipc});
        return c;
    }
    // Runs swaymsg with the message to its end; its output.
    std::string message(const std::string &what) const {
        std::string line;
        for (const std::string &w : command()) line += "'" + w + "' ";
        FILE *p = popen((line + "swaymsg " + what + " 2>/dev/null").c_str(), "r");
        std::string out;
        char buf[4096];
        size_t n;
        while (p && (n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        if (p) pclose(p);
        return out;
    }
    // Started with two 1280x720 outputs; "" or why not.
    std::string start() {
        if (geteuid() == 0) {
            const passwd *pw = getpwnam("somnel-test");
            if (!pw) return "running as root and there is no user \"somnel-test\" (the Wayland test makes it)";
            asUser = {"setpriv", "--reuid=" + std::to_string(pw->pw_uid), "--regid=" + std::to_string(pw->pw_gid),
                      "--init-groups"};
        }
        char dir[] = "/tmp/somnel-bench-wayland-XXXXXX";
        runtime = mkdtemp(dir);
        if (const passwd *pw = getpwnam("somnel-test"); geteuid() == 0 && chown(dir, pw->pw_uid, pw->pw_gid) != 0)
            return "cannot hand a folder over";
        FILE *config = fopen((runtime + "/config").c_str(), "w");
        if (!config) return "cannot write the compositor's configuration";
        fprintf(config, "output HEADLESS-1 resolution 1280x720 position 0,0\n"
                        "output HEADLESS-2 resolution 1280x720 position 1280,0\ndefault_border none\n");
        fclose(config);
        std::vector<std::string> argv = command();
        argv.insert(argv.end(), {"WLR_BACKENDS=headless", "WLR_LIBINPUT_NO_DEVICES=1", "WLR_HEADLESS_OUTPUTS=2",
                                 "WLR_RENDERER=pixman", "sway", "-c", runtime + "/config"});
        pid = bench::spawn(argv, {});
        for (int i = 0; i < 300 && (display.empty() || ipc.empty()); ++i) {
            pause(0.1);
            if (DIR *d = opendir(runtime.c_str())) {
                while (dirent *e = readdir(d)) {
                    const std::string f = e->d_name;
                    if (f.rfind("wayland-", 0) == 0 && f.find(".lock") == std::string::npos) display = f;
                    if (f.rfind("sway-ipc.", 0) == 0) ipc = runtime + "/" + f;
                }
                closedir(d);
            }
        }
        if (display.empty() || ipc.empty()) return "sway did not start";
        for (int i = 0; i < 100; ++i, pause(0.1)) {
            const std::string outputs = message("-p -t get_outputs");
            size_t at = 0, sized = 0;
            while ((at = outputs.find("1280x720", at)) != std::string::npos) ++sized, ++at;
            if (sized >= 2) return "";
        }
        return "the outputs did not get their size";
    }
    ~Sway() {
        if (pid > 0) kill(pid, SIGTERM), waitpid(pid, nullptr, 0);
        if (!runtime.empty()) system(("rm -rf '" + runtime + "'").c_str());
    }
};

void wayland() {
    printf("Wayland (headless sway 1.7, two 1280x720 outputs, EGL):\n");
    for (const char *program : {"/usr/bin/sway", "/usr/bin/swaymsg"})
        if (access(program, X_OK) != 0) {
            printf(" skipped: %s is not installed (scripts/deps.sh)\n", program);
            return;
        }
    Sway sway;
    const std::string why = sway.start();
    if (!why.empty()) {
        printf(" skipped: %s\n", why.c_str());
        return;
    }
    // Another workspace on the first output: the compositor no longer
    // shows the saver there and sends it no frame callbacks.
    Setup s{sway.command(), {}, sway.runtime + "/swaps",
            [&] { sway.message("'focus output HEADLESS-1, workspace number 7'"); },
            [&] { sway.message("'focus output HEADLESS-1, workspace number 1'"); }};
    s.prefix.push_back("QT_QPA_PLATFORM=wayland");
    measureBoth([&] {
        measure("preview 1280x720", {"preview", "Drizzle", "--size", "1280x720"}, s, false);
        measure("preview 1280x720, covered", {"preview", "Drizzle", "--size", "1280x720"}, s, true);
        measure("run, one output", {"run", "--screen", "0", "Drizzle"}, s, false);
        measure("run, one output, covered", {"run", "--screen", "0", "Drizzle"}, s, true);
        measure("run, two outputs", {"run", "Drizzle"}, s, false);
    });
}

}  // namespace

int main(int argc, char **argv) {
    if (argc > 1) span = atof(argv[1]);
    printf("Frames presented (swap counter) and CPU of somnel, Drizzle, Mesa %s; %.0f s spans at steady state;\n"
           "the saver asks for 30 frames a second. CPU is the program's own (not the server's or compositor's).\n",
           getenv("LIBGL_ALWAYS_SOFTWARE") ? "software" : "default", span);
    x11();
    wayland();
    return 0;
}
