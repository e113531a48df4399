// The clock that frame timing reads: the wall clock, or a source put in its
// place.
#include "platform/clock.h"

#include <sys/time.h>

namespace platform {

namespace {
std::function<double()> &clockSource() {
    static std::function<double()> source;
    return source;
}
}  // namespace

double now() {
    if (clockSource()) return clockSource()();
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return double(tv.tv_sec) + double(tv.tv_usec) / 1e6;
}

void setClockSource(std::function<double()> source) { clockSource() = std::move(source); }

}  // namespace platform
