// The configuration sheet's switch texts ("-dps 5", "-wireframe") turned
// into the resource they set, against a fixed table of option rows like a
// hack's. A malformed switch is a description error (the inconsistency
// exception), never a crash.
#include "tests/fuzz/fuzz_support.h"

#include "framework/sheet/somnel_config_sheet.h"
#include "platform/log.h"

#include <optional>
#include <string>

namespace {

const XrmOptionDescRec kRows[] = {
    {"-dps", ".dps", XrmoptionSepArg, nullptr},
    {"-colortime", ".colortime", XrmoptionSepArg, nullptr},
    {"-wireframe", ".wireframe", XrmoptionNoArg, "True"},
    {"-no-wireframe", ".wireframe", XrmoptionNoArg, "False"},
    {"-fps", ".doFPS", XrmoptionNoArg, "True"},
    {"-font", ".font", XrmoptionSepArg, nullptr},
    {nullptr, nullptr, XrmoptionNoArg, nullptr},
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string cmdline(reinterpret_cast<const char *>(data), size);
    std::optional<std::string> value;
    try {
        const std::string key = SomnelConfigSheet::switchToResource(cmdline, kRows, &value);
        // A key found is one of the table's resources.
        bool known = false;
        for (const XrmOptionDescRec *r = kRows; r->option; r++) known |= key == std::string(r->specifier + 1);
        FUZZ_CHECK(known);
    } catch (const platform::InternalInconsistencyException &) {
    }
    return 0;
}
