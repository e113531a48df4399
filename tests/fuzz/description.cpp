// A saver's XML description, read and built into a whole configuration
// sheet against the option rows of the tests' made-up hack. A description
// that breaks the rules is a description error (the inconsistency
// exception) and a malformed one an "XML Error"; neither may crash.
#include "tests/fuzz/fuzz_support.h"

#include "framework/prefs_reader.h"
#include "framework/sheet/somnel_config_sheet.h"
#include "framework/sheet/simple_xml.h"
#include "platform/log.h"
#include "platform/preferences.h"
#include "tests/support/hack_rows.h"

#include <memory>
#include <string>

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
    static const platform::ValueMap defaults = PrefsReader::defaultsToDict(testsupport::kHackDefaults);
    static std::shared_ptr<platform::ScreenSaverDefaults> store = [] {
        auto s = platform::ScreenSaverDefaults::defaultsForModuleWithName("org.somnel.fuzz.description");
        s->registerDefaults(defaults);
        return s;
    }();
    auto controller = std::make_shared<platform::UserDefaultsController>(store, defaults);
    const XrmOptionDescRec *rows = testsupport::mergedRows();
    try {
        std::unique_ptr<SomnelConfigSheet> sheet = SomnelConfigSheet::create(path, rows, controller, &defaults);
        FUZZ_CHECK(sheet);
        // Every key's controls are real widgets, the first one being the
        // control the sheet names for the key.
        for (const XrmOptionDescRec *r = rows; r->option; r++) {
            const std::string key = SomnelConfigSheet::switchToResource(
                std::string(r->option) + (r->argKind == XrmoptionSepArg ? " 1" : ""), rows, nullptr);
            const std::vector<QWidget *> controls = sheet->controlsForKey(key);
            for (QWidget *w : controls) FUZZ_CHECK(w);
            FUZZ_CHECK(sheet->controlForKey(key) == (controls.empty() ? nullptr : controls.front()));
        }
        // A sheet nobody touched changes nothing when its edits end (as on
        // OK), whatever ranges its controls were given.
        sheet->commitEditing();
        FUZZ_CHECK(!controller->hasUnappliedChanges());
    } catch (const platform::InternalInconsistencyException &) {
    }
    return 0;
}
