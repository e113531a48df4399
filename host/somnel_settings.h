// Somnel's own settings, shared by `somnel idle` and the settings window:
// one preferences domain, written through the platform preferences store.
#pragma once

#include "platform/value.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <variant>

namespace somnel::host {

inline constexpr char kSettingsDomain[] = "org.somnel.Somnel";
inline constexpr char kSaverKey[] = "saver";              // the saver `somnel idle` starts
inline constexpr char kIdleMinutesKey[] = "idleMinutes";  // after so many minutes idle
inline constexpr char kDefaultSaver[] = "Drizzle";
inline constexpr int kDefaultIdleMinutes = 10;
inline constexpr int kMinIdleMinutes = 1;
inline constexpr int kMaxIdleMinutes = 720;

// The stored idle time as both readers take it: a whole number of minutes
// (rounded), held to the range; the default for anything not a number.
inline int storedIdleMinutes(const platform::Value &v) {
    double minutes = kDefaultIdleMinutes;
    if (auto i = std::get_if<long long>(&v)) minutes = double(*i);
    else if (auto d = std::get_if<double>(&v)) minutes = *d;
    if (!std::isfinite(minutes)) minutes = kDefaultIdleMinutes;
    return int(std::clamp(std::round(minutes), double(kMinIdleMinutes), double(kMaxIdleMinutes)));
}

// The stored saver: a name or a bundle path; the default when there is
// none or it is not text.
inline std::string storedSaver(const platform::Value &v) {
    auto s = std::get_if<std::string>(&v);
    return s && !s->empty() ? *s : std::string(kDefaultSaver);
}

}  // namespace somnel::host
