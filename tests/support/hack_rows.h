// The option rows and defaults of a hack made up for the sheet's tests and
// fuzz harnesses: one row of each kind a description can name. Free of
// GoogleTest, so the fuzz harnesses link it too.
#pragma once

#include "somnel/xrm_options.h"

namespace testsupport {

// The hack's rows, ended by a null row: numbers ("-dps"; "-speed" and
// "-ripheight" behind "*" and "..*" specifiers), switch pairs ("-wrap" /
// "-no-wrap", "-wireframe" / "-no-wireframe"), a switch that sets no value
// ("-bare"), one whose resource has no default ("-nodef"), a text ("-name").
extern const XrmOptionDescRec kHackRows[];

// The host's rows, then the hack's: the table a view hands its sheet.
const XrmOptionDescRec *mergedRows();

// The defaults text of the host's resources and the hack's, ended by a null
// entry ("nodef" has none, on purpose).
extern const char *const kHackDefaults[];

}  // namespace testsupport
