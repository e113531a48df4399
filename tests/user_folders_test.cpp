// The user's folders: relative or missing variables are ignored, and an
// unset HOME falls back to the account's home folder, never to "/".
#include "tests/support/test_support.h"

#include "platform/user_folders.h"

#include <cstdlib>
#include <optional>
#include <vector>
#include <pwd.h>
#include <unistd.h>

namespace {

// Sets (or, for nullptr, unsets) variables for one scope.
class Variables {
public:
    Variables(std::initializer_list<std::pair<const char *, const char *>> values) {
        for (const auto &[name, value] : values) {
            const char *old = getenv(name);
            saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
            if (value) setenv(name, value, 1);
            else unsetenv(name);
        }
    }
    ~Variables() {
        for (const auto &[name, value] : saved_) {
            if (value) setenv(name.c_str(), value->c_str(), 1);
            else unsetenv(name.c_str());
        }
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(UserFolders, FollowTheBaseDirectoryRules) {
    const std::string account = getpwuid(getuid())->pw_dir;
    struct Case {
        const char *home, *config, *data;
        std::string expectConfig, expectData;
    } cases[] = {
        {"/home/a", "/cfg", "/dat", "/cfg", "/dat"},
        {"/home/a", nullptr, "", "/home/a/.config", "/home/a/.local/share"},
        // Relative values name a folder under wherever the program started.
        {"/home/a", "cfg", "./dat", "/home/a/.config", "/home/a/.local/share"},
        // No HOME (or a relative one): the password database's, not "/".
        {nullptr, nullptr, nullptr, account + "/.config", account + "/.local/share"},
        {"relative", nullptr, nullptr, account + "/.config", account + "/.local/share"},
        {"/", nullptr, nullptr, "/.config", "/.local/share"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.home ? c.home : "(unset)"));
        Variables v{{"HOME", c.home}, {"XDG_CONFIG_HOME", c.config}, {"XDG_DATA_HOME", c.data}};
        EXPECT_EQ(platform::configHome(), c.expectConfig);
        EXPECT_EQ(platform::dataHome(), c.expectData);
    }
}

}  // namespace
