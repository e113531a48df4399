// The user's own folders, by the rules of the XDG base directories: a
// variable that is unset, empty or not an absolute path is ignored (a
// relative one would name a folder under wherever the program was started).
#pragma once

#include "platform/export.h"

#include <string>

namespace platform {

// $HOME when it is an absolute path, else the account's home folder from
// the password database; empty when there is neither.
SOMNEL_EXPORT std::string homeFolder();
// $XDG_CONFIG_HOME, else <home>/.config; empty without a home folder.
SOMNEL_EXPORT std::string configHome();
// $XDG_DATA_HOME, else <home>/.local/share; empty without a home folder.
SOMNEL_EXPORT std::string dataHome();

}  // namespace platform
