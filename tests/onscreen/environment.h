// The environment a child process of a test or a bench gets: this
// process's, with the given NAME=value entries replacing those of the same
// name (a program reads the first one it finds) and added at the end.
#pragma once

#include <unistd.h>

#include <string>
#include <vector>

extern char **environ;

namespace testsupport {

inline std::vector<std::string> environmentWith(const std::vector<std::string> &extra) {
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        const std::string entry = *e;
        bool replaced = false;
        for (const std::string &x : extra)
            if (entry.compare(0, x.find('=') + 1, x, 0, x.find('=') + 1) == 0) replaced = true;
        if (!replaced) env.push_back(entry);
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

}  // namespace testsupport
