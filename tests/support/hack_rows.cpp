#include "tests/support/hack_rows.h"

#include "framework/host_options.h"

#include <memory>

namespace testsupport {

const XrmOptionDescRec kHackRows[] = {
    {"-dps", ".dps", XrmoptionSepArg, nullptr},
    {"-speed", "*speed", XrmoptionSepArg, nullptr},
    {"-colortime", ".colortime", XrmoptionSepArg, nullptr},
    {"-ripheight", "..*ripheight", XrmoptionSepArg, nullptr},
    {"-simres", ".simres", XrmoptionSepArg, nullptr},
    {"-wrap", ".wrap", XrmoptionNoArg, "True"},
    {"-no-wrap", ".wrap", XrmoptionNoArg, "False"},
    {"-wireframe", ".wireframe", XrmoptionNoArg, "True"},
    {"-no-wireframe", ".wireframe", XrmoptionNoArg, "False"},
    {"-bare", ".bare", XrmoptionNoArg, nullptr},
    {"-nodef", ".nodef", XrmoptionSepArg, nullptr},
    {"-name", ".name", XrmoptionSepArg, nullptr},
    {nullptr, nullptr, XrmoptionNoArg, nullptr},
};

const XrmOptionDescRec *mergedRows() {
    static const std::unique_ptr<XrmOptionDescRec[]> merged = somnel::withHostOptions(kHackRows);
    return merged.get();
}

const char *const kHackDefaults[] = {
    ".doFPS: False", ".textMode: date", ".grabDesktopImages: yes", ".chooseRandomImages: no",
    ".imageDirectory: ~/Pictures", "*dps: 16", "*speed: 4", "*colortime: 15", "*ripheight: 2.0",
    "*simres: 1", "*wrap: yes", "*wireframe: False", "*bare: 1", "*name: none", nullptr,
};

}  // namespace testsupport
