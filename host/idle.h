// somnel idle: a small program that stays running in the session and
// starts `somnel run SAVER` in a child process once the user has been idle
// for the idle time, and again at the next idle after the saver ended.
#pragma once

#include "host/exit_status.h"

#include <string>

namespace somnel::host {

// The idle time `--after` takes: "90s", "5m", "1h", "2m30s", "1h30m" (hours,
// minutes, seconds in that order, each at most once) or a bare whole number
// of minutes. False for anything else, for zero, and past 12 hours.
bool parseDuration(const std::string &text, int *seconds);

// `somnel idle [--after DURATION] [--source NAME] [SAVER]`, `--status`,
// `--enable`, `--disable`: argv[1] is "idle". Makes its own application
// object (no window system plug-in: it opens no window).
ExitStatus idle(int argc, char **argv);

// Whether a watcher runs in this session; *line is what `somnel idle
// --status` prints ("running: ..." or "not running").
bool idleStatus(std::string *line);

}  // namespace somnel::host
