#include "platform/user_folders.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace platform {

namespace {

// The variable's value when it is an absolute path, else empty.
std::string absoluteVariable(const char *name) {
    const char *v = getenv(name);
    return v && v[0] == '/' ? std::string(v) : std::string();
}

std::string under(const std::string &home, const char *sub) {
    if (home.empty()) return {};
    return (home == "/" ? std::string() : home) + sub;
}

}  // namespace

std::string homeFolder() {
    std::string home = absoluteVariable("HOME");
    if (home.empty())
        if (const struct passwd *pw = getpwuid(getuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/') home = pw->pw_dir;
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    return home;
}

std::string configHome() {
    const std::string v = absoluteVariable("XDG_CONFIG_HOME");
    return v.empty() ? under(homeFolder(), "/.config") : v;
}

std::string dataHome() {
    const std::string v = absoluteVariable("XDG_DATA_HOME");
    return v.empty() ? under(homeFolder(), "/.local/share") : v;
}

}  // namespace platform
