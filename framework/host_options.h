// The option rows every view puts in front of its hack's: the host's own
// switches (the text and image sources, the frame-rate meter). Needs only the
// option row, not the Xlib subset, so widget code can include it.
#pragma once

#include "somnel/xrm_options.h"

#include <memory>

// The option table a view hands its preference reader: the host's rows, then
// the hack's (ended by a row with a null switch; null for none), then the
// ending row.
namespace somnel {

std::unique_ptr<XrmOptionDescRec[]> withHostOptions(const XrmOptionDescRec *hackOptions);

}  // namespace somnel
