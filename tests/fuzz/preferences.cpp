// A saver's preferences file as found on disk: loaded, then saved over and
// read back. Damage must cost the file's values, never a crash or an edit.
#include "tests/fuzz/fuzz_support.h"

#include "platform/bundle.h"
#include "platform/preferences.h"
#include "platform/value.h"

#include <QDir>

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string &home = fuzzsupport::scratchFolder();
    const std::string folder = home + "/somnel";
    QDir(QString::fromStdString(folder)).removeRecursively();
    QDir().mkpath(QString::fromStdString(folder));
    fuzzsupport::writeFile(folder + "/org.somnel.fuzz.json", data, size);

    platform::ScreenSaverDefaults d("org.somnel.fuzz");
    d.registerDefaults({{"delay", platform::Value(10000LL)}});
    // Whatever the file held, a value reads as one of the kinds.
    (void)d.objectForKey("delay");
    d.setObject("fuzzed", platform::Value(std::string("yes")));
    FUZZ_CHECK(d.synchronize());
    platform::ScreenSaverDefaults again("org.somnel.fuzz");
    FUZZ_CHECK(again.storedObjectForKey("fuzzed") == platform::Value(std::string("yes")));
    return 0;
}
