// The clock that frame timing reads.
#pragma once

#include "platform/export.h"

#include <functional>

namespace platform {

// Seconds since the Unix epoch, microsecond resolution: the wall clock unless
// a source was put in its place.
SOMNEL_EXPORT double now();
// Puts a source in the wall clock's place: tests inject their own so that
// frame timing never depends on real time, and the off-screen render runs on
// a simulated clock. An empty function restores the wall clock. Main thread
// only, like the rest of the framework.
SOMNEL_EXPORT void setClockSource(std::function<double()> source);

}  // namespace platform
