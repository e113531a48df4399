// What the on-screen benchmarks share: child processes with their own
// environment, their CPU time, and private virtual X servers.
#pragma once

#include "tests/onscreen/environment.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Starts argv with this process's environment, the extra entries replacing
// those of the same name (a program reads the first one it finds).
inline pid_t spawn(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv,
                   const std::string &err = "/dev/null") {
    std::vector<std::string> env = testsupport::environmentWith(extraEnv);
    std::vector<char *> args, envp;
    for (const std::string &a : argv) args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    for (std::string &e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0].c_str(), &fa, nullptr, args.data(), envp.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&fa);
    return pid;
}

// CPU seconds (user + system) the process has used so far.
inline double cpuSeconds(pid_t pid) {
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

// A private virtual X server with one screen of the size (WxHxD) that does
// not reset between clients (one that resets when its last client leaves
// can refuse the next one for a moment); its display name, "" on failure.
inline std::string startServer(const char *size, pid_t *server, bool xinerama = false) {
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

}  // namespace bench
