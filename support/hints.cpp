// The hints, one value each for the whole process (every view is created
// with the same ones), and the saver's getters.
#include "support/hints.h"

#include "somnel/hints.h"

namespace {
bool exact_filtering = false;
}  // namespace

namespace somnel::support {

void setExactFiltering(bool on) { exact_filtering = on; }

}  // namespace somnel::support

extern "C" int somnel_exact_filtering(void) { return exact_filtering ? 1 : 0; }
