// The hints the host passes with a view's creation arguments, as the
// hack-side code keeps them for somnel/hints.h. The view sets them when it
// is created; tests and benchmarks that set a saver up without a view set
// them here.
#pragma once

namespace somnel::support {

void setExactFiltering(bool on);

}  // namespace somnel::support
