// A bundle's manifest.json: any bytes give a bundle or a one-line reason.
#include "tests/fuzz/fuzz_support.h"

#include "platform/bundle.h"
#include "platform/preferences.h"
#include "platform/value.h"

#include <QDir>

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string bundle = fuzzsupport::scratchFolder() + "/Fuzz.saver";
    QDir().mkpath(QString::fromStdString(bundle + "/Resources"));
    fuzzsupport::writeFile(bundle + "/manifest.json", data, size);
    std::string error;
    // No library is ever there to load: a manifest that passes names a file
    // that does not exist, and that is the reason given.
    auto b = platform::Bundle::open(bundle, &error);
    FUZZ_CHECK(!b);
    FUZZ_CHECK(!error.empty());
    return 0;
}
