// A saver's XML description, read and built into a whole configuration
// sheet against a fixed table of option rows like a hack's. A description
// that breaks the rules is a description error (the inconsistency
// exception) and a malformed one an "XML Error"; neither may crash.
#include "tests/fuzz/fuzz_support.h"

#include "framework/host_options.h"
#include "framework/sheet/somnel_config_sheet.h"
#include "framework/sheet/simple_xml.h"
#include "platform/log.h"
#include "platform/preferences.h"

#include <memory>
#include <string>

namespace {

// A hack's rows; the sheet sees them behind the host's, as a view merges them.
const XrmOptionDescRec kHackRows[] = {
    {"-dps", ".dps", XrmoptionSepArg, nullptr},
    {"-colortime", ".colortime", XrmoptionSepArg, nullptr},
    {"-simres", ".simres", XrmoptionSepArg, nullptr},
    {"-ripheight", ".ripheight", XrmoptionSepArg, nullptr},
    {"-wireframe", ".wireframe", XrmoptionNoArg, "True"},
    {"-no-wireframe", ".wireframe", XrmoptionNoArg, "False"},
    {"-name", ".name", XrmoptionSepArg, nullptr},
    {nullptr, nullptr, XrmoptionNoArg, nullptr},
};
const std::unique_ptr<XrmOptionDescRec[]> kMerged = somnel::withHostOptions(kHackRows);
const XrmOptionDescRec *const kRows = kMerged.get();

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzzsupport::ensureApplication();
    const std::string text(reinterpret_cast<const char *>(data), size);

    // The reader alone: either events or one error, never both silently.
    somnel::sheet::SimpleXMLTreeBuilder builder;
    std::string error;
    if (!somnel::sheet::parseXML(text, &builder, &error)) FUZZ_CHECK(!error.empty());

    // The whole sheet, from a file as the view reads it.
    const std::string path = fuzzsupport::scratchFolder() + "/description.xml";
    fuzzsupport::writeFile(path, data, size);
    static const platform::ValueMap defaults{
        {"dps", 16LL},          {"colortime", 15LL},       {"simres", 1LL},
        {"ripheight", 2.0},     {"doFPS", false},          {"wireframe", false},
        {"name", "none"},       {"textMode", "date"},      {"grabDesktopImages", true},
        {"chooseRandomImages", false}, {"imageDirectory", "~/Pictures"}};
    static std::shared_ptr<platform::ScreenSaverDefaults> store = [] {
        auto s = platform::ScreenSaverDefaults::defaultsForModuleWithName("org.somnel.fuzz.description");
        s->registerDefaults(defaults);
        return s;
    }();
    auto controller = std::make_shared<platform::UserDefaultsController>(store, defaults);
    try {
        std::unique_ptr<SomnelConfigSheet> sheet = SomnelConfigSheet::create(path, kRows, controller, &defaults);
        FUZZ_CHECK(sheet);
        // Every key's controls are real widgets, the first one being the
        // control the sheet names for the key.
        for (const XrmOptionDescRec *r = kRows; r->option; r++) {
            const std::vector<QWidget *> controls = sheet->controlsForKey(r->specifier + 1);
            for (QWidget *w : controls) FUZZ_CHECK(w);
            FUZZ_CHECK(sheet->controlForKey(r->specifier + 1) == (controls.empty() ? nullptr : controls.front()));
        }
    } catch (const platform::InternalInconsistencyException &) {
    }
    return 0;
}
