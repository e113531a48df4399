// The configuration sheet's switch texts ("-dps 5", "-wireframe") turned
// into the resource they set, against the host's option rows and those of
// the tests' made-up hack. A malformed switch is a description error (the
// inconsistency exception), never a crash.
#include "tests/fuzz/fuzz_support.h"

#include "framework/sheet/somnel_config_sheet.h"
#include "platform/log.h"
#include "tests/support/hack_rows.h"

#include <optional>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string cmdline(reinterpret_cast<const char *>(data), size);
    const XrmOptionDescRec *rows = testsupport::mergedRows();
    std::optional<std::string> value;
    try {
        const std::string key = SomnelConfigSheet::switchToResource(cmdline, rows, &value);
        // A key found is one of the table's resources: a row's specifier
        // after its leading dots and stars.
        bool known = false;
        for (const XrmOptionDescRec *r = rows; r->option; r++) {
            const std::string spec = r->specifier;
            const size_t start = spec.find_first_not_of(".*");
            known |= start != std::string::npos && spec.compare(start, std::string::npos, key) == 0;
        }
        FUZZ_CHECK(known);
    } catch (const platform::InternalInconsistencyException &) {
    }
    return 0;
}
